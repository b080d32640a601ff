#pragma once

#include <QImage>
#include <QPointer>
#include <QTextCursor>
#include <QTextEdit>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPainter;
class QPaintDevice;
class QTextDocument;

// The rich-text control through which every text is shown, edited, paginated, printed and
// saved as RTF: a QTextEdit over a QTextDocument, with A4 pages, a footer and the numeric
// codes of the operations the rest of the program calls.
//
// Codes and units the program relies on:
//  - Formats of LoadFromString/SaveToString/SaveToFile: 5 = RTF, 1 = plain Windows-1252 text
//    (paragraphs end in CR LF).  Other values do nothing and return false.
//  - The last flag of LoadFromString: true inserts at the selection (replacing it, caret after
//    the insertion); false replaces the whole content.  Loaded into an empty control, the text is
//    laid out lazily and the caret left at its start, so a long text shows at once.  The last flag of SaveToString and
//    SaveToFile: true writes the whole content; false writes the selection when there is one,
//    otherwise the whole content.  SaveToFile's offset is the byte position in the file at which
//    the text is written; 0 replaces the file.
//  - FindText flags: 1 search backwards, 2 whole words only, 8 keep the selection (otherwise the
//    match is selected), 16 match case; the program passes 24.  Start and result are character
//    positions as SelStart counts them (0 = before the first character), -1 when not found.  In
//    the searched text every paragraph end reads as a line feed, so the end-of-entry marker, a
//    paragraph holding a single hyphen, reads as "-\n".
//  - HeaderFooter is a set of parts: 4 = the footer, printed on every page.  SelectHeaderFooter(4)
//    sends the editing properties (SelText, Font*, Tab*, InsertField, ...) to the footer;
//    SelectHeaderFooter(16) sends them back to the main text.  HeaderFooterOffset[4] is the
//    distance in twips from the bottom edge of the page to the bottom of the footer.
//  - FieldKind: 1 text, 2 hyperlink, 3 page number (drawn as the number of the page it is printed
//    on), 4 number of pages.  InsertField with an empty text makes a field showing "#" until its
//    kind is set.
//  - ControlOption 38: fields are live; hyperlinks raise FieldLinkClicked when clicked and
//    FieldSetCursor when the pointer is over them.  Off, links are plain text to the mouse.
//  - MousePointer: 0 the control's default, 1 arrow, 2 cross, 3 I-beam, 11 hourglass, 12 pointing
//    hand (the Viewer's choice over links), 13 arrow with hourglass, 14 arrow with question mark.
//  - FontBold and FontItalic read -1 when on and 0 when off; any non-zero value switches them on.
//  - FontSize in points; IndentT and IndentB (space above and below the paragraph) in twips;
//    LineSpacing in percent of single spacing, where 0 and 100 both mean single spacing.
//  - TabCurrent selects a tab stop of the caret's paragraph by number from 1; TabType reads and
//    sets its kind: 1 left, 2 right, 3 centred, 4 decimal, 5 right-aligned at the right edge of
//    the text.  Setting the kind of a tab stop that does not exist yet creates it, every half inch.
//  - FormatSelection true: character properties change the selected text; false: they change only
//    the format of what is typed or inserted next.  Paragraph properties always change every
//    paragraph the selection touches.
//  - ScrollPosY in pixels from the top.  PositionInfo is {page of the caret from 1, line of the
//    caret from 1, column of the caret from 0}.
//  - Pages are A4 with one-inch margins unless SetPageSetup gives other paper, orientation or
//    margins; the footer sits in the bottom margin and pushes the body up when it needs more room.  CurrentPages, PositionInfo and PrintPage all use one
//    pagination, computed on the layout at 96 pixels per inch.
//  - PrintPage(n) draws page n from 1 onto PrintDevice at the device's resolution, the paper's
//    top-left corner at the device's origin (a printer or PDF writer's own margins are allowed
//    for).  When a painter is already active on the device it draws through that painter.
class TTXTextControl : public QTextEdit {
    Q_OBJECT

public:
    static constexpr int FormatText = 1;
    static constexpr int FormatRtf = 5;
    static constexpr int FindBackward = 1;
    static constexpr int FindWholeWord = 2;
    static constexpr int FindKeepSelection = 8;
    static constexpr int FindMatchCase = 16;
    static constexpr int PartFooter = 4;
    static constexpr int PartMainText = 16;
    static constexpr int OptionLiveFields = 38;
    static constexpr int PointerDefault = 0;
    static constexpr int PointerHand = 12;
    static constexpr int TabLeft = 1, TabRight = 2, TabCentre = 3, TabDecimal = 4, TabRightEdge = 5;

    // The default page geometry in twips.
    static constexpr int PaperWidth = 11906, PaperHeight = 16838;
    static constexpr int MarginLeft = 1440, MarginRight = 1440, MarginTop = 1440, MarginBottom = 1440;

    // Paper and margins in twips; a landscape page is simply wider than it is high.
    struct TPageSetup {
        int PaperWidth = TTXTextControl::PaperWidth, PaperHeight = TTXTextControl::PaperHeight;
        int MarginLeft = TTXTextControl::MarginLeft, MarginRight = TTXTextControl::MarginRight;
        int MarginTop = TTXTextControl::MarginTop, MarginBottom = TTXTextControl::MarginBottom;
        bool operator==(const TPageSetup&) const = default;
    };

    explicit TTXTextControl(QWidget* parent = nullptr);
    ~TTXTextControl() override;

    int SelStart() const;
    void SetSelStart(int position);
    int SelLength() const;
    void SetSelLength(int length);
    QString SelText() const;
    void SetSelText(const QString& text);

    int ScrollPosY() const;
    void SetScrollPosY(int pixels);

    int FontBold() const;
    void SetFontBold(int value);
    int FontItalic() const;
    void SetFontItalic(int value);
    int FontSize() const;
    void SetFontSize(int points);
    bool FormatSelection() const { return FormatSelectionOn; }
    void SetFormatSelection(bool on) { FormatSelectionOn = on; }
    int LineSpacing() const;
    void SetLineSpacing(int percent);
    int IndentT() const;
    void SetIndentT(int twips);
    int IndentB() const;
    void SetIndentB(int twips);
    int TabCurrent() const { return TabCurrentIndex; }
    void SetTabCurrent(int index) { TabCurrentIndex = index; }
    int TabType() const;
    void SetTabType(int type);

    int HeaderFooter() const { return HeaderFooterParts; }
    void SetHeaderFooter(int parts);
    void SelectHeaderFooter(int part);
    int HeaderFooterOffset(int part) const;
    void SetHeaderFooterOffset(int part, int twips);
    bool InsertField(const QString& text);
    int FieldCurrent() const { return FieldCurrentId; }
    void SetFieldCurrent(int id) { FieldCurrentId = id; }
    int FieldKind(int fieldId) const;
    void SetFieldKind(int fieldId, int kind);

    bool ControlOption(int option) const;
    void SetControlOption(int option, bool on);
    int MousePointer() const { return MousePointerCode; }
    void SetMousePointer(int code);

    QPaintDevice* PrintDevice() const { return Device; }
    void SetPrintDevice(QPaintDevice* device) { Device = device; }
    int CurrentPages() const;
    std::array<int, 3> PositionInfo() const;
    int CaretPage() const;  // PositionInfo()[0], without counting lines
    // Adds page-flow flags (rtf::TBlockFlow) to the paragraphs from one position to another,
    // without laying the text out again; pages are counted again from there.
    void AddBlockFlow(int from, int to, int flags);
    bool PrintPage(int page);
    // Draws page `page` with a painter whose coordinates are the device's pixels.
    void DrawPage(QPainter& painter, int page, double dpiX, double dpiY) const;

    void ResetContents();
    bool LoadFromString(std::string_view text, int format, bool atSelection);
    bool SaveToString(std::string& text, int format, bool wholeContent) const;
    bool SaveToFile(const QString& fileName, int offset, int format, bool wholeContent) const;
    int FindText(const QString& text, int start, int flags);

    QTextDocument* FooterDocument() const { return Footer.get(); }
    // Lays the text out again on other paper or margins (kept to sane sizes); pagination,
    // printing and the RTF written follow it.
    void SetPageSetup(const TPageSetup& setup);
    const TPageSetup& PageSetup() const { return Page; }
    // Body height on a page in layout pixels (96 per inch), after the footer's needs.
    double BodyHeightPx() const;
    // Width of the text between the margins of this control's page, and of the default page.
    double PageTextWidthPx() const;
    static double TextWidthPx();

signals:
    // A live hyperlink was clicked; typeData holds its target and may be changed by handlers.
    void FieldLinkClicked(int fieldId, int fieldType, QString& typeData);
    // The pointer is over a live field; handlers may choose the pointer code to show.
    void FieldSetCursor(int fieldId, int& mousePointer);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct TPageSpan {
        double Top = 0, Bottom = 0;
    };

    QTextCursor ActiveCursor() const;
    void SetActiveCursor(const QTextCursor& cursor);
    QTextDocument* ActiveDocument() const;
    void ApplyCharFormat(const QTextCharFormat& format);
    void ApplyBlockFormat(const QTextBlockFormat& format);
    void PrepareDocument(QTextDocument* document) const;
    void InvalidatePages();
    void InvalidatePagesFrom(int position);
    void InvalidatePagesAfterEdit();
    const std::vector<TPageSpan>& Pages() const;
    void PaginateThrough(double untilY) const;
    int PageOfPosition(int position) const;
    std::unique_ptr<QTextDocument> FooterForPage(int page) const;
    double FooterHeightPx() const;
    QTextCharFormat FormatAt(const QPoint& viewportPos, bool& found) const;
    QString PlainText() const;
    std::string ContentAsRtf(bool wholeContent) const;

    TPageSetup Page;
    std::unique_ptr<QTextDocument> Footer;
    QTextCursor FooterCursor;
    bool FooterActive = false;
    int HeaderFooterParts = 0;
    int FooterOffsetTwips = 720;
    int FieldCurrentId = 0;
    int NextFieldId = 1;
    bool FormatSelectionOn = true;
    int TabCurrentIndex = 1;
    bool LiveFields = false;
    int MousePointerCode = PointerDefault;
    QPointer<QObject> DeviceOwner;
    QPaintDevice* Device = nullptr;
    QTextCharFormat PendingTyping;
    bool HasPendingTyping = false;
    QPoint PressPos;
    // Where the page breaking can resume after an edit: the state before a top-level block or
    // table, recorded once per page. An edit leaves everything above it in place, so pagination
    // carries on from the last such point in front of the edit instead of from the top.
    struct TPageResume {
        int Position = 0;
        std::size_t Pages = 0;
        double Top = 0;
        bool BreakPending = false;
    };
    mutable std::vector<TPageSpan> PageCache;
    mutable std::vector<TPageResume> PageResume;
    mutable bool PagesValid = false;
    // Where an unfinished run of the page breaking stopped: the next block, the open page's top
    // and whether a break waits (PageNext is -1 when the run starts again at a resume point).
    mutable int PageNext = -1;
    mutable double PageTop = 0;
    mutable bool PageBreakPending = false;
};

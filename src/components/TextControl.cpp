#include "TextControl.h"

#include "AnsiString.h"
#include "RtfFormat.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFontDialog>
#include <QKeyEvent>
#include <QPagedPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>

namespace {

using namespace rtf;

// Every document is laid out against this device, so metrics never depend on the screen.
QPaintDevice* LayoutDevice()
{
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);
        image.setDotsPerMeterY(3780);
        return image;
    }();
    return &device;
}

Qt::CursorShape ShapeFor(int code)
{
    switch (code) {
    case 1: return Qt::ArrowCursor;
    case 2: return Qt::CrossCursor;
    case 3: return Qt::IBeamCursor;
    case 11: return Qt::WaitCursor;
    case 12: return Qt::PointingHandCursor;
    case 13: return Qt::BusyCursor;
    case 14: return Qt::WhatsThisCursor;
    default: return Qt::IBeamCursor;
    }
}

double LineTop(const QTextBlock& block, QAbstractTextDocumentLayout* layout, int line)
{
    const QTextLayout* tl = block.layout();
    const QRectF rect = layout->blockBoundingRect(block);
    return rect.top() - tl->boundingRect().top() + tl->lineAt(line).y();
}

}  // namespace

TTXTextControl::TTXTextControl(QWidget* parent) : QTextEdit(parent)
{
    PrepareDocument(document());
    document()->setUndoRedoEnabled(true);
    setLineWrapMode(QTextEdit::FixedPixelWidth);
    setLineWrapColumnOrWidth(int(std::lround(TextWidthPx())));
    setViewportMargins(12, 8, 12, 8);
    setAcceptRichText(true);
    connect(document(), &QTextDocument::contentsChanged, this, [this] { InvalidatePages(); });
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

TTXTextControl::~TTXTextControl() = default;

void TTXTextControl::PrepareDocument(QTextDocument* doc) const
{
    doc->setDocumentMargin(0);
    doc->setDefaultFont(QFont(QStringLiteral("Times New Roman"), 12));
    doc->documentLayout()->setPaintDevice(LayoutDevice());
    // Setting the page size last lays the text out once, and lazily.
    doc->setPageSize(QSizeF(TextWidthPx(), -1));
}

double TTXTextControl::TextWidthPx()
{
    // Whole pixels, as the editor lays its document out to a whole-pixel width.
    return std::round(TwipsToPx(PaperWidth - MarginLeft - MarginRight));
}

// --- Selection ---

QTextDocument* TTXTextControl::ActiveDocument() const
{
    return FooterActive && Footer ? Footer.get() : document();
}

QTextCursor TTXTextControl::ActiveCursor() const
{
    if (FooterActive && Footer)
        return FooterCursor;
    return textCursor();
}

void TTXTextControl::SetActiveCursor(const QTextCursor& cursor)
{
    if (FooterActive && Footer)
        FooterCursor = cursor;
    else
        setTextCursor(cursor);
}

int TTXTextControl::SelStart() const
{
    return ActiveCursor().selectionStart();
}

void TTXTextControl::SetSelStart(int position)
{
    QTextCursor c = ActiveCursor();
    const int end = ActiveDocument()->characterCount() - 1;
    c.setPosition(position < 0 || position > end ? end : position);
    SetActiveCursor(c);
}

int TTXTextControl::SelLength() const
{
    const QTextCursor c = ActiveCursor();
    return c.selectionEnd() - c.selectionStart();
}

void TTXTextControl::SetSelLength(int length)
{
    QTextCursor c = ActiveCursor();
    const int start = c.selectionStart();
    const int end = ActiveDocument()->characterCount() - 1;
    c.setPosition(start);
    c.setPosition(std::clamp(start + std::max(length, 0), start, end), QTextCursor::KeepAnchor);
    SetActiveCursor(c);
}

QString TTXTextControl::SelText() const
{
    QString text = ActiveCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void TTXTextControl::SetSelText(const QString& text)
{
    QTextCursor c = ActiveCursor();
    c.beginEditBlock();
    if (c.hasSelection()) {
        // The paragraph mark carries the paragraph's format: joining two paragraphs keeps the
        // format of the one whose mark survives, the last one.
        QTextDocument* doc = c.document();
        const QTextBlock first = doc->findBlock(c.selectionStart());
        const QTextBlock last = doc->findBlock(c.selectionEnd());
        const bool joins = first != last && !c.currentTable();
        const QTextBlockFormat lastFormat = last.blockFormat();
        c.removeSelectedText();
        if (joins)
            c.setBlockFormat(lastFormat);
    }
    if (HasPendingTyping) {
        c.mergeCharFormat(PendingTyping);
        HasPendingTyping = false;
    }
    QString run;
    auto flush = [&] {
        if (!run.isEmpty())
            c.insertText(run);
        run.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n') || ch == QChar::ParagraphSeparator) {
            flush();
            if (ch == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            c.insertBlock();
        } else {
            run.append(ch);
        }
    }
    flush();
    c.endEditBlock();
    SetActiveCursor(c);
    InvalidatePages();
}

int TTXTextControl::ScrollPosY() const
{
    return verticalScrollBar()->value();
}

void TTXTextControl::SetScrollPosY(int pixels)
{
    verticalScrollBar()->setValue(pixels);
}

// --- Character and paragraph properties ---

void TTXTextControl::ApplyCharFormat(const QTextCharFormat& format)
{
    QTextCursor c = ActiveCursor();
    if (c.hasSelection()) {
        if (FormatSelectionOn)
            c.mergeCharFormat(format);
        PendingTyping.merge(format);
        HasPendingTyping = true;
    } else {
        c.mergeCharFormat(format);
    }
    SetActiveCursor(c);
    InvalidatePages();
}

void TTXTextControl::ApplyBlockFormat(const QTextBlockFormat& format)
{
    QTextCursor c = ActiveCursor();
    c.mergeBlockFormat(format);
    SetActiveCursor(c);
    InvalidatePages();
}

int TTXTextControl::FontBold() const
{
    return ActiveCursor().charFormat().fontWeight() >= QFont::DemiBold ? -1 : 0;
}

void TTXTextControl::SetFontBold(int value)
{
    QTextCharFormat f;
    f.setFontWeight(value != 0 ? QFont::Bold : QFont::Normal);
    ApplyCharFormat(f);
}

int TTXTextControl::FontItalic() const
{
    return ActiveCursor().charFormat().fontItalic() ? -1 : 0;
}

void TTXTextControl::SetFontItalic(int value)
{
    QTextCharFormat f;
    f.setFontItalic(value != 0);
    ApplyCharFormat(f);
}

int TTXTextControl::FontSize() const
{
    const QTextCharFormat f = ActiveCursor().charFormat();
    double pt = f.fontPointSize();
    if (pt <= 0)
        pt = ActiveDocument()->defaultFont().pointSizeF();
    return int(std::lround(pt));
}

void TTXTextControl::SetFontSize(int points)
{
    if (points <= 0)
        return;
    QTextCharFormat f;
    f.setFontPointSize(points);
    ApplyCharFormat(f);
}

int TTXTextControl::LineSpacing() const
{
    const QTextBlockFormat b = ActiveCursor().blockFormat();
    if (b.lineHeightType() == QTextBlockFormat::ProportionalHeight)
        return int(std::lround(b.lineHeight()));
    return 100;
}

void TTXTextControl::SetLineSpacing(int percent)
{
    QTextBlockFormat b;
    if (percent <= 0 || percent == 100)
        b.setLineHeight(0, QTextBlockFormat::SingleHeight);
    else
        b.setLineHeight(std::min(percent, 1000), QTextBlockFormat::ProportionalHeight);
    ApplyBlockFormat(b);
}

int TTXTextControl::IndentT() const
{
    return PxToTwips(ActiveCursor().blockFormat().topMargin());
}

void TTXTextControl::SetIndentT(int twips)
{
    QTextBlockFormat b;
    b.setTopMargin(TwipsToPx(std::max(twips, 0)));
    ApplyBlockFormat(b);
}

int TTXTextControl::IndentB() const
{
    return PxToTwips(ActiveCursor().blockFormat().bottomMargin());
}

void TTXTextControl::SetIndentB(int twips)
{
    QTextBlockFormat b;
    b.setBottomMargin(TwipsToPx(std::max(twips, 0)));
    ApplyBlockFormat(b);
}

int TTXTextControl::TabType() const
{
    const QList<QTextOption::Tab> tabs = ActiveCursor().blockFormat().tabPositions();
    const int i = TabCurrentIndex - 1;
    if (i < 0 || i >= tabs.size())
        return 0;
    switch (tabs[i].type) {
    case QTextOption::RightTab: {
        const double edge = TextWidthPx() - ActiveCursor().blockFormat().rightMargin();
        return std::abs(tabs[i].position - edge) < 0.5 ? TabRightEdge : TabRight;
    }
    case QTextOption::CenterTab: return TabCentre;
    case QTextOption::DelimiterTab: return TabDecimal;
    default: return TabLeft;
    }
}

void TTXTextControl::SetTabType(int type)
{
    if (type < TabLeft || type > TabRightEdge || TabCurrentIndex < 1 || TabCurrentIndex > kMaxTabStops)
        return;
    QTextCursor c = ActiveCursor();
    QTextBlockFormat b = c.blockFormat();
    QList<QTextOption::Tab> tabs = b.tabPositions();
    const double halfInch = TwipsToPx(720);
    while (tabs.size() < TabCurrentIndex)
        tabs.append(QTextOption::Tab(halfInch * double(tabs.size() + 1), QTextOption::LeftTab));
    QTextOption::Tab& tab = tabs[TabCurrentIndex - 1];
    tab.delimiter = QChar();
    switch (type) {
    case TabRight: tab.type = QTextOption::RightTab; break;
    case TabCentre: tab.type = QTextOption::CenterTab; break;
    case TabDecimal: tab.type = QTextOption::DelimiterTab; tab.delimiter = QLatin1Char('.'); break;
    case TabRightEdge:
        tab.type = QTextOption::RightTab;
        tab.position = TextWidthPx() - b.rightMargin();
        break;
    default: tab.type = QTextOption::LeftTab; break;
    }
    QTextBlockFormat change;
    change.setTabPositions(tabs);
    ApplyBlockFormat(change);
}

// --- Footer and fields ---

void TTXTextControl::SetHeaderFooter(int parts)
{
    HeaderFooterParts = parts & PartFooter;
    if (HeaderFooterParts & PartFooter) {
        if (!Footer) {
            Footer = std::make_unique<QTextDocument>();
            PrepareDocument(Footer.get());
            FooterCursor = QTextCursor(Footer.get());
        }
    } else {
        Footer.reset();
        FooterCursor = QTextCursor();
        FooterActive = false;
    }
    InvalidatePages();
}

void TTXTextControl::SelectHeaderFooter(int part)
{
    if (part == PartFooter && Footer)
        FooterActive = true;
    else if (part == PartMainText)
        FooterActive = false;
    HasPendingTyping = false;
    InvalidatePages();
}

int TTXTextControl::HeaderFooterOffset(int part) const
{
    return part == PartFooter ? FooterOffsetTwips : 0;
}

void TTXTextControl::SetHeaderFooterOffset(int part, int twips)
{
    if (part != PartFooter)
        return;
    FooterOffsetTwips = std::clamp(twips, 0, PaperHeight / 2);
    InvalidatePages();
}

bool TTXTextControl::InsertField(const QString& text)
{
    if (isReadOnly() && !FooterActive)
        return false;
    QTextCursor c = ActiveCursor();
    c.beginEditBlock();
    if (c.hasSelection())
        c.removeSelectedText();
    QTextCharFormat f = c.charFormat();
    const int id = NextFieldId++;
    f.setProperty(kFieldIdProperty, id);
    f.setProperty(kFieldKindProperty, int(FieldText));
    c.insertText(text.isEmpty() ? QStringLiteral("#") : text, f);
    // What is typed after the field is not part of it.
    QTextCharFormat after = f;
    after.clearProperty(kFieldIdProperty);
    after.clearProperty(kFieldKindProperty);
    c.setCharFormat(after);
    c.endEditBlock();
    SetActiveCursor(c);
    FieldCurrentId = id;
    InvalidatePages();
    return true;
}

int TTXTextControl::FieldKind(int fieldId) const
{
    for (QTextDocument* doc : {document(), Footer.get()}) {
        if (!doc)
            continue;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().property(kFieldIdProperty).toInt() == fieldId)
                    return it.fragment().charFormat().property(kFieldKindProperty).toInt();
    }
    return FieldNone;
}

void TTXTextControl::SetFieldKind(int fieldId, int kind)
{
    if (kind < FieldText || kind > FieldNumPages)
        return;
    for (QTextDocument* doc : {document(), Footer.get()}) {
        if (!doc)
            continue;
        int start = -1, end = -1;
        QTextCharFormat format;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment frag = it.fragment();
                if (frag.charFormat().property(kFieldIdProperty).toInt() != fieldId)
                    continue;
                if (start < 0) {
                    start = frag.position();
                    format = frag.charFormat();
                }
                end = frag.position() + frag.length();
            }
        if (start < 0)
            continue;
        format.setProperty(kFieldKindProperty, kind);
        QTextCursor c(doc);
        c.setPosition(start);
        c.setPosition(end, QTextCursor::KeepAnchor);
        if (kind == FieldPage || kind == FieldNumPages) {
            // The number shown on screen; printing draws each page's own.
            c.insertText(kind == FieldPage ? QStringLiteral("1") : QString::number(CurrentPages()), format);
        } else {
            c.setCharFormat(format);
        }
        InvalidatePages();
        return;
    }
}

bool TTXTextControl::ControlOption(int option) const
{
    return option == OptionLiveFields && LiveFields;
}

void TTXTextControl::SetControlOption(int option, bool on)
{
    if (option == OptionLiveFields)
        LiveFields = on;
}

void TTXTextControl::SetMousePointer(int code)
{
    MousePointerCode = code;
}

// --- Content ---

void TTXTextControl::ResetContents()
{
    clear();
    PrepareDocument(document());
    SetHeaderFooter(0);
    FooterOffsetTwips = 720;
    FieldCurrentId = 0;
    HasPendingTyping = false;
    PendingTyping = QTextCharFormat();
    setCurrentCharFormat(QTextCharFormat());
    InvalidatePages();
}

bool TTXTextControl::LoadFromString(std::string_view text, int format, bool atSelection)
{
    if (format != FormatRtf && format != FormatText)
        return false;
    if (!atSelection) {
        QTextCursor all(ActiveDocument());
        all.select(QTextCursor::Document);
        all.removeSelectedText();
        SetActiveCursor(all);
    }
    QTextCursor c = ActiveCursor();
    QTextDocument* doc = ActiveDocument();
    const bool wasEmpty = doc->isEmpty();
    // Loading is not an edit the user could undo; keeping the undo records doubles its cost.
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    if (c.hasSelection())
        c.removeSelectedText();
    if (format == FormatRtf && wasEmpty && !FooterActive) {
        // Into an empty control the text is built in a document of its own and then shown:
        // laid out once, lazily, as far as it is shown or asked for, instead of paragraph by
        // paragraph while it arrives.
        auto* fresh = new QTextDocument(this);
        fresh->setUndoRedoEnabled(false);
        // A layout with a null page size does no work while the text arrives.
        fresh->setPageSize(QSizeF(0, 0));
        fresh->documentLayout()->setPaintDevice(LayoutDevice());
        QTextCursor fc(fresh);
        TRtfReadOptions options;
        std::unique_ptr<QTextDocument> footer;
        if (!(HeaderFooterParts & PartFooter)) {
            footer = std::make_unique<QTextDocument>();
            options.FooterTarget = footer.get();
        }
        ReadRtf(text, fc, options);
        fresh->setDocumentMargin(0);
        fresh->setDefaultFont(QFont(QStringLiteral("Times New Roman"), 12));
        fresh->setUndoRedoEnabled(undo);
        doc->setUndoRedoEnabled(undo);
        // The editor deletes a document it made itself; one we made is ours to delete.
        QTextDocument* old = document();
        const bool ours = old->parent() == this;
        // The editor gives the document its page width, which lays the text out once, lazily.
        setDocument(fresh);
        connect(fresh, &QTextDocument::contentsChanged, this, [this] { InvalidatePages(); });
        if (ours)
            delete old;
        if (footer && !footer->isEmpty()) {
            SetHeaderFooter(PartFooter);
            QTextCursor(Footer.get()).insertFragment(QTextDocumentFragment(footer.get()));
            FooterCursor = QTextCursor(Footer.get());
        }
        // The caret stays at the top, where setDocument put it: moving it to the end would lay out
        // the whole text at once.
        InvalidatePages();
        return true;
    }
    if (format == FormatRtf) {
        TRtfReadOptions options;
        std::unique_ptr<QTextDocument> footer;
        if (!FooterActive && wasEmpty && !(HeaderFooterParts & PartFooter)) {
            footer = std::make_unique<QTextDocument>();
            options.FooterTarget = footer.get();
        }
        ReadRtf(text, c, options);
        if (footer && !footer->isEmpty()) {
            SetHeaderFooter(PartFooter);
            QTextCursor fc(Footer.get());
            fc.insertFragment(QTextDocumentFragment(footer.get()));
            FooterCursor = QTextCursor(Footer.get());
        }
    } else {
        QString plain = AnsiToQt(text);
        plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        c.insertText(plain);
    }
    doc->setUndoRedoEnabled(undo);
    SetActiveCursor(c);
    InvalidatePages();
    return true;
}

std::string TTXTextControl::ContentAsRtf(bool wholeContent) const
{
    TRtfWriteOptions options;
    options.Footer = (HeaderFooterParts & PartFooter) ? Footer.get() : nullptr;
    options.Page.FooterY = FooterOffsetTwips;
    const QTextCursor c = textCursor();
    if (wholeContent || !c.hasSelection())
        return WriteRtf(*document(), options);
    QTextDocument part;
    PrepareDocument(&part);
    QTextCursor(&part).insertFragment(c.selection());
    // A fragment carries no resources: bring along the pictures it shows.
    for (QTextBlock b = part.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!f.isImageFormat())
                continue;
            const QUrl url(f.toImageFormat().name());
            part.addResource(QTextDocument::ImageResource, url, document()->resource(QTextDocument::ImageResource, url));
            part.addResource(kPictDataResource, PictDataUrl(url.toString()), document()->resource(kPictDataResource, PictDataUrl(url.toString())));
        }
    return WriteRtf(part, options);
}

bool TTXTextControl::SaveToString(std::string& text, int format, bool wholeContent) const
{
    if (format == FormatRtf) {
        text = ContentAsRtf(wholeContent);
        return true;
    }
    if (format == FormatText) {
        const QTextCursor c = textCursor();
        QString plain = (wholeContent || !c.hasSelection()) ? document()->toPlainText() : SelText();
        plain.replace(QChar::LineSeparator, QLatin1Char('\n'));
        plain.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        text = QtToAnsi(plain);
        return true;
    }
    return false;
}

bool TTXTextControl::SaveToFile(const QString& fileName, int offset, int format, bool wholeContent) const
{
    std::string text;
    if (!SaveToString(text, format, wholeContent))
        return false;
    QFile file(fileName);
    if (offset <= 0) {
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
    } else {
        if (!file.open(QIODevice::ReadWrite) || !file.resize(std::min<qint64>(file.size(), offset)) || !file.seek(file.size()))
            return false;
    }
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size()))
        return false;
    return file.flush();
}

QString TTXTextControl::PlainText() const
{
    // toPlainText keeps one character per document position, so indexes are positions.
    return ActiveDocument()->toPlainText();
}

int TTXTextControl::FindText(const QString& text, int start, int flags)
{
    if (text.isEmpty())
        return -1;
    const QString plain = PlainText();
    const Qt::CaseSensitivity cs = (flags & FindMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    qsizetype from = std::clamp<qsizetype>(start, 0, plain.size());
    qsizetype at = -1;
    auto wholeWord = [&](qsizetype p) {
        const bool before = p == 0 || !plain.at(p - 1).isLetterOrNumber();
        const qsizetype e = p + text.size();
        const bool after = e >= plain.size() || !plain.at(e).isLetterOrNumber();
        return before && after;
    };
    while (true) {
        at = (flags & FindBackward) ? plain.lastIndexOf(text, from, cs) : plain.indexOf(text, from, cs);
        if (at < 0 || !(flags & FindWholeWord) || wholeWord(at))
            break;
        from = (flags & FindBackward) ? at - 1 : at + 1;
        if (from < 0)
            return -1;
    }
    if (at < 0)
        return -1;
    if (!(flags & FindKeepSelection)) {
        QTextCursor c(ActiveDocument());
        c.setPosition(int(at));
        c.setPosition(int(at + text.size()), QTextCursor::KeepAnchor);
        SetActiveCursor(c);
    }
    return int(at);
}

// --- Pagination ---

void TTXTextControl::InvalidatePages()
{
    PagesValid = false;
}

double TTXTextControl::FooterHeightPx() const
{
    if (!(HeaderFooterParts & PartFooter) || !Footer || Footer->isEmpty())
        return 0;
    Footer->setTextWidth(TextWidthPx());
    return Footer->documentLayout()->documentSize().height();
}

double TTXTextControl::BodyHeightPx() const
{
    const double footer = FooterHeightPx();
    // The footer keeps a tenth of an inch clear above it.
    const double band = std::max(TwipsToPx(MarginBottom), footer > 0 ? TwipsToPx(FooterOffsetTwips + 144) + footer : 0.0);
    return TwipsToPx(PaperHeight - MarginTop) - band;
}

const std::vector<TTXTextControl::TPageSpan>& TTXTextControl::Pages() const
{
    if (PagesValid)
        return PageCache;
    PageCache.clear();
    QTextDocument* doc = document();
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    layout->blockBoundingRect(doc->lastBlock());  // lays out the whole text
    const double height = std::max(BodyHeightPx(), 50.0);
    double top = 0;
    bool breakPending = false;
    auto newPage = [&](double at) {
        if (at <= top + 0.5)
            return;
        PageCache.push_back(TPageSpan{top, at});
        top = at;
    };
    // Lines of one block, broken where they overflow the page.
    auto placeLines = [&](const QTextBlock& block, bool allowForced) {
        const QTextLayout* tl = block.layout();
        if (!tl || tl->lineCount() == 0)
            return;
        const QRectF rect = layout->blockBoundingRect(block);
        const double offset = rect.top() - tl->boundingRect().top();
        const QTextBlockFormat bf = block.blockFormat();
        const double firstTop = offset + tl->lineAt(0).y();
        const double blockBottom = offset + tl->lineAt(tl->lineCount() - 1).y() + tl->lineAt(tl->lineCount() - 1).height();
        if (allowForced && (breakPending || (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)))
            newPage(firstTop);
        breakPending = false;
        if (bf.nonBreakableLines() && blockBottom - firstTop <= height && blockBottom - top > height)
            newPage(firstTop);
        const QString text = block.text();
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            const double lt = offset + line.y();
            const double lb = lt + line.height();
            if (breakPending) {
                newPage(lt);
                breakPending = false;
            }
            if (lb - top > height)
                newPage(lt);
            if (allowForced && text.mid(line.textStart(), line.textLength()).contains(QLatin1Char('\f')))
                breakPending = true;
        }
        if (allowForced && (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter))
            breakPending = true;
    };
    QTextFrame* root = doc->rootFrame();
    for (QTextFrame::iterator it = root->begin(); !it.atEnd(); ++it) {
        if (QTextFrame* frame = it.currentFrame()) {
            auto* table = qobject_cast<QTextTable*>(frame);
            if (!table) {
                for (QTextBlock b = doc->findBlock(frame->firstPosition()); b.isValid() && b.position() <= frame->lastPosition(); b = b.next())
                    placeLines(b, false);
                continue;
            }
            if (breakPending) {
                const QTextBlock first = doc->findBlock(table->firstPosition());
                newPage(layout->blockBoundingRect(first).top());
                breakPending = false;
            }
            const double pad = table->format().cellPadding() + 1;
            for (int r = 0; r < table->rows(); ++r) {
                double rowTop = 1e18, rowBottom = -1e18;
                std::vector<std::pair<double, double>> lines;
                for (int col = 0; col < table->columns(); ++col) {
                    const QTextTableCell cell = table->cellAt(r, col);
                    if (!cell.isValid() || cell.row() != r || cell.column() != col)
                        continue;
                    for (QTextBlock b = doc->findBlock(cell.firstPosition()); b.isValid() && b.position() <= cell.lastPosition(); b = b.next()) {
                        const QTextLayout* tl = b.layout();
                        if (!tl || tl->lineCount() == 0)
                            continue;
                        for (int i = 0; i < tl->lineCount(); ++i) {
                            const double lt = LineTop(b, layout, i);
                            lines.emplace_back(lt, lt + tl->lineAt(i).height());
                            rowTop = std::min(rowTop, lt - pad);
                            rowBottom = std::max(rowBottom, lt + tl->lineAt(i).height() + pad);
                        }
                    }
                }
                if (lines.empty())
                    continue;
                rowTop = std::max(rowTop, top);
                if (rowBottom - top > height && rowBottom - rowTop <= height) {
                    newPage(rowTop);
                    continue;
                }
                std::sort(lines.begin(), lines.end());
                for (const auto& [lt, lb] : lines)
                    if (lb - top > height)
                        newPage(lt);
            }
            continue;
        }
        placeLines(it.currentBlock(), true);
    }
    const double end = std::max(layout->documentSize().height(), top + 1);
    PageCache.push_back(TPageSpan{top, end});
    PagesValid = true;
    return PageCache;
}

int TTXTextControl::CurrentPages() const
{
    return int(Pages().size());
}

int TTXTextControl::PageOfPosition(int position) const
{
    const auto& pages = Pages();
    QTextDocument* doc = document();
    const QTextBlock block = doc->findBlock(position);
    if (!block.isValid() || !block.layout() || block.layout()->lineCount() == 0)
        return int(pages.size());
    const QTextLayout* tl = block.layout();
    QTextLine line = tl->lineForTextPosition(position - block.position());
    if (!line.isValid())
        line = tl->lineAt(tl->lineCount() - 1);
    const QRectF rect = doc->documentLayout()->blockBoundingRect(block);
    const double y = rect.top() - tl->boundingRect().top() + line.y();
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (y < pages[i].Bottom - 0.01)
            return int(i) + 1;
    return int(pages.size());
}

std::array<int, 3> TTXTextControl::PositionInfo() const
{
    const QTextCursor c = textCursor();
    const int page = PageOfPosition(c.position());
    const QTextBlock block = c.block();
    int line = 1;
    for (QTextBlock b = document()->begin(); b.isValid() && b != block; b = b.next())
        line += b.layout() ? std::max(1, b.layout()->lineCount()) : 1;
    int column = c.positionInBlock();
    if (block.layout()) {
        const QTextLine l = block.layout()->lineForTextPosition(c.positionInBlock());
        if (l.isValid()) {
            line += l.lineNumber();
            column -= l.textStart();
        }
    }
    return {page, line, column};
}

std::unique_ptr<QTextDocument> TTXTextControl::FooterForPage(int page) const
{
    if (!(HeaderFooterParts & PartFooter) || !Footer || Footer->isEmpty())
        return nullptr;
    std::unique_ptr<QTextDocument> copy(Footer->clone());
    PrepareDocument(copy.get());
    // Replace each page field's text by this page's number, last first so positions hold.
    std::vector<std::pair<int, int>> spans;
    std::vector<int> kinds;
    for (QTextBlock b = copy->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const int kind = it.fragment().charFormat().property(kFieldKindProperty).toInt();
            if (kind == FieldPage || kind == FieldNumPages) {
                spans.emplace_back(it.fragment().position(), it.fragment().length());
                kinds.push_back(kind);
            }
        }
    for (std::size_t i = spans.size(); i-- > 0;) {
        QTextCursor c(copy.get());
        c.setPosition(spans[i].first);
        c.setPosition(spans[i].first + spans[i].second, QTextCursor::KeepAnchor);
        const QTextCharFormat f = c.charFormat();
        c.insertText(QString::number(kinds[i] == FieldPage ? page : CurrentPages()), f);
    }
    copy->setTextWidth(TextWidthPx());
    return copy;
}

void TTXTextControl::DrawPage(QPainter& painter, int page, double dpiX, double dpiY) const
{
    const auto& pages = Pages();
    if (page < 1 || page > int(pages.size()))
        return;
    const TPageSpan span = pages[std::size_t(page) - 1];
    painter.save();
    painter.scale(dpiX / kLayoutDpi, dpiY / kLayoutDpi);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);

    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    context.cursorPosition = -1;
    painter.save();
    painter.translate(TwipsToPx(MarginLeft), TwipsToPx(MarginTop) - span.Top);
    // Tables may reach past the right margin; clip only top and bottom.
    const QRectF clip(-TwipsToPx(MarginLeft), span.Top, TwipsToPx(PaperWidth), span.Bottom - span.Top);
    // The layout also draws blocks that only touch its clip; keep the next page's first line off
    // this page altogether, so that it is not even in a PDF's content.
    context.clip = clip.adjusted(0, 0.5, 0, -0.5);
    painter.setClipRect(clip);
    document()->documentLayout()->draw(&painter, context);
    painter.restore();

    if (auto footer = FooterForPage(page)) {
        const double h = footer->documentLayout()->documentSize().height();
        painter.save();
        painter.translate(TwipsToPx(MarginLeft), TwipsToPx(PaperHeight - FooterOffsetTwips) - h);
        QAbstractTextDocumentLayout::PaintContext fc;
        fc.palette.setColor(QPalette::Text, Qt::black);
        fc.cursorPosition = -1;
        footer->documentLayout()->draw(&painter, fc);
        painter.restore();
    }
    painter.restore();
}

bool TTXTextControl::PrintPage(int page)
{
    if (!Device || page < 1 || page > CurrentPages())
        return false;
    QPainter own;
    QPainter* painter = nullptr;
    if (Device->paintingActive() && Device->paintEngine() && Device->paintEngine()->painter()) {
        painter = Device->paintEngine()->painter();
    } else {
        if (!own.begin(Device))
            return false;
        painter = &own;
    }
    painter->save();
    if (auto* paged = dynamic_cast<QPagedPaintDevice*>(Device)) {
        // Painter coordinates start at the printable area; move the origin to the paper's corner.
        const QPageLayout pl = paged->pageLayout();
        const int res = Device->logicalDpiX();
        const QRect full = pl.fullRectPixels(res);
        const QRect paint = pl.paintRectPixels(res);
        painter->translate(full.topLeft() - paint.topLeft());
    }
    DrawPage(*painter, page, Device->logicalDpiX(), Device->logicalDpiY());
    painter->restore();
    return true;
}

// --- Mouse and keys ---

QTextCharFormat TTXTextControl::FormatAt(const QPoint& viewportPos, bool& found) const
{
    found = false;
    const QPointF docPos(viewportPos.x() + horizontalScrollBar()->value(), viewportPos.y() + verticalScrollBar()->value());
    const int pos = document()->documentLayout()->hitTest(docPos, Qt::ExactHit);
    if (pos < 0)
        return {};
    const QTextBlock block = document()->findBlock(pos);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        if (f.contains(pos)) {
            found = true;
            return f.charFormat();
        }
    }
    return {};
}

void TTXTextControl::mouseMoveEvent(QMouseEvent* event)
{
    QTextEdit::mouseMoveEvent(event);
    if (!LiveFields)
        return;
    bool found = false;
    const QTextCharFormat f = FormatAt(event->position().toPoint(), found);
    const int kind = f.property(kFieldKindProperty).toInt();
    if (found && (f.isAnchor() || kind != FieldNone)) {
        int pointer = MousePointerCode;
        emit FieldSetCursor(f.property(kFieldIdProperty).toInt(), pointer);
        MousePointerCode = pointer;
        viewport()->setCursor(ShapeFor(pointer));
    } else {
        viewport()->setCursor(isReadOnly() ? Qt::ArrowCursor : Qt::IBeamCursor);
    }
}

void TTXTextControl::mousePressEvent(QMouseEvent* event)
{
    PressPos = event->position().toPoint();
    QTextEdit::mousePressEvent(event);
}

void TTXTextControl::mouseReleaseEvent(QMouseEvent* event)
{
    QTextEdit::mouseReleaseEvent(event);
    if (!LiveFields || event->button() != Qt::LeftButton)
        return;
    if ((event->position().toPoint() - PressPos).manhattanLength() > 4)
        return;  // a drag selects; it does not follow the link
    bool found = false;
    const QTextCharFormat f = FormatAt(event->position().toPoint(), found);
    if (!found || !f.isAnchor())
        return;
    QString target = f.anchorHref();
    emit FieldLinkClicked(f.property(kFieldIdProperty).toInt(), FieldLink, target);
}

void TTXTextControl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F2 && !isReadOnly()) {
        // F2 opens the font dialog for the selection, as the editor's Font button expects.
        auto* dialog = new QFontDialog(textCursor().charFormat().font(), this);
        dialog->setObjectName(QStringLiteral("FontDialog"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QFontDialog::fontSelected, this, [this](const QFont& font) {
            QTextCharFormat f;
            f.setFont(font, QTextCharFormat::FontPropertiesSpecifiedOnly);
            ApplyCharFormat(f);
        });
        dialog->open();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

#include "TextControl.h"

#include "RtfFormat.h"
#include "RtfReader.h"
#include "TextLayoutDevice.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDialog>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

using namespace rtf;

QPaintDevice* rtf::LayoutDevice()
{
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);
        image.setDotsPerMeterY(3780);
        return image;
    }();
    return &device;
}

namespace {

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

}  // namespace

TTXTextControl::TTXTextControl(QWidget* parent) : QTextEdit(parent)
{
    PrepareDocument(document());
    document()->setUndoRedoEnabled(true);
    setLineWrapMode(QTextEdit::FixedPixelWidth);
    setLineWrapColumnOrWidth(int(std::lround(PageTextWidthPx())));
    setViewportMargins(12, 8, 12, 8);
    setAcceptRichText(true);
    connect(document(), &QTextDocument::contentsChange, this, [this](int position, int, int) { InvalidatePagesFrom(position); });
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
    doc->setPageSize(QSizeF(PageTextWidthPx(), -1));
}

double TTXTextControl::TextWidthPx()
{
    // Whole pixels, as the editor lays its document out to a whole-pixel width.
    return std::round(TwipsToPx(PaperWidth - MarginLeft - MarginRight));
}

double TTXTextControl::PageTextWidthPx() const
{
    return std::round(TwipsToPx(Page.PaperWidth - Page.MarginLeft - Page.MarginRight));
}

void TTXTextControl::SetPageSetup(const TPageSetup& setup)
{
    TPageSetup s = setup;
    // Paper from two inches to two metres, and at least an inch of text each way.
    s.PaperWidth = std::clamp(s.PaperWidth, 2880, 113400);
    s.PaperHeight = std::clamp(s.PaperHeight, 2880, 113400);
    for (int* m : {&s.MarginLeft, &s.MarginRight, &s.MarginTop, &s.MarginBottom})
        *m = std::max(*m, 0);
    if (s.MarginLeft + s.MarginRight > s.PaperWidth - 1440)
        s.MarginLeft = s.MarginRight = (s.PaperWidth - 1440) / 2;
    if (s.MarginTop + s.MarginBottom > s.PaperHeight - 1440)
        s.MarginTop = s.MarginBottom = (s.PaperHeight - 1440) / 2;
    if (s == Page)
        return;
    Page = s;
    setLineWrapColumnOrWidth(int(std::lround(PageTextWidthPx())));
    document()->setPageSize(QSizeF(PageTextWidthPx(), -1));
    InvalidatePages();
}

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
    InvalidatePagesAfterEdit();
}

int TTXTextControl::ScrollPosY() const
{
    return verticalScrollBar()->value();
}

void TTXTextControl::SetScrollPosY(int pixels)
{
    verticalScrollBar()->setValue(pixels);
}

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
    InvalidatePagesAfterEdit();
}

void TTXTextControl::ApplyBlockFormat(const QTextBlockFormat& format)
{
    QTextCursor c = ActiveCursor();
    c.mergeBlockFormat(format);
    SetActiveCursor(c);
    InvalidatePagesAfterEdit();
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
    return PxToTwips(SpaceBefore(ActiveCursor().blockFormat()));
}

void TTXTextControl::SetIndentT(int twips)
{
    // Each paragraph keeps the space after the one above it on top of its own space before.
    const QTextCursor sel = ActiveCursor();
    QTextDocument* doc = ActiveDocument();
    const QTextBlock last = doc->findBlock(sel.selectionEnd());
    for (QTextBlock b = doc->findBlock(sel.selectionStart()); b.isValid(); b = b.next()) {
        QTextBlockFormat f = b.blockFormat();
        const QTextBlock above = b.previous();
        SetSpaceBefore(f, TwipsToPx(std::max(twips, 0)), above.isValid() ? above.blockFormat().bottomMargin() : 0.0);
        QTextCursor(b).setBlockFormat(f);
        if (b == last)
            break;
    }
    InvalidatePagesAfterEdit();
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
        const double edge = PageTextWidthPx() - ActiveCursor().blockFormat().rightMargin();
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
        tab.position = PageTextWidthPx() - b.rightMargin();
        break;
    default: tab.type = QTextOption::LeftTab; break;
    }
    QTextBlockFormat change;
    change.setTabPositions(tabs);
    ApplyBlockFormat(change);
}

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
    FooterOffsetTwips = std::clamp(twips, 0, Page.PaperHeight / 2);
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
    InvalidatePagesAfterEdit();
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
        if (doc == Footer.get()) InvalidatePages();
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

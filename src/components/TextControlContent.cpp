#include "TextControl.h"

#include "AnsiString.h"
#include "RtfFormat.h"
#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextLayoutDevice.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>

using namespace rtf;

namespace {

// Qt lays out a word longer than a line in time that grows with the square of its length (a
// megabyte-long word takes half a minute), unless lines may break anywhere. A text holding such a
// run is wrapped anywhere; the text itself is not changed.
constexpr qsizetype kLongRun = 2000;

bool HasLongRun(const QTextDocument& doc)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b.length() <= kLongRun)
            continue;
        qsizetype run = 0;
        for (const QChar ch : b.text()) {
            run = ch.isSpace() ? 0 : run + 1;
            if (run > kLongRun)
                return true;
        }
    }
    return false;
}

QTextOption::WrapMode WrapModeFor(const QTextDocument& doc)
{
    return HasLongRun(doc) ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

void FitLongRuns(QTextEdit& edit)
{
    const auto mode = WrapModeFor(*edit.document());
    if (edit.wordWrapMode() != mode)
        edit.setWordWrapMode(mode);
}

}  // namespace

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
        // The wrap mode is settled before the editor first lays the new text out: a long run laid
        // out once at word boundaries already costs the time the mode is there to save.
        const auto mode = WrapModeFor(*fresh);
        QTextOption option = fresh->defaultTextOption();
        option.setWrapMode(mode);
        fresh->setDefaultTextOption(option);
        if (wordWrapMode() != mode)
            setWordWrapMode(mode);
        // The editor gives the document its page width, which lays the text out once, lazily.
        setDocument(fresh);
        connect(fresh, &QTextDocument::contentsChange, this, [this](int position, int, int) { InvalidatePagesFrom(position); });
        if (ours)
            delete old;
        if (footer && !footer->isEmpty()) {
            SetHeaderFooter(PartFooter);
            QTextCursor(Footer.get()).insertFragment(QTextDocumentFragment(footer.get()));
            FooterCursor = QTextCursor(Footer.get());
        }
        FitLongRuns(*this);
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
    if (!FooterActive)
        FitLongRuns(*this);
    InvalidatePagesAfterEdit();
    return true;
}

std::string TTXTextControl::ContentAsRtf(bool wholeContent) const
{
    TRtfWriteOptions options;
    options.Footer = (HeaderFooterParts & PartFooter) ? Footer.get() : nullptr;
    options.Page.FooterY = FooterOffsetTwips;
    options.Page.PaperWidth = Page.PaperWidth;
    options.Page.PaperHeight = Page.PaperHeight;
    options.Page.MarginLeft = Page.MarginLeft;
    options.Page.MarginRight = Page.MarginRight;
    options.Page.MarginTop = Page.MarginTop;
    options.Page.MarginBottom = Page.MarginBottom;
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

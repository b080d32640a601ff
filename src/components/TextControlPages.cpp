#include "TextControl.h"

#include "RtfFormat.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <limits>

using namespace rtf;

namespace {

double LineTop(const QTextBlock& block, QAbstractTextDocumentLayout* layout, int line)
{
    const QTextLayout* tl = block.layout();
    const QRectF rect = layout->blockBoundingRect(block);
    return rect.top() - tl->boundingRect().top() + tl->lineAt(line).y();
}


}  // namespace

void TTXTextControl::InvalidatePages()
{
    PagesValid = false;
    PageResume.clear();
    PageNext = -1;
}

void TTXTextControl::InvalidatePagesFrom(int position)
{
    // A run that stopped in front of the edit carries on from where it stopped.
    if (!PagesValid && PageNext >= 0 && PageNext < position)
        return;
    PagesValid = false;
    PageNext = -1;
    // Keep the resume points strictly in front of the edit: the text before them is unchanged.
    while (!PageResume.empty() && PageResume.back().Position >= position && PageResume.back().Position > 0)
        PageResume.pop_back();
}

void TTXTextControl::InvalidatePagesAfterEdit()
{
    // Edits of the body report where they happened (contentsChange); the footer's height
    // changes every page.
    if (FooterActive)
        InvalidatePages();
}

double TTXTextControl::FooterHeightPx() const
{
    if (!(HeaderFooterParts & PartFooter) || !Footer || Footer->isEmpty())
        return 0;
    Footer->setTextWidth(PageTextWidthPx());
    return Footer->documentLayout()->documentSize().height();
}

double TTXTextControl::BodyHeightPx() const
{
    const double footer = FooterHeightPx();
    // The footer keeps a tenth of an inch clear above it.
    const double band = std::max(TwipsToPx(Page.MarginBottom), footer > 0 ? TwipsToPx(FooterOffsetTwips + 144) + footer : 0.0);
    return TwipsToPx(Page.PaperHeight - Page.MarginTop) - band;
}

const std::vector<TTXTextControl::TPageSpan>& TTXTextControl::Pages() const
{
    PaginateThrough(std::numeric_limits<double>::infinity());
    return PageCache;
}

// Breaks the text into pages from where the last run stopped (or the last resume point in front
// of an edit) until the page holding the height untilY is complete, or to the end.
void TTXTextControl::PaginateThrough(double untilY) const
{
    if (PagesValid)
        return;
    QTextDocument* doc = document();
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    layout->blockBoundingRect(doc->lastBlock());  // lays out the whole text
    const double height = std::max(BodyHeightPx(), 50.0);
    if (PageResume.empty())
        PageResume.push_back(TPageResume{});
    if (PageNext < 0) {
        const TPageResume& from = PageResume.back();
        PageCache.resize(std::min(PageCache.size(), from.Pages));
        PageNext = from.Position;
        PageTop = from.Top;
        PageBreakPending = from.BreakPending;
    }
    double& top = PageTop;
    bool& breakPending = PageBreakPending;
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
        if (allowForced && (breakPending || BreaksBefore(block)))
            newPage(firstTop);
        breakPending = false;
        if (KeepsTogether(block) && blockBottom - firstTop <= height && blockBottom - top > height)
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
    // The top-level table or frame a block lies in, or null for a block of the main flow.
    auto topFrame = [root](const QTextBlock& block) -> QTextFrame* {
        QTextFrame* f = QTextCursor(block).currentFrame();
        while (f && f != root && f->parentFrame() != root)
            f = f->parentFrame();
        return f == root ? nullptr : f;
    };
    QTextBlock next = doc->findBlock(PageNext);
    while (next.isValid()) {
        if (top > untilY) {
            PageNext = next.position();
            return;
        }
        const QTextBlock block = next;
        QTextFrame* frame = topFrame(block);
        if (!frame && PageCache.size() > PageResume.back().Pages && block.position() > PageResume.back().Position)
            PageResume.push_back(TPageResume{block.position(), PageCache.size(), top, breakPending});
        next = frame ? doc->findBlock(frame->lastPosition() + 1) : block.next();
        if (frame && next.isValid() && next.position() <= frame->lastPosition())
            next = QTextBlock();
        if (frame) {
            auto* table = qobject_cast<QTextTable*>(frame);
            if (!table) {
                for (QTextBlock b = doc->findBlock(frame->firstPosition()); b.isValid() && b.position() <= frame->lastPosition(); b = b.next())
                    placeLines(b, false);
                continue;
            }
            if (breakPending || BreaksBefore(doc->findBlock(table->firstPosition()))) {
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
        placeLines(block, true);
    }
    const double end = std::max(layout->documentSize().height(), top + 1);
    PageCache.push_back(TPageSpan{top, end});
    PagesValid = true;
}

int TTXTextControl::CurrentPages() const
{
    return int(Pages().size());
}

int TTXTextControl::PageOfPosition(int position) const
{
    QTextDocument* doc = document();
    doc->documentLayout()->blockBoundingRect(doc->lastBlock());  // lays out the whole text
    const QTextBlock block = doc->findBlock(position);
    if (!block.isValid() || !block.layout() || block.layout()->lineCount() == 0)
        return int(Pages().size());
    const QTextLayout* tl = block.layout();
    QTextLine line = tl->lineForTextPosition(position - block.position());
    if (!line.isValid())
        line = tl->lineAt(tl->lineCount() - 1);
    const QRectF rect = doc->documentLayout()->blockBoundingRect(block);
    const double y = rect.top() - tl->boundingRect().top() + line.y();
    PaginateThrough(y);
    const auto& pages = PageCache;
    const auto it = std::upper_bound(pages.begin(), pages.end(), y, [](double v, const TPageSpan& p) { return v < p.Bottom - 0.01; });
    if (it != pages.end())
        return int(it - pages.begin()) + 1;
    // Past every finished page: the one still open, or the last.
    return int(pages.size()) + (PagesValid ? 0 : 1);
}

void TTXTextControl::AddBlockFlow(int from, int to, int flags)
{
    QTextDocument* doc = document();
    const QTextBlock first = doc->findBlock(from);
    const QTextBlock last = doc->findBlock(std::max(from, to));
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        b.setUserState(BlockFlow(b) | flags);
        if (b == last)
            break;
    }
    if (first.isValid())
        InvalidatePagesFrom(first.position());
}

int TTXTextControl::CaretPage() const
{
    return PageOfPosition(textCursor().position());
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

#include "TextControl.h"

#include "RtfFormat.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>

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
        if (bf.property(kKeepTogetherProperty).toBool() && blockBottom - firstTop <= height && blockBottom - top > height)
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

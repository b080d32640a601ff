#include "TextControl.h"

#include "RtfFormat.h"
#include "TabLeaders.h"

#include <QAbstractTextDocumentLayout>
#include <QPagedPaintDevice>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

using namespace rtf;

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
    copy->setTextWidth(PageTextWidthPx());
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
    painter.translate(TwipsToPx(Page.MarginLeft), TwipsToPx(Page.MarginTop) - span.Top);
    // Tables may reach past the right margin; clip only top and bottom.
    const QRectF clip(-TwipsToPx(Page.MarginLeft), span.Top, TwipsToPx(Page.PaperWidth), span.Bottom - span.Top);
    // The layout also draws blocks that only touch its clip; keep the next page's first line off
    // this page altogether, so that it is not even in a PDF's content.
    context.clip = clip.adjusted(0, 0.5, 0, -0.5);
    painter.setClipRect(clip);
    document()->documentLayout()->draw(&painter, context);
    DrawTabLeaders(painter, *document(), context.clip);
    painter.restore();

    if (auto footer = FooterForPage(page)) {
        const double h = footer->documentLayout()->documentSize().height();
        painter.save();
        painter.translate(TwipsToPx(Page.MarginLeft), TwipsToPx(Page.PaperHeight - FooterOffsetTwips) - h);
        QAbstractTextDocumentLayout::PaintContext fc;
        fc.palette.setColor(QPalette::Text, Qt::black);
        fc.cursorPosition = -1;
        footer->documentLayout()->draw(&painter, fc);
        DrawTabLeaders(painter, *footer, QRectF(QPointF(0, 0), footer->documentLayout()->documentSize()));
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

void TTXTextControl::paintEvent(QPaintEvent* event)
{
    QTextEdit::paintEvent(event);
    // The editor and the viewer show the same leaders as the printed page.
    QPainter painter(viewport());
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-scroll);
    DrawTabLeaders(painter, *document(), QRectF(event->rect()).translated(scroll));
}

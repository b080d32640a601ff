#include "TabLeaders.h"

#include "RtfFormat.h"
#include "TextLayoutDevice.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace rtf {

namespace {

// The leader of the tab stop a tab ending at tabEnd went to: the first stop at or beyond it
// (a right, centred or decimal stop lies beyond the text it aligns).
int LeaderFor(const QList<QTextOption::Tab>& tabs, const QList<int>& leaders, double lineX, double tabEnd)
{
    int best = -1;
    for (qsizetype i = 0; i < tabs.size(); ++i) {
        const double at = lineX + tabs[i].position;
        if (at >= tabEnd - 1.0 && (best < 0 || at < lineX + tabs[best].position))
            best = int(i);
    }
    return best >= 0 && best < leaders.size() ? leaders[best] : LeaderNone;
}

void DrawLeader(QPainter& painter, int kind, const QFont& font, const QColor& colour, double x0, double x1, double baseline)
{
    const QFontMetricsF fm(font, LayoutDevice());
    // Leave a little air on both sides, as word processors do.
    const double gap = fm.horizontalAdvance(QLatin1Char(' ')) / 3;
    x0 += gap;
    x1 -= gap;
    if (x1 - x0 < 1)
        return;
    const double stroke = std::max(0.5, fm.lineWidth());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    switch (kind) {
    case LeaderDot:
    case LeaderHyphen: {
        // Marks on a fixed grid, so the leaders of lines above one another line up.
        const double pitch = std::max(2.0, fm.horizontalAdvance(QLatin1Char('.')));
        const double markWidth = kind == LeaderDot ? std::max(0.8, fm.height() / 14) : pitch * 0.55;
        const double markHeight = kind == LeaderDot ? markWidth : stroke;
        const double y = kind == LeaderDot ? baseline - markHeight : baseline - fm.xHeight() / 2 - markHeight / 2;
        for (double x = std::ceil(x0 / pitch) * pitch; x + markWidth <= x1; x += pitch)
            painter.drawRect(QRectF(x, y, markWidth, markHeight));
        break;
    }
    case LeaderUnderline:
    case LeaderThick: {
        const double h = kind == LeaderThick ? stroke * 2.5 : stroke;
        painter.drawRect(QRectF(x0, baseline + fm.underlinePos() - h / 2, x1 - x0, h));
        break;
    }
    case LeaderEquals: {
        const double mid = baseline - fm.xHeight() / 2;
        painter.drawRect(QRectF(x0, mid - stroke * 1.5, x1 - x0, stroke));
        painter.drawRect(QRectF(x0, mid + stroke * 0.5, x1 - x0, stroke));
        break;
    }
    default:
        break;
    }
}

}  // namespace

void DrawTabLeaders(QPainter& painter, const QTextDocument& document, const QRectF& clip)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        if (!bf.hasProperty(kTabLeadersProperty))
            continue;
        const QList<int> leaders = bf.property(kTabLeadersProperty).value<QList<int>>();
        const QList<QTextOption::Tab> tabs = bf.tabPositions();
        const QString text = block.text();
        const QTextLayout* tl = block.layout();
        if (leaders.isEmpty() || tabs.isEmpty() || !tl || tl->lineCount() == 0 || !text.contains(QLatin1Char('\t')))
            continue;
        const QRectF rect = layout->blockBoundingRect(block);
        if (!rect.intersects(clip))
            continue;
        // The block's rectangle starts at its layout's origin across, and at its first line down.
        const QPointF origin(rect.left(), rect.top() - tl->boundingRect().top());
        for (qsizetype i = text.indexOf(QLatin1Char('\t')); i >= 0; i = text.indexOf(QLatin1Char('\t'), i + 1)) {
            const QTextLine line = tl->lineForTextPosition(int(i));
            if (!line.isValid())
                continue;
            const double lineTop = origin.y() + line.y();
            if (lineTop + line.height() <= clip.top() || lineTop >= clip.bottom())
                continue;  // a line of the block that lies on another page
            const double x0 = line.cursorToX(int(i));
            const double x1 = line.cursorToX(int(i) + 1);
            const int kind = LeaderFor(tabs, leaders, line.x(), x1);
            if (kind == LeaderNone || x1 <= x0)
                continue;
            QTextCursor at(const_cast<QTextDocument*>(&document));
            at.setPosition(block.position() + int(i) + 1);
            const QTextCharFormat cf = at.charFormat();
            const QColor colour = cf.foreground().style() == Qt::NoBrush ? QColor(Qt::black) : cf.foreground().color();
            DrawLeader(painter, kind, cf.font(), colour, origin.x() + x0, origin.x() + x1, origin.y() + line.y() + line.ascent());
        }
    }
    painter.restore();
}

}  // namespace rtf

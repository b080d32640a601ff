#include "TabLeaders.h"

#include "RtfFormat.h"
#include "TextLayoutDevice.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <optional>

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

// A row of marks w by h device pixels every pitchPx, at least width pixels long, kept for the
// next leader of the same kind.
const QImage& MarkStrip(int w, int h, double pitchPx, const QColor& colour, int width)
{
    static QImage strip;
    static int stripW = 0, stripH = 0;
    static double stripPitch = 0;
    static QRgb stripColour = 0;
    const int wanted = std::clamp(width, 1, 1 << 14);
    if (strip.isNull() || stripW != w || stripH != h || stripPitch != pitchPx || stripColour != colour.rgba() || strip.width() < wanted) {
        strip = QImage(std::max(wanted, 2048), h, QImage::Format_ARGB32_Premultiplied);
        strip.fill(Qt::transparent);
        QPainter p(&strip);
        for (int k = 0;; ++k) {
            const int x = int(std::lround(k * pitchPx));
            if (x + w > strip.width())
                break;
            p.fillRect(QRect(x, 0, w, h), colour);
        }
        stripW = w;
        stripH = h;
        stripPitch = pitchPx;
        stripColour = colour.rgba();
    }
    return strip;
}

void DrawLeader(QPainter& painter, int kind, const QFontMetricsF& fm, const QColor& colour, double x0, double x1, double baseline)
{
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
        // Marks on a fixed grid, so the leaders of lines above one another line up; drawn in one
        // call, a line of dots costs little more than one rectangle.
        const double pitch = std::max(2.0, fm.horizontalAdvance(QLatin1Char('.')));
        const double markWidth = kind == LeaderDot ? std::max(0.8, fm.height() / 14) : pitch * 0.55;
        const double markHeight = kind == LeaderDot ? markWidth : stroke;
        const double y = kind == LeaderDot ? baseline - markHeight : baseline - fm.xHeight() / 2 - markHeight / 2;
        const double first = std::ceil(x0 / pitch) * pitch;
        const QTransform device = painter.deviceTransform();
        if (painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster && device.type() <= QTransform::TxScale) {
            // On a raster image the row of marks is copied from a strip drawn once for the size,
            // pitch and colour: one copy a leader, where filling each mark costs many times more.
            const int w = std::max(1, int(std::lround(markWidth * device.m11())));
            const int h = std::max(1, int(std::lround(markHeight * device.m22())));
            const double pitchPx = pitch * device.m11();
            const int marks = x1 - markWidth >= first ? int((x1 - markWidth - first) / pitch) + 1 : 0;
            if (marks <= 0)
                break;
            const int width = int(std::lround((marks - 1) * pitchPx)) + w;
            const QImage& strip = MarkStrip(w, h, pitchPx, colour, width);
            const QPoint at(int(std::lround(first * device.m11() + device.dx())), int(std::lround(y * device.m22() + device.dy())));
            painter.save();
            painter.resetTransform();
            painter.drawImage(at, strip, QRect(0, 0, std::min(width, strip.width()), h));
            painter.restore();
        } else {
            QVarLengthArray<QRectF, 256> marks;
            for (double x = first; x + markWidth <= x1; x += pitch)
                marks.append(QRectF(x, y, markWidth, markHeight));
            painter.drawRects(marks.constData(), int(marks.size()));
        }
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

// The first block that can reach the clip: the one at its top edge (found by the layout's own
// search), or the first of the table it lies in, since a row's cells do not run down the page in
// the order of their blocks.
QTextBlock FirstBlockAt(const QTextDocument& document, const QRectF& clip)
{
    QTextBlock block = document.begin();
    if (clip.top() <= 0)
        return block;
    const int at = document.documentLayout()->hitTest(QPointF(0, clip.top()), Qt::FuzzyHit);
    if (at < 0)
        return block;
    QTextCursor cursor(const_cast<QTextDocument*>(&document));
    cursor.setPosition(at);
    if (const QTextTable* table = cursor.currentTable()) {
        while (table->parentFrame() && qobject_cast<const QTextTable*>(table->parentFrame()))
            table = static_cast<const QTextTable*>(table->parentFrame());
        return document.findBlock(table->firstPosition());
    }
    const QTextBlock found = document.findBlock(at);
    return found.previous().isValid() ? found.previous() : found;
}

}  // namespace

void DrawTabLeaders(QPainter& painter, const QTextDocument& document, const QRectF& clip)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    // One font's metrics serve the leaders of all the lines in it.
    QFont metricsFont;
    std::optional<QFontMetricsF> metrics;
    for (QTextBlock block = FirstBlockAt(document, clip); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        if (!bf.hasProperty(kTabLeadersProperty))
            continue;
        const QTextLayout* tl = block.layout();
        if (!tl || tl->lineCount() == 0)
            continue;
        const QRectF rect = layout->blockBoundingRect(block);
        if (rect.top() > clip.bottom()) {
            // Below the clip: so is all that follows, unless the block is a table's.
            if (!QTextCursor(block).currentTable())
                break;
            continue;
        }
        if (!rect.intersects(clip))
            continue;
        const QList<int> leaders = bf.property(kTabLeadersProperty).value<QList<int>>();
        const QList<QTextOption::Tab> tabs = bf.tabPositions();
        const QString text = block.text();
        if (leaders.isEmpty() || tabs.isEmpty() || !text.contains(QLatin1Char('\t')))
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
            const QFont font = cf.font();
            if (!metrics || font != metricsFont) {
                metricsFont = font;
                metrics.emplace(font, LayoutDevice());
            }
            DrawLeader(painter, kind, *metrics, colour, origin.x() + x0, origin.x() + x1, origin.y() + line.y() + line.ascent());
        }
    }
    painter.restore();
}

}  // namespace rtf

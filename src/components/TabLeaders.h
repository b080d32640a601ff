#pragma once

#include <QRectF>

class QPainter;
class QTextDocument;

namespace rtf {

// Draws the leaders of tab stops (dots, hyphens, underline, thick line, equals) across the gap
// each tab leaves, from the end of the text before it to where the text after it begins: Qt lays
// the gap out blank.  The painter's coordinates are the document's layout pixels; only blocks
// touching clip are looked at.
void DrawTabLeaders(QPainter& painter, const QTextDocument& document, const QRectF& clip);

}  // namespace rtf

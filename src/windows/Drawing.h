#pragma once
// The images of toolbar buttons, list icons and category symbols, and the drawing of library
// items in owner-drawn lists, shared by every window.
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <array>

#include <QListWidgetItem>

class QAction;
class QAbstractButton;
class QPainter;
class QPoint;

namespace hv {

class TCategory;
class TStreamable;
class TTextSegment;

// Where a button's faces lie in the button grid: the first 16 x 16 cell and how many cells
// (normal, then disabled) follow to its right.
struct TGlyphCell {
  int Column;
  int Row;
  int Images;
};
inline constexpr int kGlyphCount = 40;
extern const std::array<TGlyphCell, kGlyphCount> GlyphTable;
// The artwork drawn for a glyph index (the button it serves), or nullptr for an unused index.
const char* GlyphArtwork(int glyphIndex);

// The three image grids, rendered once from the vector artwork at the screen's pixel ratio so
// they stay sharp. Sizes are in device-independent pixels:
//  - Buttons: 64 x 256, 16 x 16 cells, 4 columns by 16 rows, laid out by GlyphTable.
//  - Icons: 22 x 192, class icon n (from 1) at rows (n-1)*24 .. n*24-1.
//  - Symbols: 320 x 8, category symbol n (from 1) at columns (n-1)*10 .. +9; the clock at
//    column 296, the picker's collapsed and expanded markers at 304 and 312 (each 8 x 8).
struct TImageGrids {
  QImage Buttons;
  QImage Icons;
  QImage Symbols;
};

inline constexpr int kClockColumn = 296;
inline constexpr int kCollapsedColumn = 304;
inline constexpr int kExpandedColumn = 312;

// Renders the grids for a pixel ratio and installs them for the whole process. Called at
// start-up; drawing before it renders them at ratio 1.
void CreateImageGrids(qreal devicePixelRatio);
const TImageGrids& ImageGrids();

// The faces of a glyph index as an icon: the first cell as the normal image, the second (when
// there are two) as the disabled image.
QIcon GlyphIcon(int glyphIndex);
// Gives a toolbar action or a button the faces of a glyph index.
void SetButtonGlyph(QAction* button, int glyphIndex);
void SetButtonGlyph(QAbstractButton* button, int glyphIndex);

// One cell of a grid, as a pixmap carrying the grid's pixel ratio.
QPixmap ButtonCell(int column, int row);
QPixmap ClassIconImage(int iconNumber);
QPixmap SymbolImage(int symbolNumber);
// An 8 x 8 image of the symbol grid starting at a column (the clock and the outline markers).
QPixmap SymbolCell(int column);

// List colours of the item drawing.
inline constexpr QRgb kSelectedRowColour = qRgb(166, 202, 240);
inline constexpr QRgb kNavy = qRgb(0, 0, 128);
inline constexpr QRgb kRed = qRgb(192, 0, 0);

// Draws a library text as the two lines of a list row: class icon, ID, topics, question type and
// level symbols, name, time and marks. top, left and right come from the row.
void DrawSegmentItem(QPainter& painter, const TTextSegment* segment, int top, int left, int right);
// Draws a category: its symbol (if it has one) and its name.
void DrawCategoryItem(QPainter& painter, const TCategory* category, int top, int left);

// What a screen reader announces for a list row: the ID and title of a library text (with the
// entry's number and marks in a document), a category's name, or a node's ID and title.
QString ItemAccessibleText(const TStreamable* item);

// A row of an owner-drawn list whose accessible text follows the item it holds (under the
// lists' item role), so a renumbered document entry is announced with its new number.
class TItemRow : public QListWidgetItem {
public:
  using QListWidgetItem::QListWidgetItem;
  QVariant data(int role) const override;
};

// Writes text with its top-left corner at a point, as list drawing places its texts.
void TextOut(QPainter& painter, int x, int y, const QString& text);

}  // namespace hv

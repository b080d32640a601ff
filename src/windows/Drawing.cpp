#include "windows/Drawing.h"

#include <QAbstractButton>
#include <QAction>
#include <QFontMetrics>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <optional>

#include "commands/Utility.h"
#include "components/AnsiString.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Segments.h"
#include "windows/DocForm.h"

namespace hv {

const std::array<TGlyphCell, kGlyphCount> GlyphTable = {{
    {0, 0, 1},  {1, 0, 1},  {2, 0, 2},  {0, 1, 2},  {2, 1, 2},  {0, 2, 2},  {2, 2, 2},  {0, 3, 2},
    {2, 3, 2},  {0, 4, 2},  {2, 4, 2},  {0, 5, 2},  {0, 6, 2},  {3, 6, 1},  {0, 7, 2},  {2, 7, 2},
    {0, 8, 2},  {2, 8, 2},  {0, 9, 2},  {0, 10, 1}, {1, 10, 1}, {2, 10, 1}, {2, 9, 2},  {0, 11, 1},
    {1, 11, 1}, {2, 11, 1}, {3, 11, 1}, {0, 12, 1}, {1, 12, 1}, {2, 12, 1}, {3, 12, 1}, {0, 13, 2},
    {1, 13, 1}, {2, 13, 1}, {3, 13, 1}, {0, 14, 1}, {1, 14, 1}, {2, 14, 2}, {0, 15, 2}, {2, 15, 2},
}};

namespace {

// Indices 19, 21 and 36 serve no button of their own: the text list's tabs draw them.
constexpr std::array<const char*, kGlyphCount> kArtwork = {
    "NewB",      "OpenB",   "SaveB",      "PrintB",  "PrintPrevB", "CutB",    "CopyB",      "PasteB",
    "RelQB",     "RelMSB",  "RelSylB",    "RelERB",  "RelNoteB",   "QFB",     "ViewerB",    "CopyToDocB",
    "NextB",     "PrevB",   "BackB",      "ViewMSB", "ViewSylB",   "ViewERB", "CreateMSB",  "WholeB",
    "ZoomB",     "StyleB",  "FontB",      "BoldB",   "ItalicB",    "UnderlineB", "LeftB",   "CenterB",
    "RightB",    "InsertPicB", "SuperB",  "SubB",    "ViewResB",   "RelResB", "RepB",       "btExport",
};

// Class icon n (from 1) of the icon grid; 8 stays empty.
constexpr std::array<const char*, 8> kClassArtwork = {"Question", "MarkScheme", "Syllabus", "ExaminersReport",
                                                     "Text",     "Resource",   "Note",     nullptr};

constexpr int kCell = 16;
constexpr int kSymbolWidth = 10;
constexpr int kSymbolCount = 32;

std::optional<TImageGrids> Grids;

QImage NewGrid(int width, int height, qreal ratio) {
  QImage image(static_cast<int>(std::ceil(width * ratio)), static_cast<int>(std::ceil(height * ratio)),
               QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  image.setDevicePixelRatio(ratio);
  return image;
}

void RenderSvg(QPainter& painter, const QString& resource, const QRectF& target) {
  QSvgRenderer renderer(resource);
  if (renderer.isValid()) renderer.render(&painter, target);
}

// The disabled face: the normal one in grey at reduced strength, as modern toolkits show it.
QImage DisabledFace(const QImage& normal) {
  QImage out = normal.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb p = line[x];
      const int grey = 96 + qGray(p) * 5 / 8;
      line[x] = qRgba(grey, grey, grey, qAlpha(p) * 11 / 20);
    }
  }
  out.setDevicePixelRatio(normal.devicePixelRatio());
  return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QRect DeviceRect(const QImage& grid, int x, int y, int w, int h) {
  const qreal r = grid.devicePixelRatio();
  return QRect(static_cast<int>(std::lround(x * r)), static_cast<int>(std::lround(y * r)),
               static_cast<int>(std::lround(w * r)), static_cast<int>(std::lround(h * r)));
}

QImage GridCell(const QImage& grid, int x, int y, int w, int h) {
  QImage cell = grid.copy(DeviceRect(grid, x, y, w, h));
  cell.setDevicePixelRatio(grid.devicePixelRatio());
  return cell;
}

// Whether a cell holds the normal face of some glyph; the second cell of a two-image glyph can
// (CenterB's lies on RightB's face), and then it is no disabled image.
bool IsNormalCell(int column, int row) {
  for (const TGlyphCell& g : GlyphTable)
    if (g.Column == column && g.Row == row) return true;
  return false;
}

TImageGrids RenderGrids(qreal ratio) {
  TImageGrids grids;
  grids.Buttons = NewGrid(4 * kCell, 16 * kCell, ratio);
  {
    QPainter p(&grids.Buttons);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < kGlyphCount; ++i) {
      const TGlyphCell& g = GlyphTable[i];
      RenderSvg(p, QStringLiteral(":/icons/buttons/%1.svg").arg(QLatin1String(kArtwork[i])),
                QRectF(g.Column * kCell, g.Row * kCell, kCell, kCell));
    }
  }
  for (const TGlyphCell& g : GlyphTable) {
    if (g.Images < 2 || IsNormalCell(g.Column + 1, g.Row)) continue;
    const QImage face = DisabledFace(GridCell(grids.Buttons, g.Column * kCell, g.Row * kCell, kCell, kCell));
    QPainter p(&grids.Buttons);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPointF((g.Column + 1) * kCell, g.Row * kCell), face);
  }

  grids.Icons = NewGrid(22, 8 * 24, ratio);
  {
    QPainter p(&grids.Icons);
    p.setRenderHint(QPainter::Antialiasing);
    for (std::size_t n = 0; n < kClassArtwork.size(); ++n)
      if (kClassArtwork[n] != nullptr)
        RenderSvg(p, QStringLiteral(":/icons/classes/%1.svg").arg(QLatin1String(kClassArtwork[n])),
                  QRectF(0, static_cast<qreal>(n) * 24, 22, 24));
  }

  grids.Symbols = NewGrid(kSymbolCount * kSymbolWidth, 8, ratio);
  {
    QPainter p(&grids.Symbols);
    p.setRenderHint(QPainter::Antialiasing);
    // Symbols 30 to 32 lie under the clock and the markers, so only 29 category symbols fit.
    for (int n = 1; n < kClockColumn / kSymbolWidth + 1; ++n) {
      const QString name = n <= 16 ? QStringLiteral("qtype%1").arg(n, 2, 10, QLatin1Char('0'))
                                   : QStringLiteral("level%1").arg(n - 16, 2, 10, QLatin1Char('0'));
      RenderSvg(p, QStringLiteral(":/icons/symbols/%1.svg").arg(name), QRectF((n - 1) * kSymbolWidth, 0, 10, 8));
    }
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(QRectF(kClockColumn, 0, 320 - kClockColumn, 8), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    RenderSvg(p, QStringLiteral(":/icons/symbols/clock.svg"), QRectF(kClockColumn, 0, 8, 8));
    RenderSvg(p, QStringLiteral(":/icons/symbols/collapsed.svg"), QRectF(kCollapsedColumn, 0, 8, 8));
    RenderSvg(p, QStringLiteral(":/icons/symbols/expanded.svg"), QRectF(kExpandedColumn, 0, 8, 8));
  }
  return grids;
}

}  // namespace

const char* GlyphArtwork(int glyphIndex) {
  return glyphIndex >= 0 && glyphIndex < kGlyphCount ? kArtwork[static_cast<std::size_t>(glyphIndex)] : nullptr;
}

void CreateImageGrids(qreal devicePixelRatio) { Grids = RenderGrids(devicePixelRatio > 0 ? devicePixelRatio : 1.0); }

const TImageGrids& ImageGrids() {
  if (!Grids) CreateImageGrids(1.0);
  return *Grids;
}

QPixmap ButtonCell(int column, int row) {
  return QPixmap::fromImage(GridCell(ImageGrids().Buttons, column * kCell, row * kCell, kCell, kCell));
}

QPixmap ClassIconImage(int iconNumber) {
  if (iconNumber < 1 || iconNumber > 8) return {};
  return QPixmap::fromImage(GridCell(ImageGrids().Icons, 0, (iconNumber - 1) * 24, 22, 24));
}

QPixmap SymbolImage(int symbolNumber) {
  if (symbolNumber < 1 || symbolNumber > kSymbolCount) return {};
  return QPixmap::fromImage(GridCell(ImageGrids().Symbols, (symbolNumber - 1) * kSymbolWidth, 0, kSymbolWidth, 8));
}

QPixmap SymbolCell(int column) { return QPixmap::fromImage(GridCell(ImageGrids().Symbols, column, 0, 8, 8)); }

QIcon GlyphIcon(int glyphIndex) {
  if (glyphIndex < 0 || glyphIndex >= kGlyphCount) return {};
  const TGlyphCell& g = GlyphTable[static_cast<std::size_t>(glyphIndex)];
  QIcon icon;
  const QPixmap normal = ButtonCell(g.Column, g.Row);
  icon.addPixmap(normal, QIcon::Normal);
  if (g.Images == 2) {
    if (IsNormalCell(g.Column + 1, g.Row))
      icon.addPixmap(QPixmap::fromImage(DisabledFace(normal.toImage())), QIcon::Disabled);
    else
      icon.addPixmap(ButtonCell(g.Column + 1, g.Row), QIcon::Disabled);
  }
  return icon;
}

void SetButtonGlyph(QAction* button, int glyphIndex) {
  if (button != nullptr) button->setIcon(GlyphIcon(glyphIndex));
}

void SetButtonGlyph(QAbstractButton* button, int glyphIndex) {
  if (button == nullptr) return;
  button->setIcon(GlyphIcon(glyphIndex));
  button->setIconSize(QSize(kCell, kCell));
}

void TextOut(QPainter& painter, int x, int y, const QString& text) {
  const QFontMetrics metrics = painter.fontMetrics();
  painter.drawText(QRect(x, y, metrics.horizontalAdvance(text) + 2, metrics.height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

namespace {

void ElidedTextOut(QPainter& painter, int x, int y, int maxRight, const QString& text) {
  const int width = maxRight - x;
  if (width <= 0) return;
  TextOut(painter, x, y, painter.fontMetrics().elidedText(text, Qt::ElideRight, width));
}

}  // namespace

void DrawSegmentItem(QPainter& painter, const TTextSegment* segment, int top, int left, int right) {
  if (segment == nullptr) return;
  painter.save();
  painter.drawLine(left + 7, top, left + 110, top);
  if (const QPixmap icon = ClassIconImage(ClassIcon(segment)); !icon.isNull()) painter.drawPixmap(left, top + 1, icon);

  // Time and marks sit at the right; the texts before them stop short of that area.
  QString timeText;
  QString marksText;
  int textRight = right - 4;
  if (segment->Time > 0) {
    timeText = QString::number(segment->Time);
    textRight = right - 60;
  }
  if (segment->Marks > 0) {
    marksText = QStringLiteral(" [") + QString::number(segment->Marks) + QStringLiteral("] ");
    textRight = std::min(textRight, right - painter.fontMetrics().horizontalAdvance(marksText) - 2);
  }

  if (const auto* question = dynamic_cast<const TQuestion*>(segment)) {
    QStringList topics;
    for (const TCategory* topic : question->Topics)
      if (topic != nullptr) topics << AnsiToQt(topic->Name);
    painter.setPen(QColor(kNavy));
    ElidedTextOut(painter, left + 94, top + 2, textRight, topics.join(QStringLiteral(", ")));
    if (const QPixmap symbol = SymbolImage(CategorySymbol(question->QuestionType)); !symbol.isNull())
      painter.drawPixmap(left + 82, top + 5, symbol);
    if (const QPixmap symbol = SymbolImage(CategorySymbol(question->Level)); !symbol.isNull())
      painter.drawPixmap(left + 24, top + 18, symbol);
  }

  painter.setPen(QColor(kRed));
  ElidedTextOut(painter, left + 36, top + 15, right - 4, AnsiToQt(segment->GetName()));

  painter.setPen(Qt::black);
  const std::string id = segment->GetID();
  TextOut(painter, left + 24, top + 2, AnsiToQt(id.size() > 1 ? std::string_view(id).substr(1) : std::string_view()));

  if (segment->Time > 0) {
    painter.drawPixmap(right - 57, top + 5, SymbolCell(kClockColumn));
    TextOut(painter, right - 47, top + 2, timeText);
  }
  if (segment->Marks > 0) {
    const int width = painter.fontMetrics().horizontalAdvance(marksText);
    TextOut(painter, right - width, top + 2, marksText);
  }
  painter.restore();
}

void DrawCategoryItem(QPainter& painter, const TCategory* category, int top, int left) {
  if (category == nullptr) return;
  const QString name = AnsiToQt(category->Name);
  if (const QPixmap symbol = SymbolImage(CategorySymbol(category)); !symbol.isNull()) {
    painter.drawPixmap(left, top + 3, symbol);
    TextOut(painter, left + 12, top, name);
  } else {
    TextOut(painter, left, top, name);
  }
}

QString ItemAccessibleText(const TStreamable* item) {
  QString text;
  const TTextSegment* segment = nullptr;
  if (const auto* entry = dynamic_cast<const TDocContent*>(item)) {
    if (entry->Numbered) text = QString::number(entry->Number) + QStringLiteral(". ");
    segment = entry->Segment;
  } else if (const auto* node = dynamic_cast<const TIdentityCategory*>(item)) {
    return AnsiToQt(FullID(node)) + QLatin1Char(' ') + AnsiToQt(node->Title);
  } else if (const auto* category = dynamic_cast<const TCategory*>(item)) {
    return AnsiToQt(category->Name);
  } else {
    segment = dynamic_cast<const TTextSegment*>(item);
  }
  if (segment == nullptr) return text;
  const std::string id = segment->GetID();
  text += AnsiToQt(id.size() > 1 ? std::string_view(id).substr(1) : std::string_view(id));
  if (const std::string name = segment->GetName(); !name.empty()) text += QLatin1Char(' ') + AnsiToQt(name);
  if (segment->Marks > 0) text += QStringLiteral(", %1 marks").arg(segment->Marks);
  return text;
}

QVariant TItemRow::data(int role) const {
  if (role == Qt::AccessibleTextRole)
    return ItemAccessibleText(reinterpret_cast<const TStreamable*>(QListWidgetItem::data(kItemRole).value<quintptr>()));
  return QListWidgetItem::data(role);
}

}  // namespace hv

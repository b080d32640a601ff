// The sizeable panel's limits and edges, and the shared images and item drawing.
#include <QAction>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "WindowRig.h"
#include "windows/Drawing.h"
#include "windows/SizeablePanel.h"

using namespace hv;
using namespace hv::test;

namespace {

// Whether any pixel of a rectangle differs from white.
bool Inked(const QImage& image, QRect rect) {
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (image.pixel(x, y) != qRgb(255, 255, 255)) return true;
  return false;
}

bool HasColour(const QImage& image, QRect rect, QRgb colour) {
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (image.pixel(x, y) == colour) return true;
  return false;
}

QImage Row(const TTextSegment* segment, int width = 400) {
  QImage image(width, 33, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  DrawSegmentItem(painter, segment, 2, 2, width - 1);
  return image;
}

}  // namespace

class PanelDrawingTest : public QObject {
  Q_OBJECT

private slots:
  void settersKeepMinimumBelowMaximum() {
    TSizeablePanel panel;
    panel.resize(200, 100);
    panel.SetMaxWidth(300);
    panel.SetMinWidth(350);  // above the maximum: the maximum follows and the panel widens
    QCOMPARE(panel.MaxWidth(), 350);
    QCOMPARE(panel.MinWidth(), 350);
    QCOMPARE(panel.width(), 350);
    panel.SetMaxWidth(250);  // below the minimum: the minimum follows and the panel narrows
    QCOMPARE(panel.MinWidth(), 250);
    QCOMPARE(panel.width(), 250);
    panel.SetMaxWidth(0);  // no maximum: nothing else changes
    QCOMPARE(panel.MinWidth(), 250);
    QCOMPARE(panel.width(), 250);
    panel.SetMinHeight(150);
    QCOMPARE(panel.height(), 150);
    QCOMPARE(panel.MaxHeight(), 0);
    panel.SetMaxHeight(120);
    QCOMPARE(panel.MinHeight(), 120);
    QCOMPARE(panel.height(), 120);
  }

  void edgesAnswerInOrderAndOnlyWhereAllowed() {
    TSizeablePanel panel;
    panel.resize(100, 80);
    // The Question Finder's settings: only the side edges.
    panel.SetResizeHoriz(true);
    QCOMPARE(panel.HitTest({99, 40}), TPanelHit::Right);
    QCOMPARE(panel.HitTest({0, 40}), TPanelHit::Left);
    QCOMPARE(panel.HitTest({50, 79}), TPanelHit::Client);
    QCOMPARE(panel.HitTest({50, 0}), TPanelHit::Client);
    QCOMPARE(panel.HitTest({96, 40}), TPanelHit::Client);
    // Both: the corner strip answers the side edge, which is tested last.
    panel.SetResizeVert(true);
    QCOMPARE(panel.HitTest({50, 79}), TPanelHit::Bottom);
    QCOMPARE(panel.HitTest({99, 79}), TPanelHit::Right);
    QCOMPARE(panel.HitTest({0, 0}), TPanelHit::Left);
    // Aligned to the right of its parent, only the free (left) edge drags; client never does.
    panel.SetAlign(TPanelAlign::Right);
    QCOMPARE(panel.HitTest({99, 40}), TPanelHit::Client);
    QCOMPARE(panel.HitTest({0, 40}), TPanelHit::Left);
    QCOMPARE(panel.HitTest({50, 79}), TPanelHit::Client);
    panel.SetAlign(TPanelAlign::Client);
    QCOMPARE(panel.HitTest({0, 0}), TPanelHit::Client);
    QCOMPARE(panel.HitTest({99, 79}), TPanelHit::Client);
  }

  void trackSizeKeepsWithinTheLimits() {
    TSizeablePanel panel;
    panel.SetMinWidth(313);
    panel.SetMinHeight(150);
    QCOMPARE(panel.TrackSize({100, 100}), QSize(313, 150));
    QCOMPARE(panel.TrackSize({5000, 4000}), QSize(5000, 4000));  // no maximum
    panel.SetMaxWidth(600);
    QCOMPARE(panel.TrackSize({5000, 4000}), QSize(600, 4000));
  }

  void draggingTheRightEdgeResizesWithinTheLimits() {
    QWidget parent;
    parent.resize(800, 400);
    auto* panel = new TSizeablePanel(&parent);
    panel->setGeometry(0, 0, 400, 300);
    panel->SetResizeHoriz(true);
    panel->SetMinWidth(313);
    panel->SetMaxWidth(500);
    parent.show();
    int resized = 0;
    connect(panel, &TSizeablePanel::Resized, [&resized] { ++resized; });
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(399, 150));
    QTest::mouseMove(panel, QPoint(600, 150));
    QCOMPARE(panel->width(), 500);
    QTest::mouseMove(panel, QPoint(100, 150));
    QCOMPARE(panel->width(), 313);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(100, 150));
    QVERIFY(resized >= 2);
  }

  void gridsHaveTheirSizesAndCellsAtTheGlyphTablePlaces() {
    CreateImageGrids(2.0);
    const TImageGrids& grids = ImageGrids();
    QCOMPARE(grids.Buttons.size() / 2, QSize(64, 256));
    QCOMPARE(grids.Icons.size() / 2, QSize(22, 192));
    QCOMPARE(grids.Symbols.size() / 2, QSize(320, 8));
    QCOMPARE(grids.Buttons.devicePixelRatio(), 2.0);
    // Every glyph of a button has a face; disabled faces are grey.
    for (int i = 0; i < kGlyphCount; ++i) {
      const TGlyphCell& g = GlyphTable[i];
      const QImage cell = ButtonCell(g.Column, g.Row).toImage();
      bool drawn = false;
      for (int y = 0; y < cell.height() && !drawn; ++y)
        for (int x = 0; x < cell.width() && !drawn; ++x) drawn = qAlpha(cell.pixel(x, y)) > 0;
      QVERIFY2(drawn, GlyphArtwork(i));
    }
    const QImage disabledSave = ButtonCell(3, 0).toImage();
    for (int y = 0; y < disabledSave.height(); ++y)
      for (int x = 0; x < disabledSave.width(); ++x) {
        const QColor c = QColor::fromRgba(disabledSave.pixel(x, y));
        if (c.alpha() > 0) QVERIFY(qAbs(c.red() - c.green()) <= 2 && qAbs(c.green() - c.blue()) <= 2);
      }
    // The clock sits at its own column, apart from the category symbols.
    QVERIFY(!SymbolCell(kClockColumn).toImage().isNull());
    CreateImageGrids(1.0);
  }

  void buttonGlyphsGiveNormalAndDisabledImages() {
    CreateImageGrids(1.0);
    QAction save;
    SetButtonGlyph(&save, 2);
    const QImage normal = save.icon().pixmap(QSize(16, 16), 1.0, QIcon::Normal).toImage();
    const QImage disabled = save.icon().pixmap(QSize(16, 16), 1.0, QIcon::Disabled).toImage();
    QCOMPARE(normal.convertToFormat(QImage::Format_ARGB32), ButtonCell(2, 0).toImage().convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(disabled.convertToFormat(QImage::Format_ARGB32), ButtonCell(3, 0).toImage().convertToFormat(QImage::Format_ARGB32));
    // CenterB's second cell is RightB's face; its disabled image must still be its own face.
    QAction center;
    SetButtonGlyph(&center, 31);
    const QImage centerDisabled = center.icon().pixmap(QSize(16, 16), 1.0, QIcon::Disabled).toImage();
    QVERIFY(centerDisabled.convertToFormat(QImage::Format_ARGB32) !=
            ButtonCell(1, 13).toImage().convertToFormat(QImage::Format_ARGB32));
  }

  void segmentItemDrawsOnlyWhatTheSegmentHas() {
    CreateImageGrids(1.0);
    auto lib = TenQuestionLibrary();
    AssignSymbols(*lib);
    auto* paper = static_cast<TIdentityCategory*>(lib->QuestionTree->Children[0]);
    TQuestion* full = static_cast<TIdentityCategory*>(paper->Children[0])->Question;
    full->Time = 12;
    const QImage a = Row(full);
    QVERIFY(Inked(a, QRect(2, 3, 22, 24)));                   // class icon
    QVERIFY(HasColour(a, QRect(96, 2, 150, 13), kNavy) ||     // topics in navy
            Inked(a, QRect(96, 2, 150, 13)));
    QVERIFY(Inked(a, QRect(84, 7, 10, 8)));                   // question type symbol
    QVERIFY(Inked(a, QRect(26, 20, 10, 8)));                  // level symbol
    QVERIFY(Inked(a, QRect(399 - 57, 7, 8, 8)));              // clock
    QVERIFY(Inked(a, QRect(399 - 25, 4, 25, 12)));            // marks at the right edge

    // Without level, type, time and marks: icon, ID, name and topics only.
    full->Time = 0;
    full->Marks = 0;
    full->Level = nullptr;
    full->QuestionType = nullptr;
    const QImage b = Row(full);
    QVERIFY(!Inked(b, QRect(84, 7, 10, 8)));
    QVERIFY(!Inked(b, QRect(26, 20, 10, 8)));
    QVERIFY(!Inked(b, QRect(399 - 57, 7, 8, 8)));
    QVERIFY(!Inked(b, QRect(399 - 25, 4, 25, 12)));
    QVERIFY(Inked(b, QRect(38, 17, 60, 12)));                 // the name on the second line
    QVERIFY(HasColour(b, QRect(38, 17, 100, 12), kRed) || Inked(b, QRect(38, 17, 100, 12)));
    CurrentLibrary = nullptr;
  }

  void categoryItemPutsTheNameAfterItsSymbol() {
    CreateImageGrids(1.0);
    auto lib = TenQuestionLibrary();
    AssignSymbols(*lib);
    QImage withSymbol(200, 13, QImage::Format_RGB32);
    withSymbol.fill(Qt::white);
    {
      QPainter p(&withSymbol);
      DrawCategoryItem(p, lib->QuestionTypes->Children[0], 0, 0);
    }
    QVERIFY(Inked(withSymbol, QRect(0, 3, 10, 8)));
    QImage plain(200, 13, QImage::Format_RGB32);
    plain.fill(Qt::white);
    {
      QPainter p(&plain);
      DrawCategoryItem(p, lib->Topics->Children[0], 0, 0);
    }
    QVERIFY(Inked(plain, QRect(0, 0, 10, 13)));
    QVERIFY(!Inked(plain, QRect(150, 0, 50, 13)));
  }
};

QTEST_MAIN(PanelDrawingTest)
#include "PanelDrawingTest.moc"

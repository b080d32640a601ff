// Takes the screenshots of the finding and reading windows for docs/screenshots, over the sample
// library. Run under a real X server (xvfb-run) so that modal dialogs over the main window show:
//   xvfb-run -a -s "-screen 0 1280x900x24" finding_screens OUTDIR
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <iostream>

#include "FindingRig.h"
#include "commands/SearchCommands.h"
#include "commands/ViewCommands.h"
#include "components/TextControl.h"

using namespace hv;
using namespace hv::test;

namespace {

QString OutDir;
int Failures = 0;

void Save(const QPixmap& picture, const char* name) {
  const QString file = QDir(OutDir).filePath(QLatin1String(name));
  if (picture.isNull() || !picture.save(file)) {
    std::cerr << "could not write " << file.toStdString() << std::endl;
    ++Failures;
  }
}

// The screen area a widget covers, frame included, as the window system shows it.
QPixmap GrabScreen(const QRect& area) {
  QApplication::processEvents();
  QTest::qWait(150);
  return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

QRect OnScreen(QWidget* widget) {
  if (widget->isWindow()) return widget->frameGeometry();
  return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

int RowOf(TPickForm* picker, const TCategory* category) {
  for (int i = 0; i < picker->CategoriesLB()->count(); ++i)
    if (picker->CategoryAt(i) == category) return i;
  return -1;
}

void DoubleClick(QListWidget* list, int row) {
  list->setCurrentRow(row);
  emit list->itemDoubleClicked(list->item(row));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  OutDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(OutDir);
  {
    TFindingRig rig(false);
    rig.Ask.Picker = rig.Picker;
    rig.Ask.Related = rig.Related;
    rig.Main->showMaximized();
    QTest::qWait(300);
    TLibrary& library = rig.Library();

    // The Finder narrowed to a topic and a level, with the picker open for the paper.
    rig.Selector().SetTopicCriterion(TFindingRig::Find(library.Topics, QStringLiteral("Electricity")), true);
    rig.Selector().SetLevelCriterion(TFindingRig::Find(library.Levels, QStringLiteral("Higher")), false);
    WhenModal([&](QWidget* modal) {
      auto* picker = static_cast<TPickForm*>(modal);
      picker->move(rig.QF->mapToGlobal(QPoint(rig.QF->width() + 12, 40)));
      picker->CategoriesLB()->setCurrentRow(1);
      picker->CategoriesLBClick();
      const QRect area = OnScreen(rig.QF).united(OnScreen(picker)).adjusted(-8, -8, 8, 8);
      Save(GrabScreen(area), "finder.png");
      picker->reject();
    });
    RunCommand<TSearchByPaperCmd>();

    // The picker on the topic tree: the outline with one topic open, then the alphabetical list.
    rig.Selector().SetPaperCriterion(TFindingRig::Find(library.Papers, QStringLiteral("Paper 2")), true);
    TCategory* waves = TFindingRig::Find(library.Topics, QStringLiteral("Waves"));
    WhenModal([&](QWidget* modal) {
      auto* picker = static_cast<TPickForm*>(modal);
      picker->OutlineB()->click();
      DoubleClick(picker->CategoriesLB(), RowOf(picker, TFindingRig::Find(library.Topics, QStringLiteral("Mechanics"))));
      DoubleClick(picker->CategoriesLB(), RowOf(picker, waves));
      picker->CategoriesLB()->setCurrentRow(RowOf(picker, TFindingRig::Find(library.Topics, QStringLiteral("Waves/Light"))));
      picker->CategoriesLBClick();
      Save(GrabScreen(OnScreen(picker)), "picker-outline.png");
      picker->AlphaB()->click();
      picker->CategoriesLB()->setCurrentRow(RowOf(picker, TFindingRig::Find(library.Topics, QStringLiteral("Mechanics/Forces"))));
      picker->CategoriesLBClick();
      Save(GrabScreen(OnScreen(picker)), "picker-alpha.png");
      picker->OutlineB()->click();
      picker->reject();
    });
    RunCommand<TSearchByTopicCmd>();

    // The Viewer on the circuits worksheet: a table, a picture and a link.
    TTextSegment* worksheet = library.FindSegment("RWS01");
    rig.App.SelectItem(worksheet, nullptr, true);
    rig.Viewer->showNormal();
    // Tall enough for the whole worksheet: the table, the circuit picture and the link below it.
    // Taller than the screen, so the grab is of the window itself rather than of the screen.
    rig.Viewer->setGeometry(0, 0, 700, 700);
    QTest::qWait(100);
    const int textHeight = static_cast<int>(rig.Viewer->ViewerTX()->document()->size().height());
    rig.Viewer->resize(700, std::min(1500, textHeight + 33 + 60));
    QTest::qWait(200);
    rig.Viewer->ViewerTX()->SetScrollPosY(0);
    Save(rig.Viewer->grab(), "viewer.png");

    // The related dialog: the questions that use a practical guide.
    rig.App.SelectItem(library.FindSegment("RRP02"), nullptr, true);
    WhenModal([&](QWidget* modal) {
      auto* dialog = static_cast<TRelatedForm*>(modal);
      dialog->RelatedLB()->setCurrentRow(1);
      dialog->OkB()->setEnabled(true);
      Save(GrabScreen(OnScreen(dialog)), "related.png");
      dialog->reject();
    });
    QTest::mouseClick(rig.Viewer->findChild<QToolButton*>(QStringLiteral("RelQB")), Qt::LeftButton);

    // Each tab of the text list.
    const struct {
      void (*Show)();
      const char* File;
    } tabs[] = {{[] { RunCommand<TViewMarkSchemeCmd>(); }, "textlist-markschemes.png"},
                {[] { RunCommand<TViewExaminersReportCmd>(); }, "textlist-reports.png"},
                {[] { RunCommand<TViewSyllabusCmd>(); }, "textlist-links.png"},
                {[] { RunCommand<TViewResourceCmd>(); }, "textlist-resources.png"}};
    rig.TSList->move(400, 150);
    for (const auto& tab : tabs) {
      tab.Show();
      rig.TSList->ListLB()->setCurrentRow(2);
      rig.TSList->ListLB()->item(2)->setSelected(true);
      Save(GrabScreen(OnScreen(rig.TSList)), tab.File);
    }
  }
  return Failures == 0 ? 0 : 1;
}

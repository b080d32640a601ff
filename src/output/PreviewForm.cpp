#include "output/PreviewForm.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "TextControl.h"
#include "commands/CommandFramework.h"
#include "output/OutputForms.h"
#include "output/PrintForm.h"

namespace hv {

namespace {

// The preview sheet: 8.25 by 11.7 inches.
constexpr double kSheetWidthInches = 8.25;
constexpr double kSheetHeightInches = 11.7;

QToolButton* AddButton(QWidget* parent, QHBoxLayout* bar, const char* name, const char* hint, const char* text) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QLatin1String(name));
  button->setToolTip(QString::fromUtf8(hint));
  button->setText(QString::fromUtf8(text));
  const QIcon face = ButtonFace(name);
  if (!face.isNull()) {
    button->setIcon(face);
    button->setIconSize(QSize(16, 16));
  }
  button->setToolButtonStyle(face.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
  button->setAutoRaise(true);
  bar->addWidget(button);
  return button;
}

}  // namespace

QRect PreviewImageRect(QSize box, QSize image, bool wholePage) {
  const int W = box.width(), H = box.height(), w = image.width(), h = image.height();
  if (!wholePage) return QRect(std::max((W - w) / 2, 8), 8, w, h);
  // A box too small to hold the margins still gets an image of at least one pixel.
  const double a = double(h) / std::max(H - 16, 1);
  const double b = double(w) / std::max(W - 16, 1);
  if (a > b) {
    const int ih = std::max(H - 16, 1);
    const int iw = int(std::lround(w / a));
    return QRect(8 + (W - iw - 16) / 2, 8, iw, ih);
  }
  const int iw = std::max(W - 16, 1);
  const int ih = int(std::lround(h / b));
  return QRect(8, 8 + (H - ih - 16) / 2, iw, ih);
}

TPreviewForm::TPreviewForm(TPrintForm& print, QWidget* parent) : QDialog(parent), PrintForm(print) {
  setObjectName(QStringLiteral("PreviewForm"));
  setWindowTitle(QStringLiteral("Print Preview"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setMinimumSize(425, 300);
  resize(640, 800);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* toolbar = new QWidget(this);
  toolbar->setObjectName(QStringLiteral("ToolbarP"));
  auto* bar = new QHBoxLayout(toolbar);
  bar->setContentsMargins(4, 2, 4, 2);
  PrintB = AddButton(toolbar, bar, "PrintB", "Print", "Print");
  bar->addSpacing(8);
  WholeB = AddButton(toolbar, bar, "WholeB", "View whole page", "Whole");
  ZoomB = AddButton(toolbar, bar, "ZoomB", "View full size", "Zoom");
  bar->addSpacing(8);
  PrevB = AddButton(toolbar, bar, "PrevB", "Previous page", "Prev");
  NextB = AddButton(toolbar, bar, "NextB", "Next page", "Next");
  bar->addSpacing(8);
  CloseB = new QPushButton(QStringLiteral("&Close"), toolbar);
  CloseB->setObjectName(QStringLiteral("CloseB"));
  CloseB->setToolTip(QStringLiteral("Close the Print Preview"));
  CloseB->setAutoDefault(false);
  bar->addWidget(CloseB);
  bar->addStretch(1);
  StatusP = new QLabel(toolbar);
  StatusP->setObjectName(QStringLiteral("StatusP"));
  StatusP->setFrameShape(QFrame::StyledPanel);
  StatusP->setFrameShadow(QFrame::Sunken);
  StatusP->setMinimumWidth(110);
  StatusP->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bar->addWidget(StatusP);
  layout->addWidget(toolbar);

  WholeB->setCheckable(true);
  ZoomB->setCheckable(true);
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  group->addButton(WholeB);
  group->addButton(ZoomB);
  WholeB->setChecked(true);

  PreviewSB = new QScrollArea(this);
  PreviewSB->setObjectName(QStringLiteral("PreviewSB"));
  PreviewSB->setWidgetResizable(false);
  PreviewSB->setBackgroundRole(QPalette::Dark);
  PageArea = new QWidget;
  PageArea->setObjectName(QStringLiteral("PageArea"));
  IPreview = new QLabel(PageArea);
  IPreview->setObjectName(QStringLiteral("IPreview"));
  IPreview->setScaledContents(true);
  IPreview->setFrameShape(QFrame::Box);
  IPreview->setLineWidth(1);
  PreviewSB->setWidget(PageArea);
  PreviewSB->installEventFilter(this);
  layout->addWidget(PreviewSB, 1);

  connect(PrintB, &QToolButton::clicked, this, [this] {
    try {
      PrintForm.PrintComposed();
    } catch (const std::exception& error) {
      ReportCommandError(error);
    }
  });
  connect(WholeB, &QToolButton::toggled, this, [this](bool on) {
    if (on) LayoutPage();
  });
  connect(ZoomB, &QToolButton::toggled, this, [this](bool on) {
    if (on) LayoutPage();
  });
  connect(PrevB, &QToolButton::clicked, this, [this] { GoTo(Page - 1); });
  connect(NextB, &QToolButton::clicked, this, [this] { GoTo(Page + 1); });
  connect(CloseB, &QPushButton::clicked, this, &QDialog::close);

  // The sheet at the screen's resolution, across and down taken separately.
  const QScreen* screen = this->screen();
  const double dpiX = screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
  const double dpiY = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
  Image = QImage(int(std::lround(kSheetWidthInches * dpiX)), int(std::lround(kSheetHeightInches * dpiY)),
                 QImage::Format_RGB32);
  Image.setDotsPerMeterX(int(std::lround(dpiX / 0.0254)));
  Image.setDotsPerMeterY(int(std::lround(dpiY / 0.0254)));
  Image.fill(Qt::white);
}

void TPreviewForm::Start() {
  Page = 1;
  Pages = std::max(1, PrintForm.PrintATX->CurrentPages());
  LayoutPage();
  DrawPage();
}

int TPreviewForm::ShowModal() {
  Start();
  // Start measured the page against the scroll area as it was before the dialog's layout first
  // ran; once shown, the page is placed again in the area's real size.
  QTimer::singleShot(0, this, [this] { LayoutPage(); });
  return exec();
}

void TPreviewForm::GoTo(int page) {
  Page = std::clamp(page, 1, Pages);
  LayoutPage();
  DrawPage();
}

void TPreviewForm::LayoutPage() {
  const QRect place = PreviewImageRect(PreviewSB->size(), Image.size(), WholeB->isChecked());
  const QSize viewport = PreviewSB->viewport()->size();
  if (WholeB->isChecked())
    PageArea->resize(viewport);
  else
    PageArea->resize(std::max(viewport.width(), place.right() + 1 + 8), std::max(viewport.height(), place.bottom() + 1 + 8));
  IPreview->setGeometry(place);
}

void TPreviewForm::DrawPage() {
  Image.fill(Qt::white);
  TTXTextControl& control = *PrintForm.PrintATX;
  control.SetPrintDevice(&Image);
  control.PrintPage(Page);
  control.SetPrintDevice(nullptr);
  IPreview->setPixmap(QPixmap::fromImage(Image));
  StatusP->setText(QStringLiteral("Page %1 of %2  ").arg(Page).arg(Pages));
  NextB->setEnabled(Page < Pages);
  PrevB->setEnabled(Page > 1);
}

bool TPreviewForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PreviewSB && event->type() == QEvent::Resize) LayoutPage();
  return QDialog::eventFilter(watched, event);
}

}  // namespace hv

#pragma once
// The print preview window.
#include <QDialog>
#include <QImage>
#include <QRect>
#include <QSize>

class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class QWidget;

namespace hv {

class TPrintForm;

// Where the page image goes inside a scroll box of size box: the whole page stretched to fit
// with an 8-pixel margin, or the image at its own size, centred across and 8 pixels from the top.
QRect PreviewImageRect(QSize box, QSize image, bool wholePage);

// Shows the pages of the text the print form composed last, one at a time, drawn at the screen's
// resolution, whole or at full size.
class TPreviewForm : public QDialog {
  Q_OBJECT
public:
  explicit TPreviewForm(TPrintForm& print, QWidget* parent = nullptr);

  // Goes to page 1 of the composed text, lays out and draws; then ShowModal shows the window.
  void Start();
  int ShowModal();

  int CurrentPage() const { return Page; }
  int PageCount() const { return Pages; }
  const QImage& PageImage() const { return Image; }

  QScrollArea* PreviewSB;
  QWidget* PageArea;  // the scroll box's content, holding the image
  QLabel* IPreview;
  QLabel* StatusP;
  QToolButton *PrintB, *WholeB, *ZoomB, *PrevB, *NextB;
  QPushButton* CloseB;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void LayoutPage();
  void DrawPage();
  void GoTo(int page);

  TPrintForm& PrintForm;
  QImage Image;
  int Page = 1;
  int Pages = 1;
};

}  // namespace hv

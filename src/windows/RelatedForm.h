#pragma once
// The related information dialog: one of several related texts.
#include <QDialog>

#include <vector>

class QListWidget;
class QPushButton;

namespace hv {

class TQtAsk;
class TTextSegment;

// Lists the texts a related jump could lead to and lets the user choose one; OK is enabled only
// once a row was clicked, and every opening starts afresh.
class TRelatedForm : public QDialog {
  Q_OBJECT
public:
  // Installs itself as the "choose one" dialog of ask when ask is the Qt implementation (null:
  // the one installed, if any).
  explicit TRelatedForm(QWidget* parent = nullptr, TQtAsk* ask = nullptr);
  ~TRelatedForm() override;

  // Shows the segments modally; answers the dialog's result (1 OK, 2 Cancel) and, on OK, the
  // segment of the focused row.
  int ShowRelated(const std::vector<TTextSegment*>& list, TTextSegment*& segment);
  // The index of the chosen segment, or -1 when cancelled.
  int ChooseOne(const std::vector<TTextSegment*>& list);

  QListWidget* RelatedLB() const { return List; }
  QPushButton* OkB() const { return Ok; }
  QPushButton* CancelB() const { return Cancel; }

private:
  TQtAsk* InstalledIn = nullptr;
  int ChosenRow = -1;
  QListWidget* List;
  QPushButton* Ok;
  QPushButton* Cancel;
};

}  // namespace hv

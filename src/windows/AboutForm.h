#pragma once
// The About box.
#include <QDialog>

class QLabel;
class QPushButton;

namespace hv {

// Shows the picture, the version and the subject of the open library.
class TAboutExForm : public QDialog {
  Q_OBJECT
public:
  TAboutExForm(const QString& subject, QWidget* parent = nullptr);

  QLabel* SubjectL() const { return Subject; }

private:
  QLabel* Subject;
};

}  // namespace hv

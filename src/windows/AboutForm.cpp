#include "windows/AboutForm.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace hv {

TAboutExForm::TAboutExForm(const QString& subject, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      Subject(new QLabel(subject)) {
  setObjectName(QStringLiteral("AboutExForm"));
  setWindowTitle(QStringLiteral("About Harrowvane"));
  setModal(true);

  auto* image = new QLabel;
  image->setObjectName(QStringLiteral("Image1"));
  QPixmap picture(QStringLiteral(":/app/about.jpg"));
  image->setPixmap(picture);
  image->setScaledContents(true);
  image->setFixedSize(400, 260);

  auto* version = new QLabel(QStringLiteral("Version 3.55 Build 4055"));
  version->setObjectName(QStringLiteral("VersionL"));
  Subject->setObjectName(QStringLiteral("SubjectL"));
  QFont bold = Subject->font();
  bold.setBold(true);
  Subject->setFont(bold);

  auto* ok = new QPushButton(QStringLiteral("&OK"));
  ok->setObjectName(QStringLiteral("OkB"));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(8);
  layout->addWidget(image, 0, Qt::AlignHCenter);
  auto* row = new QHBoxLayout;
  auto* texts = new QVBoxLayout;
  texts->addWidget(version);
  texts->addWidget(Subject);
  row->addLayout(texts, 1);
  row->addWidget(ok, 0, Qt::AlignBottom);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace hv

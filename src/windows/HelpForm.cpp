#include "windows/HelpForm.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace hv {

namespace {

const QString kHelpRoot = QStringLiteral(":/help/");

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

}  // namespace

THelpIndex::THelpIndex() {
  static const QRegularExpression title(QStringLiteral("<title>(.*?)</title>"),
                                        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression keywords(QStringLiteral("<meta\\s+name=\"keywords\"\\s+content=\"([^\"]*)\""),
                                           QRegularExpression::CaseInsensitiveOption);
  QStringList files;
  QDirIterator it(kHelpRoot, {QStringLiteral("*.html")}, QDir::Files);
  while (it.hasNext()) files << QFileInfo(it.next()).fileName();
  files.sort();
  // The contents page leads the list; the rest follow by title.
  for (const QString& file : files) {
    const QString html = ReadText(kHelpRoot + file);
    THelpTopic topic{file, file, {}};
    if (auto m = title.match(html); m.hasMatch()) topic.Title = m.captured(1).trimmed();
    if (auto m = keywords.match(html); m.hasMatch())
      for (const QString& k : m.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!k.trimmed().isEmpty()) topic.Keywords << k.trimmed();
    TopicList << topic;
  }
  std::stable_sort(TopicList.begin(), TopicList.end(), [](const THelpTopic& a, const THelpTopic& b) {
    const bool aIndex = a.File == QLatin1String("index.html");
    const bool bIndex = b.File == QLatin1String("index.html");
    if (aIndex != bIndex) return aIndex;
    return a.Title.compare(b.Title, Qt::CaseInsensitive) < 0;
  });
  const QJsonObject map = QJsonDocument::fromJson(ReadText(kHelpRoot + QStringLiteral("contexts.json")).toUtf8()).object();
  for (auto i = map.begin(); i != map.end(); ++i) Contexts.insert(i.key().toInt(), i.value().toString());
}

const THelpIndex& THelpIndex::Instance() {
  static const THelpIndex index;
  return index;
}

QStringList THelpIndex::Keywords() const {
  QStringList all;
  for (const THelpTopic& t : TopicList)
    for (const QString& k : t.Keywords)
      if (!all.contains(k, Qt::CaseInsensitive)) all << k;
  std::sort(all.begin(), all.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  return all;
}

QList<THelpTopic> THelpIndex::TopicsFor(const QString& keyword) const {
  QList<THelpTopic> out;
  for (const THelpTopic& t : TopicList)
    if (t.Keywords.contains(keyword, Qt::CaseInsensitive)) out << t;
  return out;
}

THelpForm::THelpForm(QWidget* parent)
    : QWidget(parent, Qt::Window),
      Tabs(new QTabWidget),
      ContentsList(new QListWidget),
      SearchEdit(new QLineEdit),
      KeywordList(new QListWidget),
      KeywordTopics(new QListWidget),
      Text(new QTextBrowser) {
  setObjectName(QStringLiteral("HelpForm"));
  setWindowTitle(QStringLiteral("Harrowvane Help"));
  resize(900, 620);
  ContentsList->setObjectName(QStringLiteral("ContentsLB"));
  SearchEdit->setObjectName(QStringLiteral("SearchE"));
  KeywordList->setObjectName(QStringLiteral("KeywordsLB"));
  KeywordTopics->setObjectName(QStringLiteral("TopicsLB"));
  Text->setObjectName(QStringLiteral("HelpTX"));
  Text->setSearchPaths({kHelpRoot});
  Text->setOpenExternalLinks(true);

  for (const THelpTopic& t : THelpIndex::Instance().Topics()) {
    auto* row = new QListWidgetItem(t.Title, ContentsList);
    row->setData(Qt::UserRole, t.File);
  }
  connect(ContentsList, &QListWidget::itemActivated, this, [this](QListWidgetItem* row) { ShowPage(row->data(Qt::UserRole).toString()); });
  connect(ContentsList, &QListWidget::itemClicked, this, [this](QListWidgetItem* row) { ShowPage(row->data(Qt::UserRole).toString()); });

  auto* searchPage = new QWidget;
  auto* searchLayout = new QVBoxLayout(searchPage);
  searchLayout->addWidget(new QLabel(QStringLiteral("&Type the first letters of a word:")));
  qobject_cast<QLabel*>(searchLayout->itemAt(0)->widget())->setBuddy(SearchEdit);
  searchLayout->addWidget(SearchEdit);
  searchLayout->addWidget(KeywordList, 3);
  searchLayout->addWidget(new QLabel(QStringLiteral("Topics:")));
  searchLayout->addWidget(KeywordTopics, 2);
  SearchEdit->setClearButtonEnabled(true);
  FilterKeywords({});
  connect(SearchEdit, &QLineEdit::textChanged, this, &THelpForm::FilterKeywords);
  connect(SearchEdit, &QLineEdit::returnPressed, this, [this] {
    if (KeywordList->count() > 0) {
      KeywordList->setCurrentRow(0);
      KeywordChosen();
      if (KeywordTopics->count() > 0) ShowPage(KeywordTopics->item(0)->data(Qt::UserRole).toString());
    }
  });
  connect(KeywordList, &QListWidget::currentRowChanged, this, [this] { KeywordChosen(); });
  connect(KeywordTopics, &QListWidget::itemActivated, this, [this](QListWidgetItem* row) { ShowPage(row->data(Qt::UserRole).toString()); });
  connect(KeywordTopics, &QListWidget::itemClicked, this, [this](QListWidgetItem* row) { ShowPage(row->data(Qt::UserRole).toString()); });

  Tabs->addTab(ContentsList, QStringLiteral("&Contents"));
  Tabs->addTab(searchPage, QStringLiteral("&Search"));
  auto* splitter = new QSplitter;
  splitter->addWidget(Tabs);
  splitter->addWidget(Text);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({260, 640});
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(splitter);
  ShowPage(QStringLiteral("index.html"));
}

void THelpForm::FilterKeywords(const QString& prefix) {
  KeywordList->clear();
  for (const QString& k : THelpIndex::Instance().Keywords())
    if (k.startsWith(prefix.trimmed(), Qt::CaseInsensitive)) KeywordList->addItem(k);
  KeywordTopics->clear();
}

void THelpForm::KeywordChosen() {
  KeywordTopics->clear();
  QListWidgetItem* keyword = KeywordList->currentItem();
  if (keyword == nullptr) return;
  for (const THelpTopic& t : THelpIndex::Instance().TopicsFor(keyword->text())) {
    auto* row = new QListWidgetItem(t.Title, KeywordTopics);
    row->setData(Qt::UserRole, t.File);
  }
}

void THelpForm::ShowPage(const QString& file) {
  Text->setSource(QUrl(QStringLiteral("qrc:/help/") + file));
  for (int i = 0; i < ContentsList->count(); ++i)
    if (ContentsList->item(i)->data(Qt::UserRole).toString() == file) {
      const QSignalBlocker quiet(ContentsList);
      ContentsList->setCurrentRow(i);
    }
}

QString THelpForm::CurrentPage() const { return Text->source().fileName(); }

void THelpForm::Present() {
  show();
  raise();
  activateWindow();
}

void THelpForm::ShowContents() {
  Tabs->setCurrentIndex(0);
  ShowPage(QStringLiteral("index.html"));
  Present();
}

void THelpForm::ShowSearch() {
  Tabs->setCurrentIndex(1);
  SearchEdit->clear();
  Present();
  SearchEdit->setFocus();
}

void THelpForm::ShowContext(int context) {
  const QString page = THelpIndex::Instance().PageOf(context);
  Tabs->setCurrentIndex(0);
  ShowPage(page.isEmpty() ? QStringLiteral("index.html") : page);
  Present();
}

}  // namespace hv

#pragma once
// The help window: the program's own help pages with a contents list, a keyword index and the
// topic of each window's help context.
#include <QMap>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;

namespace hv {

// One help page: its file under the help folder, its title (the topic name) and its keywords.
struct THelpTopic {
  QString File;
  QString Title;
  QStringList Keywords;
};

// Reads the embedded help: every page's title and keywords, and the map from help context
// numbers to pages.
class THelpIndex {
public:
  static const THelpIndex& Instance();
  const QList<THelpTopic>& Topics() const { return TopicList; }
  // The page of a help context number, or an empty string.
  QString PageOf(int context) const { return Contexts.value(context); }
  // Every keyword, sorted without regard to case.
  QStringList Keywords() const;
  // The topics carrying a keyword (case-insensitive), in contents order.
  QList<THelpTopic> TopicsFor(const QString& keyword) const;

private:
  THelpIndex();
  QList<THelpTopic> TopicList;
  QMap<int, QString> Contexts;
};

// The window where help pages are read. The contents tab lists the topics; the search tab narrows
// the keyword index as the user types and lists the topics of the chosen keyword.
class THelpForm : public QWidget {
  Q_OBJECT
public:
  explicit THelpForm(QWidget* parent = nullptr);

  void ShowContents();
  void ShowSearch();
  // Shows the topic of a help context; the contents page when the number has none.
  void ShowContext(int context);
  void ShowPage(const QString& file);
  QString CurrentPage() const;
  QTextBrowser* Browser() const { return Text; }

private:
  void FilterKeywords(const QString& prefix);
  void KeywordChosen();
  void Present();

  QTabWidget* Tabs;
  QListWidget* ContentsList;
  QLineEdit* SearchEdit;
  QListWidget* KeywordList;
  QListWidget* KeywordTopics;
  QTextBrowser* Text;
};

}  // namespace hv

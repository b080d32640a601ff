#include "windows/WordSearch.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextEdit>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "logic/WordIndex.h"

namespace hv {

TWordIndexDriver::TWordIndexDriver(TAppLogic& app, QMainWindow* mainForm) : QObject(mainForm), App(app) {
  setObjectName(QStringLiteral("WordIndexDriver"));
  Timer.setInterval(0);
  connect(&Timer, &QTimer::timeout, this, &TWordIndexDriver::Step);
  if (mainForm != nullptr) {
    Label = new QLabel(mainForm);
    Label->setObjectName(QStringLiteral("WordIndexP"));
    Label->setAccessibleName(QStringLiteral("Word index"));
    mainForm->statusBar()->addPermanentWidget(Label);
    Label->hide();
  }
}

TWordIndexDriver::~TWordIndexDriver() {
  if (Index != nullptr && App.WordIndex() == Index) Index->RemoveObserver<&TWordIndexDriver::IndexNotified>(this);
}

TWordIndexDriver* TWordIndexDriver::For(TAppLogic& app, QMainWindow* mainForm) {
  if (mainForm != nullptr)
    if (auto* driver = mainForm->findChild<TWordIndexDriver*>(QString(), Qt::FindDirectChildrenOnly)) return driver;
  return new TWordIndexDriver(app, mainForm);
}

void TWordIndexDriver::Start() {
  if (Index == nullptr) {
    Index = App.OpenWordIndex();
    if (Index == nullptr) return;
    Index->AddObserver<&TWordIndexDriver::IndexNotified>(this);
  }
  Tell();
  Build();
  ShowProgress();
}

void TWordIndexDriver::Tell() {
  if (Index->Message().empty() || Index->Message() == Told) return;
  Told = Index->Message();
  Ask().Message(QString::fromStdString(Told));
}

void TWordIndexDriver::Build() {
  if (Timer.isActive()) return;
  // A complete index on disk is still read once for damage on the index's own thread.
  Background = Index->StartBuilding();
  if (!Background && Index->Complete()) return;
  Timer.setInterval(Background ? int(kPoll.count()) : 0);
  Timer.start();
}

void TWordIndexDriver::SearchMade() {
  PartialSearch = Index != nullptr && !Index->Complete();
  ShowProgress();
}

void TWordIndexDriver::Step() {
  if (Index == nullptr) {
    Timer.stop();
    return;
  }
  try {
    if (Background) {
      Index->Poll();
      if (Index->Complete() && !Index->Building()) Timer.stop();
    } else if (!Index->BuildSome(kSlice)) {
      Timer.stop();
    }
  } catch (const std::exception& error) {
    // A failing index stops building; the program goes on without the missing part.
    Timer.stop();
    ReportCommandError(error);
  }
}

void TWordIndexDriver::IndexNotified(TObservable*, const TNotificationSet& codes) {
  if (codes.Contains(WordIndexCode::Restarted)) {
    Timer.stop();
    Tell();
    Build();
  }
  if (codes.Contains(WordIndexCode::Complete)) {
    // The index's thread may still be reading the file for damage; polling goes on till it ends.
    if (!Index->Building()) Timer.stop();
    // The search made on part of the index is repeated on all of it.
    TQuestionSelector* selector = App.Selector();
    if (PartialSearch && selector != nullptr && selector->HasWordCriterion()) selector->RefreshWordMatches();
    PartialSearch = false;
  }
  ShowProgress();
}

void TWordIndexDriver::ShowProgress() {
  if (Label == nullptr || Index == nullptr) return;
  QString text;
  const QString done = QString::number(Index->Indexed());
  const QString total = QString::number(Index->Total());
  if (PartialSearch)
    text = QStringLiteral("Words searched in %1 of %2 questions; indexing continues").arg(done, total);
  else if (!Index->Complete())
    text = QStringLiteral("Indexing words: %1 of %2 questions").arg(done, total);
  else if (Index->Skipped() > 0)
    text = QStringLiteral("%1 texts could not be read for the word index").arg(Index->Skipped());
  Label->setText(text);
  Label->setVisible(!text.isEmpty());
}

namespace {

bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c.isMark() || c.isSurrogate(); }

// Lower case without accents, as the index compares words.
QString Fold(const QString& word) {
  const QString decomposed = word.normalized(QString::NormalizationForm_KD);
  QString out;
  out.reserve(decomposed.size());
  for (QChar c : decomposed)
    if (!c.isMark()) out.append(c);
  return out.toCaseFolded();
}

struct TToken {
  int Start;
  int End;
  QString Folded;
};

}  // namespace

int HighlightWords(QTextEdit& text, const TWordQuery& query) {
  QList<QTextEdit::ExtraSelection> marks;
  std::vector<std::vector<QString>> terms;
  std::vector<bool> prefix;
  for (const TWordTerm& term : query.Terms) {
    if (term.Excluded) continue;
    std::vector<QString> folded;
    for (const std::string& w : term.Words) folded.push_back(Fold(QString::fromStdString(w)));
    terms.push_back(std::move(folded));
    prefix.push_back(term.Prefix);
  }
  QTextCharFormat look;
  look.setBackground(QColor(255, 226, 80));
  look.setForeground(Qt::black);
  QTextDocument* doc = text.document();
  for (QTextBlock block = doc->begin(); block.isValid() && !terms.empty(); block = block.next()) {
    const QString line = block.text();
    std::vector<TToken> tokens;
    for (int i = 0; i < line.size();) {
      if (!IsWordChar(line[i])) {
        ++i;
        continue;
      }
      int j = i;
      while (j < line.size() && IsWordChar(line[j])) ++j;
      tokens.push_back({i, j, Fold(line.mid(i, j - i))});
      i = j;
    }
    for (std::size_t t = 0; t < terms.size(); ++t) {
      const std::vector<QString>& words = terms[t];
      for (std::size_t k = 0; k + words.size() <= tokens.size(); ++k) {
        bool hit = true;
        for (std::size_t w = 0; w < words.size() && hit; ++w) {
          const QString& token = tokens[k + w].Folded;
          const bool last = w + 1 == words.size();
          hit = last && prefix[t] ? token.startsWith(words[w]) : token == words[w];
        }
        if (!hit) continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(doc);
        mark.cursor.setPosition(block.position() + tokens[k].Start);
        mark.cursor.setPosition(block.position() + tokens[k + words.size() - 1].End, QTextCursor::KeepAnchor);
        mark.format = look;
        marks.append(mark);
      }
    }
  }
  text.setExtraSelections(marks);
  return static_cast<int>(marks.size());
}

}  // namespace hv

// Title and section inserts: the exact RTF of every variant, the proposed totals, where the
// entries land, and that nothing typed can act as RTF markup.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>

#include "OutputFixtures.h"
#include "OutputTests.h"
#include "TextControl.h"
#include "output/OutputCommands.h"
#include "output/TitleForms.h"
#include "output/TitleRtf.h"

using namespace hv;
using namespace hv::test;

namespace {

const std::string kHead = "{\\rtf1\\ansi\\ansicpg1252\\uc1 \\deff0{\\fonttbl{\\f0\\froman\\fcharset0 TIMES NEW ROMAN;}}";
const std::string kSectionHead = kHead + "{\\*\\generator TX_RTF32 10.0.321.500;}";
const std::string kOrg = "Harrowvane Sample School";

void FillTitle(TTitleForm* form, bool fullPage) {
  form->TitleE->setText(QStringLiteral("Forces and motion"));
  form->SubtitleE->setText(QStringLiteral("Paper 1"));
  form->DateE->setText(QStringLiteral("June 2024"));
  form->InstructionsE->setText(QStringLiteral("Answer all questions."));
  form->FullPageCB->setChecked(fullPage);
  form->OkB->click();
}

struct TCounter {
  int Count = 0;
  void Hear(TObservable*, const TNotificationSet&) { ++Count; }
};

const std::string& LineOf(const TDocContent* entry) { return entry->Segment->Chunk->GetLines().at(0); }

}  // namespace

class TInsertTest : public QObject {
  Q_OBJECT

private slots:
  void compactTitleIsWrittenPieceByPiece() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    w.Q[0]->Marks = 5;
    w.Q[0]->Time = 10;
    w.Q[1]->Marks = 7;
    w.Q[1]->Time = 15;
    QString proposedTime, proposedMarks;
    WhenModal<TTitleForm>([&](TTitleForm* f) {
      proposedTime = f->TimeAllowedE->text();
      proposedMarks = f->TotalMarksE->text();
      FillTitle(f, false);
    });
    RunCommand<TInsertTitleCmd>();
    QCOMPARE(proposedTime, QStringLiteral("25 min"));
    QCOMPARE(proposedMarks, QStringLiteral("12 marks"));
    QCOMPARE(doc->Document->Entries.size(), std::size_t(3));
    const TDocContent* title = doc->Document->Entries[0];
    QVERIFY(title->OwnsSegment());
    QVERIFY(!title->Numbered);
    QCOMPARE(title->Segment->GetName(), std::string("Forces and motion"));
    QCOMPARE(title->Segment->Marks, std::int16_t(0));
    QCOMPARE(title->Segment->Time, std::int16_t(0));
    const std::string expected = kHead + "\\par\\pard\\plain\\qc\\sa480\\f0\\fs24 " + kOrg +
                                 "\\par\\sb240\\sa240\\ATXbrdr60\\fs52\\b Forces and motion"
                                 "\\par\\pard\\qc\\sb480\\sa288\\ATXbrdr0\\fs36\\b0 Paper 1"
                                 "\\par\\pard\\qc\\fs32\\b June 2024"
                                 "\\par\\fs28 \\b0 25 min"
                                 "\\par 12 marks"
                                 "\\par\\fs24\\i Answer all questions."
                                 "\\par\\pard -\\par\\pard}";
    QCOMPARE(LineOf(title), expected);
    QCOMPARE(title->Segment->Chunk->GetLines().size(), std::size_t(1));
    // The questions keep their numbers: the title is not numbered.
    QCOMPARE(doc->Document->Entries[1]->Number, std::int16_t(1));
    QCOMPARE(doc->Document->Entries[2]->Number, std::int16_t(2));
    QVERIFY(doc->IsModified);
  }

  void fullPageTitleSpacesTheBlockOverThePage() {
    TOutputWorld w;
    TDocLogic* doc = w.NewDocument();
    WhenModal<TTitleForm>([&](TTitleForm* f) { FillTitle(f, true); });
    RunCommand<TInsertTitleCmd>();
    QCOMPARE(doc->Document->Entries.size(), std::size_t(1));
    const std::string expected = kHead + "\\par\\pard\\plain\\qc\\sb1440\\sa960\\f0\\fs24 \r\n" + kOrg +
                                 "\r\n\\par\\sb480\\sa480\\ATXbrdr60\\fs52\\b Forces and motion\r\n"
                                 "\\par\\pard\\qc\\sb960\\ATXbrdr0\\fs36\\b0 Paper 1\r\n"
                                 "\\par\\sb720\\fs32\\b June 2024\r\n"
                                 "\\par\\fs28 \\b0 0 min"
                                 "\\par\\fs28 \\b0 0 marks\r\n"
                                 "\\par\\fs24\\i Answer all questions.\r\n"
                                 "\\par\\sb0\\pard "
                                 "\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par -\\par}";
    QCOMPARE(LineOf(doc->Document->Entries[0]), expected);
  }

  void sectionVariantsAndWhereTheyLand() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    // Whatever is selected, a section goes to the end.
    w.Click(doc, 0);
    WhenModal<TSectionForm>([](TSectionForm* f) {
      f->SectionTitleE->setText(QStringLiteral("Section B"));
      f->InstructionE->setText(QStringLiteral("Answer two questions."));
      f->OkB->click();
    });
    RunCommand<TInsertSectionCmd>();
    WhenModal<TSectionForm>([](TSectionForm* f) {
      // The dialog starts empty again.
      QVERIFY(f->SectionTitleE->text().isEmpty());
      QVERIFY(!f->NewPageCB->isChecked());
      f->SectionTitleE->setText(QStringLiteral("Section C"));
      f->InstructionE->setText(QStringLiteral("Show your working."));
      f->NewPageCB->setChecked(true);
      f->OkB->click();
    });
    RunCommand<TInsertSectionCmd>();
    const auto& e = doc->Document->Entries;
    QCOMPARE(e.size(), std::size_t(4));
    QCOMPARE(e[2]->Segment->GetName(), std::string("Section B"));
    QCOMPARE(e[3]->Segment->GetName(), std::string("Section C"));
    QVERIFY(!e[2]->Numbered && !e[3]->Numbered);
    QCOMPARE(LineOf(e[2]), kSectionHead +
                               "\\plain\\pard\\qc\\keepn\\sb1440\\sa480\\f0\\fs32\\b1 Section B"
                               "\\par\\plain\\pard\\qc\\keepn\\sa480\\li1440\\fi1440\\ri1440\\f0\\fs24\\i1 Answer two questions."
                               "\\par -\\par}");
    QCOMPARE(LineOf(e[3]), kSectionHead +
                               "\\plain\\pard\\qc\\pagebb\\keepn\\sa480\\f0\\fs32\\b1 \r\nSection C"
                               "\\par\\plain\\pard\\qc\\keepn\\sa480\\li1440\\fi1440\\ri1440\\f0\\fs24\\i1 \r\n\tShow your working.\r\n"
                               "\\par -\\par}");
  }

  void titleGoesAboveEarlierTitles() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    for (const char* name : {"First", "Second"}) {
      WhenModal<TTitleForm>([name](TTitleForm* f) {
        QVERIFY(f->TitleE->text().isEmpty());
        f->TitleE->setText(QString::fromUtf8(name));
        f->OkB->click();
      });
      RunCommand<TInsertTitleCmd>();
    }
    const auto& e = doc->Document->Entries;
    QCOMPARE(e.size(), std::size_t(3));
    QCOMPARE(e[0]->Segment->GetName(), std::string("Second"));
    QCOMPARE(e[1]->Segment->GetName(), std::string("First"));
    QCOMPARE(e[2]->Segment, static_cast<TTextSegment*>(w.Q[0]));
  }

  void cancelChangesNothing() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    doc->IsModified = false;
    TCounter listener;
    doc->AddObserver<&TCounter::Hear>(&listener);
    WhenModal<TTitleForm>([](TTitleForm* f) {
      f->TitleE->setText(QStringLiteral("Never"));
      f->CancelB->click();
    });
    RunCommand<TInsertTitleCmd>();
    WhenModal<TSectionForm>([](TSectionForm* f) {
      f->SectionTitleE->setText(QStringLiteral("Never"));
      f->reject();
    });
    RunCommand<TInsertSectionCmd>();
    doc->RemoveObserver<&TCounter::Hear>(&listener);
    QCOMPARE(doc->Document->Entries.size(), std::size_t(1));
    QVERIFY(!doc->IsModified);
    QCOMPARE(listener.Count, 0);
  }

  void fieldTextCannotInjectMarkup() {
    QCOMPARE(RtfFieldText(QStringLiteral("a\\b{c}d")), std::string("a\\\\b\\{c\\}d"));
    QCOMPARE(RtfFieldText(QString::fromUtf8("caf\u00e9 \u20ac5 \u03a9")), std::string("caf\\'e9 \\'805 \\u937?"));
    QCOMPARE(RtfFieldText(QString::fromUtf8("\U0001F600")), std::string("\\u-10179?\\u-8704?"));
    QCOMPARE(RtfFieldText(QStringLiteral("tab\there\r\nline")), std::string("tab\\tab hereline"));

    // Typed markup that would close the text early and hide the rest reads back as typed.
    TTitleFields fields;
    fields.Title = QStringLiteral("}\\par\\b0{\\*\\hide secret}");
    fields.Subtitle = QString::fromUtf8("\u0141\u00f3d\u017a \u20ac");
    const auto chunk = ChunkOfPieces(TitlePieces(fields, QStringLiteral("{Org}")));
    TTXTextControl control;
    control.LoadFromString(chunk->GetLines().at(0), TTXTextControl::FormatRtf, true);
    const QString text = control.document()->toPlainText();
    QVERIFY2(text.contains(QStringLiteral("}\\par\\b0{\\*\\hide secret}")), qPrintable(text));
    QVERIFY(text.contains(QString::fromUtf8("\u0141\u00f3d\u017a \u20ac")));
    QVERIFY(text.contains(QStringLiteral("{Org}")));
    // The closing paragraph is still the last one.
    QVERIFY(text.trimmed().endsWith(QStringLiteral("\n-")));
  }

  void emptyFieldsStillGiveTheBlock() {
    const auto chunk = ChunkOfPieces(TitlePieces(TTitleFields{}, QString()));
    TTXTextControl control;
    control.LoadFromString(chunk->GetLines().at(0), TTXTextControl::FormatRtf, true);
    QVERIFY(control.document()->blockCount() >= 8);
    QVERIFY(control.document()->toPlainText().trimmed().endsWith(QLatin1Char('-')));
  }

  void insertCommandsFollowTheCurrentDocument() {
    TOutputWorld w;
    TInsertTitleCmd title;
    TInsertSectionCmd section;
    TInsertTextCmd text;
    QVERIFY(!title.IsEnabled() && !section.IsEnabled() && !text.IsEnabled());
    w.NewDocument();
    QVERIFY(title.IsEnabled() && section.IsEnabled() && text.IsEnabled());
  }
};

int RunInsertTests(int argc, char** argv) {
  TInsertTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "InsertsTest.moc"

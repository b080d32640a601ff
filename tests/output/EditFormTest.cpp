// The text editor: new texts, edits of owned and library entries, conversion errors, and the
// toolbar's formatting and pictures.
#include <QFile>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include "OutputFixtures.h"
#include "OutputTests.h"
#include "RtfFormat.h"
#include "core/Errors.h"
#include "TextControl.h"
#include "output/EditForm.h"
#include "output/OutputCommands.h"
#include "output/PrintForm.h"

using namespace hv;
using namespace hv::test;

namespace {

void Type(TEditForm* f, const QString& text) {
  QTextCursor c = f->EditATX->textCursor();
  c.movePosition(QTextCursor::End);
  c.insertText(text);
  f->EditATX->setTextCursor(c);
}

QString SavedText(const TTextSegment* segment) {
  TTXTextControl control;
  control.LoadFromString(segment->Chunk->GetLines().at(0), TTXTextControl::FormatRtf, true);
  return control.document()->toPlainText();
}

QString WritePicture(const QTemporaryDir& dir, const char* name, const char* format) {
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(Qt::red);
  const QString path = dir.filePath(QLatin1String(name));
  image.save(path, format);
  return path;
}

}  // namespace

class TEditFormTest : public QObject {
  Q_OBJECT

private slots:
  void newTextIsAppendedWithItsFields() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    w.Click(doc, 0);
    WhenModal<TEditForm>([](TEditForm* f) {
      QVERIFY(f->DescriptionE->text().isEmpty());
      QCOMPARE(f->MarkNE->text(), QStringLiteral("0"));
      QCOMPARE(f->TimeNE->text(), QStringLiteral("0"));
      QVERIFY(!f->NumberedCB->isChecked());
      QVERIFY(f->EditATX->document()->isEmpty());
      f->DescriptionE->setText(QStringLiteral("Extension task"));
      f->MarkNE->setText(QStringLiteral("4"));
      f->TimeNE->setText(QStringLiteral(" 6"));
      f->NumberedCB->setChecked(true);
      Type(f, QStringLiteral("Explain why the sky is blue."));
      f->OkB->click();
    });
    RunCommand<TInsertTextCmd>();
    const auto& e = doc->Document->Entries;
    QCOMPARE(e.size(), std::size_t(3));
    const TDocContent* added = e[2];
    QVERIFY(added->OwnsSegment() && added->Numbered);
    QCOMPARE(added->Number, std::int16_t(3));
    QCOMPARE(added->Segment->GetName(), std::string("Extension task"));
    QCOMPARE(added->Segment->Marks, std::int16_t(4));
    QCOMPARE(added->Segment->Time, std::int16_t(6));
    QCOMPARE(added->Segment->Chunk->GetLines().size(), std::size_t(1));
    // The text ends with its end-of-entry paragraph, so it prints as an entry of its own.
    const QStringList paragraphs = SavedText(added->Segment).split(QLatin1Char('\n'));
    QVERIFY(paragraphs.contains(QStringLiteral("Explain why the sky is blue.")));
    QVERIFY(paragraphs.contains(QStringLiteral("-")));
    OutputForms().Print().ComposeDocument(e);
    QVERIFY(OutputForms().Print().PrintATX->document()->toPlainText().contains(QStringLiteral("3.Explain why")));
    // The selection is left alone.
    QCOMPARE(w.App.SelectedItem(), static_cast<TStreamable*>(e[0]));
  }

  void editingALibraryEntryMakesAnOwnedCopy() {
    TOutputWorld w;
    w.Q[1]->Marks = 3;
    w.Q[1]->Time = 5;
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1], w.Q[2]});
    const std::string libraryText = w.Q[1]->Chunk->GetLines().at(0);
    w.Click(doc, 1);
    TScriptedAsk ask;
    ask.ExpectConfirm(QString::fromUtf8(kMakeCopyQuestion), TAskAnswer::Yes);
    WhenModal<TEditForm>([](TEditForm* f) {
      QCOMPARE(f->DescriptionE->text(), QStringLiteral("Question 2"));
      QCOMPARE(f->MarkNE->text(), QStringLiteral("3"));
      QCOMPARE(f->TimeNE->text(), QStringLiteral("5"));
      QVERIFY(f->NumberedCB->isChecked());
      // The end-of-entry paragraph stays out of the editor.
      QCOMPARE(f->EditATX->document()->toPlainText(), QStringLiteral("Q2 line 1\nQ2 line 2\nQ2 line 3"));
      Type(f, QStringLiteral(" (edited)"));
      f->DescriptionE->setText(QString(120, QLatin1Char('d')));
      f->MarkNE->setText(QStringLiteral("8"));
      f->OkB->click();
    });
    TEditTextCmd edit;
    QVERIFY(edit.IsEnabled());
    edit.Execute(nullptr);
    QVERIFY(ask.Verify());
    const auto& e = doc->Document->Entries;
    QCOMPARE(e.size(), std::size_t(3));
    TDocContent* copy = e[1];
    QVERIFY(copy->OwnsSegment());
    QCOMPARE(copy->Segment->Identity, w.Q[1]->Identity);
    QCOMPARE(copy->Segment->GetName(), std::string(100, 'd'));
    QCOMPARE(copy->Segment->Marks, std::int16_t(8));
    QCOMPARE(copy->Segment->Time, std::int16_t(5));
    QVERIFY(copy->Numbered);
    QCOMPARE(copy->Number, std::int16_t(2));
    QVERIFY(SavedText(copy->Segment).contains(QStringLiteral("Q2 line 3 (edited)")));
    // The library question is untouched and still in its node.
    QCOMPARE(w.Q[1]->Identity->Question, w.Q[1]);
    QCOMPARE(w.Q[1]->Chunk->GetLines().at(0), libraryText);
    QCOMPARE(w.Q[1]->Marks, std::int16_t(3));
    QCOMPARE(w.Q[1]->GetName(), std::string("Question 2"));
    // The new entry is selected as the current item.
    QCOMPARE(w.App.SelectedItem(), static_cast<TStreamable*>(copy));
    QCOMPARE(w.App.CurrentIndex(), 1);
    QVERIFY(doc->IsModified);
  }

  void editingAnOwnedTextKeepsItsPlace() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    doc->InsertText(-1, "Notes", false, std::make_unique<TTextChunk>(std::vector<std::string>{LinesRtf("Own", 2)}), 0, 0);
    w.Click(doc, 1);
    TScriptedAsk ask;  // no question for a text the document owns
    WhenModal<TEditForm>([](TEditForm* f) {
      f->NumberedCB->setChecked(true);
      f->OkB->click();
    });
    RunCommand<TEditTextCmd>();
    QVERIFY(ask.Verify());
    // The edited text takes the old entry's place (the old one stays with the undo history).
    QCOMPARE(doc->Document->Entries.size(), std::size_t(2));
    TDocContent* owned = doc->Document->Entries[1];
    QVERIFY(owned->OwnsSegment());
    QVERIFY(owned->Numbered);
    QCOMPARE(owned->Number, std::int16_t(2));
    // Saved back with exactly one end-of-entry paragraph.
    const QStringList paragraphs = SavedText(owned->Segment).split(QLatin1Char('\n'));
    QCOMPARE(paragraphs.count(QStringLiteral("-")), 1);
    QVERIFY(paragraphs.contains(QStringLiteral("Own line 2")));
  }

  void cancelAndRefusingTheCopyChangeNothing() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    doc->IsModified = false;
    w.Click(doc, 1);
    TDocContent* entry = doc->Document->Entries[1];
    TScriptedAsk ask;
    ask.ExpectConfirm(QString::fromUtf8(kMakeCopyQuestion), TAskAnswer::No);
    RunCommand<TEditTextCmd>();
    ask.ExpectConfirm(QString::fromUtf8(kMakeCopyQuestion), TAskAnswer::Yes);
    WhenModal<TEditForm>([](TEditForm* f) {
      f->MarkNE->setText(QStringLiteral("9"));
      Type(f, QStringLiteral("lost"));
      f->CancelB->click();
    });
    RunCommand<TEditTextCmd>();
    WhenModal<TEditForm>([](TEditForm* f) {
      f->DescriptionE->setText(QStringLiteral("never"));
      f->reject();
    });
    RunCommand<TInsertTextCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(doc->Document->Entries.size(), std::size_t(2));
    QCOMPARE(doc->Document->Entries[1], entry);
    QVERIFY(!doc->IsModified);
    QCOMPARE(w.App.SelectedItem(), static_cast<TStreamable*>(entry));
    QCOMPARE(w.Q[1]->Marks, std::int16_t(0));
  }

  void nonNumericMarksKeepTheEditorOpen() {
    TOutputWorld w;
    TDocLogic* doc = w.DocumentWith({w.Q[0]});
    TScriptedAsk ask;
    ask.ExpectError(QStringLiteral("'three' is not a valid integer value"))
        .ExpectError(QStringLiteral("'70000' is not a valid integer value"));
    bool stayedOpen = false;
    WhenModal<TEditForm>([&](TEditForm* f) {
      Type(f, QStringLiteral("Kept"));
      f->MarkNE->setText(QStringLiteral("three"));
      f->OkB->click();
      f->MarkNE->setText(QStringLiteral("2"));
      f->TimeNE->setText(QStringLiteral("70000"));
      f->OkB->click();
      stayedOpen = f->isVisible() && f->EditATX->document()->toPlainText() == QStringLiteral("Kept");
      f->TimeNE->setText(QStringLiteral("-1"));
      f->OkB->click();
    });
    RunCommand<TInsertTextCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(stayedOpen);
    QCOMPARE(doc->Document->Entries.size(), std::size_t(2));
    QCOMPARE(doc->Document->Entries[1]->Segment->Time, std::int16_t(-1));
    QCOMPARE(FieldToInt16(QStringLiteral("-32768")), std::int16_t(-32768));
    QVERIFY_THROWS_EXCEPTION(EConvertError, FieldToInt16(QStringLiteral("")));
    QVERIFY_THROWS_EXCEPTION(EConvertError, FieldToInt16(QStringLiteral("1.5")));
  }

  void editTextIsEnabledOnlyOnTheCurrentEntry() {
    TOutputWorld w;
    TEditTextCmd edit;
    QVERIFY(!edit.IsEnabled());
    TDocLogic* doc = w.DocumentWith({w.Q[0], w.Q[1]});
    QVERIFY(!edit.IsEnabled());
    w.Click(doc, 0);
    QVERIFY(edit.IsEnabled());
    w.App.SetSelection({doc->Document->Entries[0], doc->Document->Entries[1]}, TListRef(doc->Document->Entries));
    QVERIFY(!edit.IsEnabled());
  }

  void toolbarButtonsFormatTheText() {
    TOutputWorld w;
    TEditForm& f = OutputForms().Edit();
    f.EditATX->ResetContents();
    f.show();
    Type(&f, QStringLiteral("Mass of the ball"));
    QTextCursor c = f.EditATX->textCursor();
    c.setPosition(0);
    c.setPosition(4, QTextCursor::KeepAnchor);  // "Mass"
    f.EditATX->setTextCursor(c);
    auto formatAt = [&](int position) {
      QTextCursor at(f.EditATX->document());
      at.setPosition(position);
      return at.charFormat();
    };
    f.BoldB->click();
    QVERIFY(formatAt(2).fontWeight() >= QFont::DemiBold);
    QVERIFY(f.BoldB->isChecked());
    f.BoldB->click();
    QVERIFY(formatAt(2).fontWeight() < QFont::DemiBold);
    f.ItalicB->click();
    QVERIFY(formatAt(2).fontItalic());
    f.UnderlineB->click();
    QVERIFY(formatAt(2).fontUnderline());
    f.SuperB->click();
    QCOMPARE(formatAt(2).verticalAlignment(), QTextCharFormat::AlignSuperScript);
    f.SubB->click();
    QCOMPARE(formatAt(2).verticalAlignment(), QTextCharFormat::AlignSubScript);
    QVERIFY(f.SubB->isChecked() && !f.SuperB->isChecked());
    QVERIFY(!formatAt(8).fontItalic());  // outside the selection

    f.CenterB->click();
    QCOMPARE(f.EditATX->document()->firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QVERIFY(f.CenterB->isChecked() && !f.LeftB->isChecked());
    f.RightB->click();
    QVERIFY(f.EditATX->document()->firstBlock().blockFormat().alignment() & Qt::AlignRight);
    f.LeftB->click();
    QVERIFY(f.EditATX->document()->firstBlock().blockFormat().alignment() & Qt::AlignLeft);

    // Styles: an indent, then the mark style, then back to body text.
    QCOMPARE(f.StyleM->actions().size(), 5);
    f.StyleM->actions().at(1)->trigger();
    QCOMPARE(f.EditATX->document()->firstBlock().blockFormat().leftMargin(), rtf::TwipsToPx(1440));
    f.StyleM->actions().at(4)->trigger();
    QVERIFY(f.EditATX->document()->firstBlock().blockFormat().alignment() & Qt::AlignRight);
    QVERIFY(formatAt(10).fontWeight() >= QFont::DemiBold);
    f.StyleM->actions().at(3)->trigger();
    QCOMPARE(f.EditATX->document()->firstBlock().blockFormat().leftMargin(), 0.0);
    QVERIFY(formatAt(2).fontWeight() < QFont::DemiBold && !formatAt(2).fontItalic());

    // Clipboard buttons.
    f.CopyB->click();
    c = f.EditATX->textCursor();
    c.movePosition(QTextCursor::End);
    f.EditATX->setTextCursor(c);
    f.PasteB->click();
    QCOMPARE(f.EditATX->document()->toPlainText(), QStringLiteral("Mass of the ballMass"));
    c.setPosition(0);
    c.setPosition(5, QTextCursor::KeepAnchor);
    f.EditATX->setTextCursor(c);
    f.CutB->click();
    QCOMPARE(f.EditATX->document()->toPlainText(), QStringLiteral("of the ballMass"));
    f.hide();
  }

  void picturesOfEveryAcceptedKind() {
    TOutputWorld w;
    TEditForm& f = OutputForms().Edit();
    f.EditATX->ResetContents();
    QTemporaryDir dir;
    const QString png = WritePicture(dir, "red.png", "PNG");
    const QString jpeg = WritePicture(dir, "red.jpg", "JPEG");
    const QString bmp = WritePicture(dir, "red.bmp", "BMP");
    TScriptedAsk ask;
    ask.ExpectOpenFileName(png).ExpectOpenFileName(QString());
    f.InsertPicB->click();
    f.InsertPicB->click();  // cancelled: nothing more
    QVERIFY(ask.Verify());
    QVERIFY(ask.Last(TQuestionKind::OpenFileName)->Text == QStringLiteral("Insert Picture"));
    QVERIFY(ask.Last(TQuestionKind::OpenFileName)->Filter.contains(QStringLiteral("*.png")));
    f.InsertPicture(jpeg);
    f.InsertPicture(bmp);
    std::string rtf;
    f.EditATX->SaveToString(rtf, TTXTextControl::FormatRtf, true);
    QVERIFY(rtf.find("\\pngblip") != std::string::npos);
    QVERIFY(rtf.find("\\jpegblip") != std::string::npos);
    QVERIFY(rtf.find("\\dibitmap") != std::string::npos);
    int images = 0;
    for (QTextBlock b = f.EditATX->document()->begin(); b.isValid(); b = b.next())
      for (auto it = b.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isImageFormat()) {
          ++images;
          QCOMPARE(qRound(it.fragment().charFormat().toImageFormat().width()), 40);
        }
    QCOMPARE(images, 3);
    // The text read back shows the pictures too.
    TTXTextControl back;
    back.LoadFromString(rtf, TTXTextControl::FormatRtf, true);
    QCOMPARE(back.document()->toPlainText().count(QChar::ObjectReplacementCharacter), 3);

    const QString text = dir.filePath(QStringLiteral("notes.png"));
    {
      QFile file(text);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("not a picture at all");
    }
    QVERIFY_THROWS_EXCEPTION(EInOutError, f.InsertPicture(text));
    QVERIFY_THROWS_EXCEPTION(EInOutError, f.InsertPicture(dir.filePath(QStringLiteral("missing.png"))));
  }

  void layoutFollowsTheWindowSize() {
    TOutputWorld w;
    TEditForm& f = OutputForms().Edit();
    f.show();
    f.resize(700, 500);
    QCOMPARE(f.EditATX->geometry(), QRect(8, 92, 684, 376));
    QCOMPARE(f.CancelB->pos(), QPoint(611, 471));
    QCOMPARE(f.OkB->x(), 684 - 2 * f.EditATX->frameWidth() - 177);
    QCOMPARE(f.minimumSize(), QSize(441, 150));
    f.hide();
  }
};

int RunEditFormTests(int argc, char** argv) {
  TEditFormTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "EditFormTest.moc"

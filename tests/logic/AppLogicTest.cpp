// Application state: notification sets and their order, selection and history, clipboard,
// closing documents, and the status line text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "LogicFixtures.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "logic/DocLogic.h"
#include "model/Document.h"

namespace hv::test {
namespace {

using E = TRecorder::TEvent;
using namespace AppCode;

class AppLogicTest : public ::testing::Test, public TAppFixture {
protected:
  AppLogicTest() {
    // One recorder on both, so the interleaving of application and document codes is visible.
    Rec.Watch(*App);
    Rec.Watch(App->DocumentRelay());
  }
  TDocLogic* AddDocument() {
    App->NewDocument();
    return App->Documents().back().get();
  }
  TQuestion* Q(TIdentityCategory* node) { return node->Question; }
  TRecorder Rec;
};

TEST_F(AppLogicTest, DocumentsAreAnnouncedAndTheirCodesRelayedWithTheDocumentAsSender) {
  App->NewDocument();
  TDocLogic* first = App->Documents().back().get();
  App->NewDocument();
  TDocLogic* second = App->Documents().back().get();
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {DocCreate}}, {App.get(), {DocCreate}}}));
  ASSERT_EQ(App->Documents().size(), 2u);
  EXPECT_EQ(App->Documents()[0].get(), first);
  EXPECT_EQ(first->DisplayName(), "Untitled");
  EXPECT_FALSE(first->IsModified);
  EXPECT_EQ(App->DocumentRelay().Subjects(), (std::vector<TObservable*>{first, second}));
}

TEST_F(AppLogicTest, EditsOfEachDocumentArriveThroughTheRelay) {
  TDocLogic* first = AddDocument();
  TDocLogic* second = AddDocument();
  Rec.Take();
  second->InsertEntries({Q(Nodes->A101)}, -1);
  first->InsertText(-1, "Title", false, Rtf("t"), 0, 0);
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{second, {Document, Modified}}, {first, {Document, Modified}}}));
}

TEST_F(AppLogicTest, CurrentDocumentChangesOnlyWhenDifferent) {
  TDocLogic* doc = AddDocument();
  Rec.Take();
  App->SetCurrentDocument(doc);
  App->SetCurrentDocument(doc);
  App->SetCurrentDocument(nullptr);
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {CurrentDoc}}, {App.get(), {CurrentDoc}}}));
}

TEST_F(AppLogicTest, CurrentListKeepsAnIndexInsideTheList) {
  const auto& results = App->Selector()->Results();
  App->SetCurrentList(results, 2);
  App->SetCurrentList(results, 2);  // same list and index: silent
  EXPECT_EQ(App->CurrentIndex(), 2);
  App->SetCurrentList(results, static_cast<int>(results.size()));
  EXPECT_EQ(App->CurrentIndex(), -1);
  App->SetCurrentList(results, 99);  // still -1: nothing changed
  App->SetCurrentList(results, -1);
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {CurrentList}}, {App.get(), {CurrentList}}}));
  EXPECT_TRUE(App->CurrentList() == TListRef(results));
  EXPECT_THROW(App->SetCurrentList(nullptr, 0), EError);
}

TEST_F(AppLogicTest, SelectingPushesTheSingleItemOntoHistoryAndBackRestoresIt) {
  const auto& results = App->Selector()->Results();
  App->SetCurrentList(results, 0);
  App->SelectItem(results[0], results, false);
  App->SelectItem(Nodes->A101->MarkScheme, nullptr, false);  // following a related item
  App->SelectItem(Nodes->R1->Resource, nullptr, false);
  EXPECT_EQ(App->History(), (TItemList{results[0], Nodes->A101->MarkScheme}));
  Rec.Take();

  App->GoBack();
  EXPECT_EQ(App->SelectedItem(), Nodes->A101->MarkScheme);
  EXPECT_FALSE(App->SelectionSource());  // history not yet empty
  App->GoBack();
  EXPECT_EQ(App->SelectedItem(), results[0]);
  EXPECT_TRUE(App->SelectionSource() == TListRef(results));  // the list's current item again
  EXPECT_TRUE(App->History().empty());
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {CurrentSelection, History}},
                                        {App.get(), {CurrentSelection, History}}}));
  EXPECT_THROW(App->GoBack(), EListError);
}

TEST_F(AppLogicTest, BackToAnItemThatIsNotTheCurrentOneLeavesNoSource) {
  const auto& results = App->Selector()->Results();
  App->SetCurrentList(results, 1);
  App->SelectItem(results[0], results, false);
  App->SelectItem(results[1], results, false);
  App->GoBack();
  EXPECT_EQ(App->SelectedItem(), results[0]);
  EXPECT_FALSE(App->SelectionSource());
}

TEST_F(AppLogicTest, SeveralSelectedItemsAreNotPushedAndClearingHistoryDropsIt) {
  const auto& results = App->Selector()->Results();
  App->SelectItem(results[0], results, false);
  App->SetSelection({results[0], results[1]}, results);  // clears history as well
  App->SelectItem(results[2], results, false);
  EXPECT_TRUE(App->History().empty());
  EXPECT_EQ(App->SelectedItem(), results[2]);
  App->SelectItem(results[3], results, false);
  EXPECT_EQ(App->History().size(), 1u);
  App->SelectItem(results[1], results, true);
  EXPECT_TRUE(App->History().empty());

  Rec.Take();
  App->SetSelection({results[0], results[1]}, results);
  EXPECT_EQ(App->SelectedItem(), nullptr);
  EXPECT_EQ(App->SelectedSegment(), nullptr);
  App->TouchSelection();
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {CurrentSelection, History}}, {App.get(), {CurrentSelection}}}));
}

TEST_F(AppLogicTest, SelectedSegmentLooksThroughDocumentEntries) {
  TDocLogic* doc = AddDocument();
  doc->InsertEntries({Q(Nodes->A102)}, -1);
  App->SelectItem(doc->Document->Entries[0], doc->Document->Entries, true);
  EXPECT_EQ(App->SelectedItem(), doc->Document->Entries[0]);
  EXPECT_EQ(App->SelectedSegment(), Q(Nodes->A102));
}

TEST_F(AppLogicTest, NewResultsBecomeTheCurrentListWithTheFirstSelected) {
  App->SelectItem(Nodes->R1->Resource, nullptr, false);
  App->SelectItem(Nodes->R2->Resource, nullptr, false);  // leaves one item on the history
  Rec.Take();
  App->Selector()->SetTopicCriterion(Nodes->Waves, true);
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {CurrentList, CurrentSelection, History, SearchResults}}}));
  EXPECT_EQ(App->Selector()->Results(), (std::vector<TQuestion*>{Q(Nodes->A102), Q(Nodes->A103)}));
  EXPECT_TRUE(App->CurrentList() == TListRef(App->Selector()->Results()));
  EXPECT_EQ(App->CurrentIndex(), 0);
  EXPECT_EQ(App->SelectedItem(), Q(Nodes->A102));
  EXPECT_TRUE(App->SelectionSource() == App->CurrentList());
  EXPECT_TRUE(App->History().empty());
}

TEST_F(AppLogicTest, ASearchWithoutResultsLeavesAnEmptySelectionAtIndexZero) {
  App->Selector()->SetTopicCriterion(Nodes->Forces, true);
  App->Selector()->SetLevelCriterion(Nodes->Extended, false);
  EXPECT_TRUE(App->Selector()->Results().empty());
  EXPECT_TRUE(App->Selection().empty());
  EXPECT_FALSE(App->SelectionSource());
  EXPECT_EQ(App->CurrentIndex(), 0);
  EXPECT_EQ(App->StatusText(), "");
}

TEST_F(AppLogicTest, ClosingTheBrowsedCurrentDocumentClearsListSelectionAndHistoryInOneNotification) {
  TDocLogic* doc = AddDocument();
  doc->InsertEntries({Q(Nodes->A101), Q(Nodes->A102)}, -1);
  App->SetCurrentDocument(doc);
  App->SetCurrentList(doc->Document->Entries, 1);
  App->SelectItem(doc->Document->Entries[0], doc->Document->Entries, false);
  App->SelectItem(doc->Document->Entries[1], doc->Document->Entries, false);
  Rec.Take();

  doc->Close();
  // AppLogic registered first with the relay, so its own set goes out before the relay's
  // observers hear DocDestroy.
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {CurrentDoc, CurrentList, CurrentSelection, History}},
                                        {doc, {DocDestroy}}}));
  EXPECT_TRUE(App->Documents().empty());
  EXPECT_EQ(App->CurrentDocument(), nullptr);
  EXPECT_FALSE(App->CurrentList());
  EXPECT_EQ(App->CurrentIndex(), -1);
  EXPECT_TRUE(App->Selection().empty());
  EXPECT_TRUE(App->History().empty());
  EXPECT_TRUE(App->DocumentRelay().Subjects().empty());
}

TEST_F(AppLogicTest, ClosingAnUnreferencedDocumentOnlyRemovesIt) {
  TDocLogic* first = AddDocument();
  TDocLogic* second = AddDocument();
  App->SetCurrentDocument(second);
  Rec.Take();
  first->Close();
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{first, {DocDestroy}}}));
  ASSERT_EQ(App->Documents().size(), 1u);
  EXPECT_EQ(App->Documents()[0].get(), second);
  EXPECT_EQ(App->CurrentDocument(), second);
}

TEST_F(AppLogicTest, ClosingABrowsedDocumentThatIsNotCurrentStillClearsItsList) {
  TDocLogic* browsed = AddDocument();
  TDocLogic* current = AddDocument();
  browsed->InsertEntries({Q(Nodes->A101)}, -1);
  App->SetCurrentList(browsed->Document->Entries, 0);
  App->SelectItem(browsed->Document->Entries[0], browsed->Document->Entries, true);
  App->SetCurrentDocument(current);
  Rec.Take();
  browsed->Close();
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {CurrentList, CurrentSelection, History}}, {browsed, {DocDestroy}}}));
  EXPECT_FALSE(App->CurrentList());
  EXPECT_FALSE(App->SelectionSource());
  EXPECT_TRUE(App->Selection().empty());
  EXPECT_EQ(App->CurrentDocument(), current);
}

TEST_F(AppLogicTest, ClosingADocumentDropsItsEntriesFromTheHistory) {
  TDocLogic* doc = AddDocument();
  doc->InsertEntries({Q(Nodes->A101)}, -1);
  const auto& results = App->Selector()->Results();
  App->SetCurrentList(results, 0);
  App->SelectItem(doc->Document->Entries[0], doc->Document->Entries, true);
  App->SelectItem(results[0], nullptr, false);  // the entry goes onto the history
  Rec.Take();
  doc->Close();
  EXPECT_TRUE(App->History().empty());
  EXPECT_EQ(App->SelectedItem(), results[0]);
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {History}}, {doc, {DocDestroy}}}));
}

TEST_F(AppLogicTest, DocumentObserversStillHearDestroyAfterTheStateLetGo) {
  // Like a document window: registered on its own document, after the relay, and unregistering
  // when told the document goes. Were the document freed inside its own notification, this call
  // would read freed memory.
  struct TWindow {
    std::vector<E> Heard;
    void Changed(TObservable* sender, const TNotificationSet& codes) {
      Heard.push_back({sender, codes.Codes()});
      if (codes.Contains(DocDestroy)) sender->RemoveObserver<&TWindow::Changed>(this);
    }
  } window;
  TDocLogic* doc = AddDocument();
  doc->AddObserver<&TWindow::Changed>(&window);
  doc->Close();
  EXPECT_EQ(window.Heard, (std::vector<E>{{doc, {DocDestroy}}}));
  EXPECT_TRUE(App->Documents().empty());
}

TEST_F(AppLogicTest, ClipboardHoldsItsOwnCopies) {
  TDocLogic* doc = AddDocument();
  doc->InsertEntries({Q(Nodes->A101)}, -1);
  doc->InsertText(-1, "Own text", true, Rtf("own"), 2, 3);
  Rec.Take();
  App->SetClipboard({doc->Document->Entries[0], doc->Document->Entries[1], Q(Nodes->A103)});
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {ClipboardChanged}}}));
  const auto& clip = App->Clipboard();
  ASSERT_EQ(clip.size(), 3u);
  EXPECT_NE(clip[0].get(), doc->Document->Entries[0]);
  EXPECT_EQ(clip[0]->Segment, Q(Nodes->A101));
  ASSERT_TRUE(clip[1]->OwnsSegment());
  EXPECT_NE(clip[1]->Segment, doc->Document->Entries[1]->Segment);
  EXPECT_EQ(clip[1]->Segment->GetName(), "Own text");
  EXPECT_EQ(clip[2]->Segment, Q(Nodes->A103));
  EXPECT_TRUE(clip[2]->Numbered);

  // Removing the original text from the document leaves the clipboard's copy intact.
  doc->RemoveEntries({doc->Document->Entries[1]});
  EXPECT_EQ(clip[1]->Segment->Chunk->GetLines(), (std::vector<std::string>{"{\\rtf1 own}"}));

  // Copying the clipboard's own entries replaces them with fresh copies.
  TItemList own{clip[0].get(), clip[1].get()};
  App->SetClipboard(own);
  ASSERT_EQ(App->Clipboard().size(), 2u);
  EXPECT_EQ(App->Clipboard()[1]->Segment->Chunk->GetLines(), (std::vector<std::string>{"{\\rtf1 own}"}));
}

TEST_F(AppLogicTest, ClipboardCopiesAFreeTextRatherThanTakingItOver) {
  TDocLogic* doc = AddDocument();
  doc->InsertText(-1, "Shared?", false, Rtf("x"), 0, 0);
  TStreamable* text = doc->Document->Entries[0]->Segment;
  App->SetClipboard({text, Nodes->R1});
  ASSERT_EQ(App->Clipboard().size(), 2u);
  EXPECT_NE(App->Clipboard()[0]->Segment, text);
  EXPECT_EQ(App->Clipboard()[1]->Segment, Nodes->R1->Resource);
  // A failed copy leaves the old contents.
  TIdentityCategory* bare = TSmallLibrary::Node(Nodes->R2, "X", "No resource");
  EXPECT_THROW(App->SetClipboard({Nodes->R1, bare}), EDataError);
  EXPECT_EQ(App->Clipboard().size(), 2u);
}

TEST_F(AppLogicTest, DerivedDocumentsComeFromTheCurrentDocument) {
  EXPECT_THROW(App->CreateMarkSchemeDocument(), EError);
  try {
    App->CreateReportDocument();
    FAIL();
  } catch (const EError& e) {
    EXPECT_STREQ(e.what(), kReportNeedsDocument);
  }
  // The empty document start-up makes comes first; the test opened after it is current.
  AddDocument();
  TDocLogic* test = AddDocument();
  test->InsertEntries({Q(Nodes->A101), Q(Nodes->A103)}, -1);
  App->SetCurrentDocument(test);
  Rec.Take();

  App->CreateReportDocument();
  ASSERT_EQ(App->Documents().size(), 3u);
  EXPECT_EQ(App->CurrentDocument(), test);
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {DocCreate}}}));
  TDocLogic* reports = App->Documents().back().get();
  EXPECT_TRUE(reports->IsModified);
  ASSERT_EQ(reports->Document->Entries.size(), 2u);
  EXPECT_TRUE(reports->Document->Entries[0]->OwnsSegment());  // A101 has no report: a stub
  EXPECT_EQ(reports->Document->Entries[1]->Segment, Nodes->A103->ExaminersReport);

  App->CreateMarkSchemeDocument();
  TDocLogic* schemes = App->Documents().back().get();
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {DocCreate}}}));
  EXPECT_EQ(schemes->Document->Entries[0]->Segment, Nodes->A101->MarkScheme);
  EXPECT_EQ(schemes->Document->Entries[1]->Segment->GetName(), "Ripple tank");
}

// Each cause of a failed open has its own message naming the file; none adds or notifies
// anything, and a FIFO or a folder is refused at once instead of waiting for a writer.
TEST_F(AppLogicTest, OpeningFailuresNameTheirCauseAndChangeNothing) {
  TTempDir dir;
  std::ofstream(dir.File("junk.kvd")) << "not a document at all";
  std::filesystem::create_directory(dir.File("folder.kvd"));
  ASSERT_EQ(::mkfifo(dir.File("fifo.kvd").c_str(), 0600), 0);
  {
    TDocLogic other("Chemistry");
    other.CreateNew();
    other.SaveToFile(dir.File("chem.kvd"));
  }
  {
    TDocLogic whole(kSubject);
    whole.CreateNew();
    whole.InsertEntries({Q(Nodes->A101), Q(Nodes->A102)}, -1);
    whole.SaveToFile(dir.File("cut.kvd"));
  }
  std::vector<std::uint8_t> cut = ReadBytes(dir.File("cut.kvd"));
  cut.resize(cut.size() - 6);
  std::ofstream(dir.File("cut.kvd"), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(cut.data()), static_cast<std::streamsize>(cut.size()));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"missing.kvd", "Cannot open \"missing.kvd\": there is no such file."},
      {"junk.kvd", "\"junk.kvd\" is not a test document."},
      {"folder.kvd", "Cannot open \"folder.kvd\": it is a folder, not a test document."},
      {"fifo.kvd", "Cannot open \"fifo.kvd\": it is not a file, so not a test document."},
      {"chem.kvd", "Incorrect library: the test was made for the library \"Chemistry\", and the library open is "
                   "\"Physics\" (\"chem.kvd\")."},
      {"cut.kvd", "Cannot open \"cut.kvd\": the file is damaged at object 3 (TDocContent), byte 78: Stream read error."},
  };
  for (const auto& [name, message] : cases) {
    try {
      App->OpenDocument(dir.File(name));
      ADD_FAILURE() << name;
    } catch (const EInOutError& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
  EXPECT_TRUE(App->Documents().empty());
  EXPECT_TRUE(Rec.Take().empty());

  TDocLogic* doc = AddDocument();
  doc->InsertEntries({Q(Nodes->A101)}, -1);
  doc->SaveToFile(dir.File("t.kvd"));
  Rec.Take();
  EXPECT_THROW(App->OpenDocument(dir.File("t.kvd")), EInOutError);  // open in this window already
  doc->Close();
  Rec.Take();
  App->OpenDocument(dir.File("t.kvd"));
  EXPECT_EQ(Rec.Take(), (std::vector<E>{{App.get(), {DocCreate}}}));
  TDocLogic* opened = App->Documents().back().get();
  EXPECT_EQ(opened->DisplayName(), "t.kvd");
  EXPECT_FALSE(opened->IsModified);
  EXPECT_EQ(opened->Document->Entries[0]->Segment, Q(Nodes->A101));
}

class StatusTextTest : public AppLogicTest {};

TEST_F(StatusTextTest, PositionedInTheQuestionFinderSumsTheWholeList) {
  // Ten questions with 40 marks in all and no time, under one paper node.
  TIdentityCategory* many = TSmallLibrary::Node(App->Library()->QuestionTree, "C3", "Ten");
  for (int i = 0; i < 10; ++i) {
    TQuestion* q = TSmallLibrary::Node(many, std::to_string(i).c_str(), "q")->AddQuestion();
    q->Marks = static_cast<std::int16_t>(i < 5 ? 3 : 5);
  }
  App->Selector()->SetIdentityCriterion(many, true);
  const auto& results = App->Selector()->Results();
  ASSERT_EQ(results.size(), 10u);
  App->SetCurrentList(results, 2);
  App->SelectItem(results[2], results, true);
  EXPECT_EQ(App->StatusText(), "  Item 3 of 10 in Question Finder, total marks: 40");
}

TEST_F(StatusTextTest, SelectionsOutsideThePositionCountTheirOwnItems) {
  TDocLogic* doc = AddDocument();
  for (int i = 0; i < 3; ++i) doc->InsertText(-1, "t", false, Rtf("t"), 0, 0);
  const auto& entries = doc->Document->Entries;
  App->SetSelection({entries[0], entries[1], entries[2]}, entries);
  EXPECT_EQ(App->StatusText(), "  3 items");

  doc->InsertText(-1, "timed", false, Rtf("t"), 7, 5);
  App->SetCurrentList(entries, 0);
  App->SelectItem(entries[3], entries, true);  // not the list's current item
  EXPECT_EQ(App->StatusText(), "1 item, total marks: 5, time allowed: 7 min");

  App->SetCurrentList(entries, 3);
  EXPECT_EQ(App->StatusText(), "  Item 4 of 4 in Untitled, total marks: 5, time allowed: 7 min");
  App->SetCurrentDocument(doc);
  EXPECT_EQ(App->StatusText(), "  Item 4 of 4 in Untitled, total marks: 5, time allowed: 7 min");

  std::vector<TStreamable*> textList{Nodes->R1->Resource, Q(Nodes->A102)};
  App->SetCurrentList(textList, 1);
  App->SelectItem(Q(Nodes->A102), textList, true);
  EXPECT_EQ(App->StatusText(), "  Item 2 of 2 in Text List, total marks: 6");
  App->SetSelection({}, nullptr);
  EXPECT_EQ(App->StatusText(), "");
}

TEST(AppLogicLibrary, OpenLibraryReadsFilesAndOrganisationFromTheConfiguration) {
  RegisterModelClasses();
  TTempDir dir;
  {
    TSmallLibrary small;
    TFileStream data(dir.File("lib.dat"), TFileStream::TMode::Create);
    WriteLibraryFile(data, *small.Library);
    TFileStream text(dir.File("lib.txt"), TFileStream::TMode::Create);
    WriteChunkRecord(text, {"{\\rtf1 x}"});
  }
  std::ofstream(dir.File("vornika32.ini")) << "[physics]\nTextFilename=" << dir.File("lib.txt")
                                           << "\nLibFilename=" << dir.File("lib.dat")
                                           << "\nOrganisationName=Harrow Vale School\n";
  const char* old = std::getenv("HARROWVANE_CONFIG_DIR");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("HARROWVANE_CONFIG_DIR", dir.Path.c_str(), 1);
  {
    TAppLogic app;
    app.OpenLibrary("Physics");
    EXPECT_EQ(app.Subject(), "Physics");
    EXPECT_EQ(app.OrganisationName(), "Harrow Vale School");
    ASSERT_NE(app.Library(), nullptr);
    EXPECT_EQ(CurrentLibrary, app.Library());
    EXPECT_NE(app.TextStore(), nullptr);
    EXPECT_EQ(app.Selector()->Results().size(), 5u);
    EXPECT_THROW(app.OpenLibrary("Physics"), EError);
  }
  EXPECT_EQ(CurrentLibrary, nullptr);
  {
    TAppLogic app;
    try {
      app.OpenLibrary("Chemistry");
      FAIL();
    } catch (const EInOutError& e) {
      EXPECT_STREQ(e.what(), "Could not open library text file");
    }
  }
  if (old != nullptr)
    ::setenv("HARROWVANE_CONFIG_DIR", saved.c_str(), 1);
  else
    ::unsetenv("HARROWVANE_CONFIG_DIR");
}

}  // namespace
}  // namespace hv::test

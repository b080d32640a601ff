#include "commands/Utility.h"

#include <QFile>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "components/AnsiString.h"
#include "core/Errors.h"
#include "logic/DocLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace hv {

namespace {

TElement Key(const TCategory* category) { return reinterpret_cast<TElement>(category); }
TElement Key(char typeLetter) { return static_cast<TElement>(static_cast<unsigned char>(typeLetter)); }

void NumberTree(TCategory* root, int first) {
  if (root == nullptr) return;
  int next = first;
  auto iterator = root->CreateIterator();
  while (TCategory* node = iterator->Next())
    if (node->Parent != nullptr) CategorySymbols().Put(Key(node), static_cast<TElement>(next++));
}

const TTextSegment* SegmentOf(TStreamable* item, const TLibrary* library) {
  if (auto* entry = dynamic_cast<TDocContent*>(item)) return entry->Segment;
  if (auto* node = dynamic_cast<TIdentityCategory*>(item)) {
    if (library == nullptr) throw EDataError("No text for ID: R" + FullID(node));
    return library->FindSegment("R" + FullID(node), false);
  }
  if (auto* segment = dynamic_cast<TTextSegment*>(item)) return segment;
  throw EDataError("Invalid item for a document");
}

bool Shows(const TDocument& document, const TTextSegment* segment) {
  for (auto it = document.Entries.rbegin(); it != document.Entries.rend(); ++it)
    if ((*it)->Segment == segment) return true;
  return false;
}

}  // namespace

TDictionary& CategorySymbols() {
  static TDictionary symbols(20);
  return symbols;
}

TDictionary& ClassIcons() {
  static TDictionary icons(8);
  return icons;
}

void AssignSymbols(const TLibrary& library) {
  CategorySymbols().Clear();
  NumberTree(library.QuestionTypes, 1);
  NumberTree(library.Levels, 17);
  TDictionary& icons = ClassIcons();
  icons.Clear();
  icons.Put(Key('Q'), 1);
  icons.Put(Key('M'), 2);
  icons.Put(Key('S'), 3);
  icons.Put(Key('E'), 4);
  icons.Put(Key('T'), 5);
  icons.Put(Key('N'), 7);
}

int CategorySymbol(const TCategory* category) {
  return category != nullptr ? static_cast<int>(CategorySymbols().Get(Key(category))) : 0;
}

int ClassIcon(const TTextSegment* segment) {
  return segment != nullptr ? static_cast<int>(ClassIcons().Get(Key(segment->TypeLetter()))) : 0;
}

void AddItemsToDocument(TDocLogic& doc, const TItemList& items, int index, std::string_view undoName) {
  if (!doc.Document) throw EError("There is no document to add to");
  const TLibrary* library = CurrentLibrary;
  TItemList kept;
  kept.reserve(items.size());
  for (TStreamable* item : items) {
    const TTextSegment* segment = SegmentOf(item, library);
    if (Shows(*doc.Document, segment)) {
      const QString question = PathToQt(doc.DisplayName()) + QStringLiteral(" already contains ") +
                               AnsiToQt(segment->GetID()) + QStringLiteral(". Do you want to include it again?");
      if (Ask().Confirm(question, TAskButtons::YesNo) != TAskAnswer::Yes) continue;
    }
    kept.push_back(item);
  }
  if (!kept.empty()) doc.InsertEntries(kept, index, undoName);
}

}  // namespace hv

#pragma once
// Routines many windows and commands share: the symbol and icon tables of list drawing, and
// inserting items into a document with a question about duplicates.
#include "core/Collections.h"
#include "logic/AppLogic.h"

namespace hv {

class TCategory;
class TDocLogic;
class TLibrary;
class TTextSegment;

// Category -> symbol number (question types from 1, levels from 17) and segment class (keyed by
// its type letter) -> class icon number. Filled by AssignSymbols once the library is loaded.
TDictionary& CategorySymbols();
TDictionary& ClassIcons();

void AssignSymbols(const TLibrary& library);

// The symbol number of a category, or 0 when it has none.
int CategorySymbol(const TCategory* category);
// The icon number of a segment's class, or 0 (resources) when it is drawn without one.
int ClassIcon(const TTextSegment* segment);

// Inserts items (library segments, document entries or resource identity nodes) at index (-1
// appends). For each item whose text the document already shows, asks whether to include it
// again; the items the user drops are left out, and when none is left the document is not touched.
// undoName names the change in the Undo item.
void AddItemsToDocument(TDocLogic& doc, const TItemList& items, int index, std::string_view undoName = "Insert");

}  // namespace hv

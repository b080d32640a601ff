#include "WordSearch.h"

#include <chrono>
#include <cstdio>

#include "LibraryOpen.h"
#include "core/Errors.h"
#include "logic/QuestionSelector.h"
#include "logic/WordIndex.h"
#include "model/Segments.h"

namespace hv::hvlib {

namespace {

// "q,m,e,n" in any order and combination; the question's own text is always searched.
bool ParseScope(const std::string& list, TWordScope& scope) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const std::string part = list.substr(start, comma - start);
    if (part == "m") scope.MarkSchemes = true;
    else if (part == "e") scope.Reports = true;
    else if (part == "n") scope.Notes = true;
    else if (part != "q") return false;
    start = comma + 1;
  }
  return true;
}

}  // namespace

int SearchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const bool indexOnly = !args.empty() && args[0] == "--index";
  std::vector<std::string> rest(args.begin() + (indexOnly ? 1 : 0), args.end());
  if (rest.empty()) {
    err << "hvlib: search needs a library\n";
    return 2;
  }
  const std::string lib = rest[0];
  rest.erase(rest.begin());
  TWordScope scope;
  if (!indexOnly && !rest.empty() && rest[0] == "--in") {
    if (rest.size() < 2 || !ParseScope(rest[1], scope)) {
      err << "hvlib: --in takes a list of q, m, e and n, such as q,m\n";
      return 2;
    }
    rest.erase(rest.begin(), rest.begin() + 2);
  }
  if (indexOnly ? !rest.empty() : rest.empty()) {
    err << (indexOnly ? "hvlib: search --index takes only a library\n" : "hvlib: search needs words\n");
    return 2;
  }

  std::string key;
  const TLibraryFiles files = ResolveLibraryFiles(lib, std::string(), &key);
  const auto started = std::chrono::steady_clock::now();
  // The files' identity before they are read, as the program takes it.
  std::string identity;
  try {
    identity = LibraryFileIdentity(files.LibFilename, files.TextFilename);
  } catch (const EInOutError&) {
  }
  TOpenedLibrary loaded = OpenLibraryFiles(files.TextFilename, files.LibFilename);
  TCurrentLibraryScope current(loaded.Library.get());
  std::unique_ptr<TWordIndex> index = OpenLibraryWordIndex(*loaded.Library, key, identity);
  if (!index->Message().empty()) err << "hvlib: " << index->Message() << "\n";
  const int before = index->Indexed();
  index->BuildAll();
  if (index->Skipped() > 0) err << "hvlib: " << index->Skipped() << " texts could not be read and are not indexed\n";

  if (indexOnly) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.2f", seconds);
    out << "hvlib: word index of \"" << key << "\": " << index->Total() << " questions ("
        << index->Total() - before << " indexed now), " << index->FileSize() << " bytes, " << time << " s\n  "
        << index->Path() << "\n";
    return 0;
  }

  std::string words;
  for (const std::string& w : rest) words += (words.empty() ? "" : " ") + w;
  TQuestionSelector selector(*loaded.Library);
  TWordIndex* idx = index.get();
  selector.SetWordMatcher([idx](const TWordQuery& query, TWordScope s) { return idx->Match(query, s); });
  selector.SetWordCriterion(words, scope, true);
  if (!selector.HasWordCriterion()) {
    err << "hvlib: \"" << words << "\" holds no word to search for\n";
    return 2;
  }
  for (const TQuestion* q : selector.Results()) out << q->GetID() << "\n";
  return selector.Results().empty() ? 1 : 0;
}

}  // namespace hv::hvlib

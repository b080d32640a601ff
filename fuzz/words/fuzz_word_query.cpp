// Reads any bytes as a typed word query and runs it against a real full-text index: whatever was
// typed, the engine must accept the expression, never report a syntax error.
#include <cstdint>
#include <cstdlib>

#include "FuzzModel.h"
#include "core/Sqlite.h"
#include "logic/WordQuery.h"

using namespace hv;

namespace {

void WriteSeeds(const std::string& dir) {
  for (const char* q : {"cliff stone", "\"the cliff\" -kettle kinet*", "NEAR(a b) OR NOT {q}: ^x", "-\"\" * - \""}) {
    const std::string s = q;
    fuzz::WriteSeed(dir, std::to_string(s.size()), fuzz::TBytes(s.begin(), s.end()));
  }
}

TSqlDatabase& Index() {
  static TSqlDatabase db = [] {
    TSqlDatabase d(":memory:");
    d.Exec("CREATE VIRTUAL TABLE words USING fts5(q, m, e, n, tokenize='unicode61 remove_diacritics 2');"
           "INSERT INTO words VALUES ('the cliff and the stone', 'kinetic', 'kettle', 'near not or and')");
    return d;
  }();
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MaybeWriteSeeds(WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TWordQuery query = ParseWordQuery(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string& expression : {query.MatchExpression({"q", "m"}), query.ExcludedExpression({"q", "e", "n"})}) {
    if (expression.empty()) continue;
    auto st = Index().Prepare("SELECT rowid FROM words WHERE words MATCH ?1");
    st.Bind(1, expression);
    try {
      st.Run();
    } catch (const ESqlError&) {
      std::abort();
    }
  }
  return 0;
}

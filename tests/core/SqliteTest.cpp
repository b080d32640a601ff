#include "core/Sqlite.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace hv;

namespace {

struct TempDir {
  fs::path Path = fs::temp_directory_path() / ("hv-sqlite-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
  TempDir() { fs::create_directories(Path); }
  ~TempDir() { fs::remove_all(Path); }
};

const std::vector<std::function<void(TSqlDatabase&)>> kSchema = {
    [](TSqlDatabase& db) { db.Exec("CREATE TABLE t(k TEXT PRIMARY KEY, v REAL)"); },
    [](TSqlDatabase& db) { db.Exec("ALTER TABLE t ADD COLUMN n INTEGER DEFAULT 0"); },
};

int Count(TSqlDatabase& db) {
  auto st = db.Prepare("SELECT count(*) FROM t");
  st.Step();
  return static_cast<int>(st.Int(0));
}

}  // namespace

TEST(Sqlite, TransactionRollsBackOnExceptionAndStatementsRoundTrip) {
  TSqlDatabase db(":memory:");
  MigrateSchema(db, kSchema);
  EXPECT_EQ(db.UserVersion(), 2);
  auto ins = db.Prepare("INSERT INTO t(k, v, n) VALUES (?1, ?2, ?3)");
  ins.Bind(1, "Müller \"x\" ' ;").Bind(2, 0.25).Bind(3, std::int64_t{1} << 40).Run();
  try {
    TSqlTransaction t(db);
    ins.Reset();
    ins.Bind(1, "second").Run();
    ins.Reset();
    ins.Run();  // duplicate key: throws, the transaction must undo "second"
    t.Commit();
    FAIL() << "duplicate key accepted";
  } catch (const ESqlError& e) {
    EXPECT_EQ(e.Code, 19);  // SQLITE_CONSTRAINT
  }
  EXPECT_EQ(Count(db), 1);
  auto sel = db.Prepare("SELECT k, v, n FROM t");
  ASSERT_TRUE(sel.Step());
  EXPECT_EQ(sel.Text(0), "Müller \"x\" ' ;");
  EXPECT_DOUBLE_EQ(sel.Double(1), 0.25);
  EXPECT_EQ(sel.Int(2), std::int64_t{1} << 40);
  EXPECT_FALSE(sel.Step());
  EXPECT_TRUE(SqliteHasFts5());
}

TEST(Sqlite, DamagedOrNewerStoreIsSetAsideNotDeleted) {
  TempDir dir;
  const std::string path = (dir.Path / "store.sqlite").string();
  {
    std::ofstream(path) << "this is not a database, but somebody's file of the same name, long enough to read";
  }
  std::string message;
  {
    TSqlDatabase db = OpenStore(path, kSchema, &message);
    EXPECT_EQ(db.UserVersion(), 2);
    db.Exec("INSERT INTO t(k) VALUES ('a')");
    db.SetUserVersion(7);  // as a later program would leave it
  }
  EXPECT_NE(message.find(".damaged-"), std::string::npos) << message;
  message.clear();
  TSqlDatabase fresh = OpenStore(path, kSchema, &message);
  EXPECT_NE(message.find("newer version"), std::string::npos) << message;
  EXPECT_EQ(Count(fresh), 0);
  int aside = 0;
  for (const auto& e : fs::directory_iterator(dir.Path)) aside += e.path().filename() != "store.sqlite";
  EXPECT_EQ(aside, 2);  // both earlier files are kept
  // A store that cannot be created at all is an error, not a silent in-memory fallback.
  EXPECT_THROW(OpenStore((dir.Path / "missing" / "x.sqlite").string(), kSchema), ESqlError);
}

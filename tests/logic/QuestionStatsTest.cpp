#include <gtest/gtest.h>

#include <cmath>

#include "LogicFixtures.h"
#include "logic/QuestionStats.h"

namespace hv::test {
namespace {

using M = std::optional<double>;
const M kBlank;

// Six students on three questions worth 5, 7 and 4; student five left question two blank.
TMarkTable SixStudents() {
  return {{"QA101", "QA102", "QA103"},
          {5, 7, 4},
          {{5, 7, 4}, {4, 6, 3}, {3, 2, 4}, {1, 1, 0}, {2, kBlank, 1}, {0, 3, 2}}};
}

TEST(ItemFigures, MatchHandComputation) {
  const std::vector<TItemFigures> f = ComputeItemFigures(SixStudents());
  ASSERT_EQ(f.size(), 3u);
  // Question one: marks 5 4 3 1 2 0, mean 2.5 of 5; the rest of the test 11 9 6 1 1 5.
  EXPECT_EQ(f[0].Students, 6);
  EXPECT_DOUBLE_EQ(f[0].Mean, 2.5);
  EXPECT_DOUBLE_EQ(*f[0].Facility, 0.5);
  EXPECT_NEAR(*f[0].Discrimination, 0.771720, 1e-6);  // 29.5 / sqrt(17.5 * 83.5)
  // Question two: the blank is no mark, not a zero: five students, mean 19 / 5 of 7.
  EXPECT_EQ(f[1].Students, 5);
  EXPECT_DOUBLE_EQ(f[1].Mean, 3.8);
  EXPECT_NEAR(*f[1].Facility, 3.8 / 7, 1e-12);
  EXPECT_NEAR(*f[1].Discrimination, 0.752128, 1e-6);  // 27.2 / sqrt(26.8 * 48.8)
  // Student five's rest for question three leaves out the blank: 2 + 0, not a missing total.
  EXPECT_NEAR(*f[2].Discrimination, 0.755929, 1e-6);  // rests 12 10 5 2 2 3: 26.67 / sqrt(13.33 * 93.33)
}

TEST(ItemFigures, DiscriminationNeedsFiveStudentsAndSpread) {
  TMarkTable four{{"QA101", "QA102", "QA103"}, {5, 0, 4}, {{5, 0, 4}, {4, 0, 2}, {1, 0, 1}, {0, kBlank, 0}}};
  std::vector<TItemFigures> f = ComputeItemFigures(four);
  EXPECT_FALSE(f[0].Discrimination);  // four students only
  EXPECT_FALSE(f[1].Facility);        // worth 0 marks
  four.Rows.push_back({3, 0, 3});
  f = ComputeItemFigures(four);
  EXPECT_TRUE(f[0].Discrimination);
  // Everyone scored the same on question one's rest of the test: nothing to correlate.
  EXPECT_FALSE(ComputeItemFigures({{"QA101", "QA102"}, {5, 5}, {{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}}})[0].Discrimination);
}

TImportRecord Record(const std::string& cls, const std::string& date, std::vector<TItemFigures> items) {
  return {kSubject, cls, date, "marks.xlsx", std::move(items)};
}

TItemFigures Item(const std::string& id, int students, std::optional<double> facility, std::optional<double> disc) {
  return {id, students, facility ? *facility * 5 : 0, 5, facility, disc};
}

TEST(StatsStore, ImportsAddUpAndRepeatedImportReplaces) {
  TTempDir dir;
  TStatsStore store(dir.File("stats.sqlite"));
  std::vector<std::pair<TObservable*, std::vector<int>>> heard;
  struct TEar {
    std::vector<std::pair<TObservable*, std::vector<int>>>* Log;
    void Heard(TObservable* s, const TNotificationSet& c) { Log->push_back({s, c.Codes()}); }
  } ear{&heard};
  store.AddObserver<&TEar::Heard>(&ear);

  EXPECT_FALSE(store.Import(Record("10B", "2026-11-03", {Item("QA101", 20, 0.5, 0.4), Item("QA102", 20, 0.9, {})})));
  EXPECT_FALSE(store.Import(Record("10A", "2026-10-01", {Item("QA101", 10, 0.8, {})})));
  const TQuestionSummary* s = store.Summary(kSubject, "QA101");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Uses, 2);
  EXPECT_NEAR(*s->Facility, (20 * 0.5 + 10 * 0.8) / 30, 1e-12);  // weighted by students
  EXPECT_NEAR(*s->Discrimination, 0.4, 1e-12);                   // only the import that gives one
  EXPECT_EQ(s->LastClass, "10B");                                 // the later date, not the later import
  EXPECT_EQ(s->Classes, (std::vector<std::string>{"10A", "10B"}));
  EXPECT_EQ(store.Summary("Chemistry", "QA101"), nullptr);

  // The same class and questions again (the teacher mended a mark): replaced, not counted twice.
  EXPECT_TRUE(store.Import(Record("10B", "2026-11-04", {Item("QA101", 20, 0.6, 0.3), Item("QA102", 20, 0.9, {})})));
  s = store.Summary(kSubject, "QA101");
  EXPECT_EQ(s->Uses, 2);
  EXPECT_NEAR(*s->Facility, (20 * 0.6 + 10 * 0.8) / 30, 1e-12);
  EXPECT_EQ(store.ImportCount(), 2);
  EXPECT_EQ(store.Classes(kSubject), (std::vector<std::string>{"10A", "10B"}));
  EXPECT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0].second, std::vector<int>{StatsCode::Imported});
  store.RemoveObserver<&TEar::Heard>(&ear);

  EXPECT_EQ(SummaryLine(*s), "Used 2 times \xC2\xB7 facility 0.67 \xC2\xB7 discrimination 0.30 \xC2\xB7 last with 10B on 4 Nov 2026");
}

TEST(StatsStore, FailedImportLeavesEverythingAsItWas) {
  TTempDir dir;
  TStatsStore store(dir.File("stats.sqlite"));
  store.Import(Record("10B", "2026-11-03", {Item("QA101", 20, 0.5, 0.4)}));
  // A mean that is not a number cannot be stored: the failure comes after the earlier import of
  // the same class and questions was deleted and the new import's row went in.
  TItemFigures broken = Item("QA101", 5, 0.1, {});
  broken.Mean = std::nan("");
  EXPECT_THROW(store.Import(Record("10B", "2026-11-05", {broken})), ESqlError);
  EXPECT_THROW(store.Import(Record("", "2026-11-05", {Item("QA101", 5, 0.1, {})})), EDataError);
  EXPECT_EQ(store.ImportCount(), 1);
  TStatsStore reopened(dir.File("stats.sqlite"));
  const TQuestionSummary* s = reopened.Summary(kSubject, "QA101");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Uses, 1);
  EXPECT_DOUBLE_EQ(*s->Facility, 0.5);
}

TEST(StatsStore, DamagedOrNewerStoreIsKeptAsideAndAFreshOneStarted) {
  TTempDir dir;
  const std::string path = dir.File("stats.sqlite");
  {
    TStatsStore store(path);
    store.Import(Record("10B", "2026-11-03", {Item("QA101", 20, 0.5, 0.4)}));
    store.Database().SetUserVersion(TStatsStore::kSchemaVersion + 1);
  }
  std::string message;
  {
    TStatsStore newer(path, &message);
    EXPECT_NE(message.find("new one was started"), std::string::npos) << message;
    EXPECT_EQ(newer.ImportCount(), 0);
  }
  EXPECT_EQ(dir.Names().size(), 2u);  // the newer file kept beside the fresh one
  WriteBytes(path, std::vector<std::uint8_t>(4096, 'x'));
  message.clear();
  TStatsStore fresh(path, &message);
  EXPECT_NE(message.find("kept as"), std::string::npos) << message;
  EXPECT_EQ(fresh.Database().UserVersion(), TStatsStore::kSchemaVersion);
}

TEST(StatsFilter, NarrowsTheResultsByFacilityAndClass) {
  TTempDir dir;
  TAppFixture f;
  auto store = std::make_unique<TStatsStore>(dir.File("stats.sqlite"));
  const std::string a101 = f.Nodes->A101->Question->GetID(), a102 = f.Nodes->A102->Question->GetID(),
                    a103 = f.Nodes->A103->Question->GetID();
  store->Import(Record("10B", "2026-11-03", {Item(a101, 20, 0.3, {}), Item(a102, 20, 0.7, {})}));
  store->Import(Record("9C", "2026-11-04", {Item(a103, 20, 0.35, {})}));
  f.App->AttachStats(std::move(store));
  const std::size_t all = f.App->Selector()->Results().size();

  TStatsFilter harder;
  harder.MaxFacility = 0.4;
  f.App->SetStatsFilter(harder);
  std::vector<std::string> ids;
  for (const TQuestion* q : f.App->Selector()->Results()) ids.push_back(q->GetID());
  EXPECT_EQ(ids, (std::vector<std::string>{a101, a103}));

  TStatsFilter unused;
  unused.HideUsedWith = "10B";  // the questions never used stay
  f.App->SetStatsFilter(unused);
  EXPECT_EQ(f.App->Selector()->Results().size(), all - 2);
  // A new import for the class narrows the shown results at once.
  f.App->Stats()->Import(Record("10B", "2026-11-05", {Item(a103, 20, 0.5, {})}));
  EXPECT_EQ(f.App->Selector()->Results().size(), all - 3);
  f.App->SetStatsFilter({});
  EXPECT_EQ(f.App->Selector()->Results().size(), all);
}

}  // namespace
}  // namespace hv::test

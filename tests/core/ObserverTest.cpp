#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Observer.h"

namespace hv {
namespace {

struct TEvent {
  std::string Observer;
  const TObservable* Sender;
  std::vector<int> Codes;
  bool operator==(const TEvent&) const = default;
};

void PrintTo(const TEvent& e, std::ostream* os) {
  *os << e.Observer << "<-" << e.Sender << "{";
  for (int c : e.Codes) *os << c << ",";
  *os << "}";
}

using TLog = std::vector<TEvent>;

// Logs every notification it receives and then runs its scripted reaction, if any.
class TRecorder {
public:
  TRecorder(std::string name, TLog& log) : Name(std::move(name)), Log(log) {}
  void Changed(TObservable* sender, const TNotificationSet& codes) {
    Log.push_back({Name, sender, codes.Codes()});
    // A copy, because a reaction may replace itself while it runs.
    const std::function<void()> reaction = OnNotify;
    if (reaction) reaction();
  }
  TObserver Callback() { return TObserver::Bind<&TRecorder::Changed>(this); }

  std::function<void()> OnNotify;

private:
  std::string Name;
  TLog& Log;
};

class Observer : public ::testing::Test {
protected:
  TLog Log;
  TObservable Subject;
  TRecorder A{"A", Log};
  TRecorder B{"B", Log};
  TRecorder C{"C", Log};
  TRecorder D{"D", Log};

  void RegisterABC() {
    for (TRecorder* r : {&A, &B, &C}) Subject.AddObserver(r->Callback());
  }
  TEvent Got(const char* observer, std::vector<int> codes, const TObservable* sender = nullptr) {
    return {observer, sender != nullptr ? sender : &Subject, std::move(codes)};
  }
};

TEST(NotificationSet, CodeNIsBitNMod8OfByteNDiv8) {
  TNotificationSet set{0, 9, 255};
  EXPECT_EQ(set.Raw()[0], 0x01);
  EXPECT_EQ(set.Raw()[1], 0x02);
  EXPECT_EQ(set.Raw()[31], 0x80);
  EXPECT_EQ(set.Codes(), (std::vector<int>{0, 9, 255}));
  set.Exclude(9);
  EXPECT_FALSE(set.Contains(9));
  EXPECT_TRUE((set | TNotificationSet{9}).Contains(9));
  EXPECT_TRUE(TNotificationSet{}.IsEmpty());
  EXPECT_FALSE(TNotificationSet{3}.Intersects(TNotificationSet{4}));
}

TEST_F(Observer, DeliversToEveryRegistrationInOrder) {
  RegisterABC();
  Subject.Notify({1, 4});
  EXPECT_EQ(Log, (TLog{Got("A", {1, 4}), Got("B", {1, 4}), Got("C", {1, 4})}));
}

// One window failing to follow must not leave the others behind; the first failure goes on once.
TEST_F(Observer, FailingObserverDoesNotStopTheDelivery) {
  RegisterABC();
  A.OnNotify = [] { throw std::runtime_error("first"); };
  C.OnNotify = [] { throw std::logic_error("second"); };
  EXPECT_THROW(Subject.Notify({1}), std::runtime_error);
  EXPECT_EQ(Log, (TLog{Got("A", {1}), Got("B", {1}), Got("C", {1})}));
}

TEST_F(Observer, ObserverRemovingItselfDoesNotMakeOthersMissOrRepeat) {
  RegisterABC();
  A.OnNotify = [&] { Subject.RemoveObserver(A.Callback()); };
  Subject.Notify({1});
  Subject.Notify({2});
  EXPECT_EQ(Log, (TLog{Got("A", {1}), Got("B", {1}), Got("C", {1}), Got("B", {2}), Got("C", {2})}));
}

TEST_F(Observer, ObserverRemovedByAnEarlierOneIsNotCalled) {
  RegisterABC();
  B.OnNotify = [&] { Subject.RemoveObserver(C.Callback()); };
  Subject.Notify({1});
  EXPECT_EQ(Log, (TLog{Got("A", {1}), Got("B", {1})}));
}

TEST_F(Observer, RemovingAnEarlierObserverDoesNotSkipTheNextOne) {
  RegisterABC();
  B.OnNotify = [&] { Subject.RemoveObserver(A.Callback()); };
  Subject.Notify({1});
  EXPECT_EQ(Log, (TLog{Got("A", {1}), Got("B", {1}), Got("C", {1})}));
}

TEST_F(Observer, ObserverAddedDuringDeliveryIsCalledInTheSameDelivery) {
  RegisterABC();
  A.OnNotify = [&] {
    A.OnNotify = nullptr;
    Subject.AddObserver(D.Callback());
  };
  Subject.Notify({3});
  EXPECT_EQ(Log, (TLog{Got("A", {3}), Got("B", {3}), Got("C", {3}), Got("D", {3})}));
}

TEST_F(Observer, CallbackAddedTwiceIsCalledTwiceAndRemovedFromTheBack) {
  Subject.AddObserver(A.Callback());
  Subject.AddObserver(B.Callback());
  Subject.AddObserver(A.Callback());
  Subject.Notify({1});
  Subject.RemoveObserver(A.Callback());
  Subject.Notify({2});
  Subject.RemoveObserver(C.Callback());  // never registered: nothing happens
  Subject.Notify({3});
  EXPECT_EQ(Log, (TLog{Got("A", {1}), Got("B", {1}), Got("A", {1}), Got("A", {2}), Got("B", {2}), Got("A", {3}),
                       Got("B", {3})}));
}

TEST_F(Observer, NestedNotifyRunsToItsEndAndTheOuterDeliveryResumes) {
  RegisterABC();
  A.OnNotify = [&] {
    A.OnNotify = nullptr;
    Subject.Notify({2});
  };
  Subject.Notify({1});
  EXPECT_EQ(Log, (TLog{Got("A", {1}), Got("A", {2}), Got("B", {2}), Got("C", {2}), Got("B", {1}), Got("C", {1})}));
}

TEST_F(Observer, RemovalInsideANestedDeliveryKeepsBothDeliveriesInStep) {
  RegisterABC();
  B.OnNotify = [&] {
    B.OnNotify = [&] { Subject.RemoveObserver(A.Callback()); };
    Subject.Notify({2});
  };
  Subject.Notify({1});
  EXPECT_EQ(Log, (TLog{Got("A", {1}), Got("B", {1}), Got("A", {2}), Got("B", {2}), Got("C", {2}), Got("C", {1})}));
}

TEST_F(Observer, ObservableDestroyedDuringItsOwnDeliveryStopsQuietly) {
  auto owned = std::make_unique<TObservable>();
  for (TRecorder* r : {&A, &B}) owned->AddObserver(r->Callback());
  const TObservable* sender = owned.get();
  A.OnNotify = [&] { owned.reset(); };
  owned->Notify({5});
  EXPECT_EQ(Log, (TLog{Got("A", {5}, sender)}));
}

TEST_F(Observer, ObservableDestroyedInsideANestedDeliveryStopsBothQuietly) {
  auto owned = std::make_unique<TObservable>();
  for (TRecorder* r : {&A, &B, &C}) owned->AddObserver(r->Callback());
  const TObservable* sender = owned.get();
  A.OnNotify = [&] {
    A.OnNotify = nullptr;
    owned->Notify({2});
  };
  B.OnNotify = [&] { owned.reset(); };
  owned->Notify({1});
  EXPECT_EQ(Log, (TLog{Got("A", {1}, sender), Got("A", {2}, sender), Got("B", {2}, sender)}));
}

class Relay : public Observer {
protected:
  TObservable First;
  TObservable Second;
};

TEST_F(Relay, ForwardsWithTheSubjectAsSenderUntilDetached) {
  TNotificationRelay relay;
  relay.AddObserver(A.Callback());
  relay.AddObserver(B.Callback());
  relay.Attach(&First);
  relay.Attach(&Second);
  First.Notify({1});
  Second.Notify({2});
  relay.Detach(&First);
  First.Notify({3});
  Second.Notify({4});
  EXPECT_EQ(Log, (TLog{Got("A", {1}, &First), Got("B", {1}, &First), Got("A", {2}, &Second),
                       Got("B", {2}, &Second), Got("A", {4}, &Second), Got("B", {4}, &Second)}));
  EXPECT_EQ(relay.Subjects(), (std::vector<TObservable*>{&Second}));
  EXPECT_EQ(First.ObserverCount(), 0u);
}

TEST_F(Relay, RelaySharesSubjectsWithDirectObservers) {
  First.AddObserver(C.Callback());
  TNotificationRelay relay;
  relay.AddObserver(A.Callback());
  relay.Attach(&First);
  First.AddObserver(D.Callback());
  First.Notify({7});
  EXPECT_EQ(Log, (TLog{Got("C", {7}, &First), Got("A", {7}, &First), Got("D", {7}, &First)}));
}

TEST_F(Relay, DestructorDetachesFromEverySubject) {
  First.AddObserver(C.Callback());
  {
    TNotificationRelay relay;
    relay.AddObserver(A.Callback());
    relay.Attach(&First);
    relay.Attach(&Second);
    EXPECT_EQ(First.ObserverCount(), 2u);
    EXPECT_EQ(Second.ObserverCount(), 1u);
  }
  EXPECT_EQ(First.ObserverCount(), 1u);
  EXPECT_EQ(Second.ObserverCount(), 0u);
  First.Notify({1});
  Second.Notify({2});
  EXPECT_EQ(Log, (TLog{Got("C", {1}, &First)}));
}

TEST_F(Relay, RelayDestroyedWhileForwardingLetsTheSubjectFinish) {
  auto relay = std::make_unique<TNotificationRelay>();
  relay->AddObserver(A.Callback());
  relay->AddObserver(B.Callback());
  relay->Attach(&First);
  First.AddObserver(C.Callback());
  A.OnNotify = [&] { relay.reset(); };
  First.Notify({6});
  EXPECT_EQ(Log, (TLog{Got("A", {6}, &First), Got("C", {6}, &First)}));
  EXPECT_EQ(First.ObserverCount(), 1u);
}

TEST_F(Relay, ObserverLeavingTheRelayDuringForwardingDoesNotSkipTheNext) {
  TNotificationRelay relay;
  relay.AddObserver(A.Callback());
  relay.AddObserver(B.Callback());
  relay.Attach(&First);
  A.OnNotify = [&] { relay.RemoveObserver(A.Callback()); };
  First.Notify({1});
  First.Notify({2});
  EXPECT_EQ(Log, (TLog{Got("A", {1}, &First), Got("B", {1}, &First), Got("B", {2}, &First)}));
}

}  // namespace
}  // namespace hv

#include "core/Observer.h"

#include <algorithm>
#include <exception>

namespace hv {

std::vector<int> TNotificationSet::Codes() const {
  std::vector<int> codes;
  for (int c = 0; c < 256; ++c)
    if (Contains(c)) codes.push_back(c);
  return codes;
}

TObservable::~TObservable() {
  // Deliveries still on the stack must not touch this object once their callback returns.
  for (TDelivery* d = Active; d != nullptr; d = d->Outer) d->Dead = true;
}

void TObservable::Notify(const TNotificationSet& codes) { Deliver(this, codes); }

void TObservable::Deliver(TObservable* sender, const TNotificationSet& codes) {
  const TNotificationSet copy = codes;
  TDelivery delivery;
  delivery.Outer = Active;
  Active = &delivery;
  struct TRestore {
    TObservable* Self;
    TDelivery* D;
    ~TRestore() {
      if (!D->Dead) Self->Active = D->Outer;
    }
  } restore{this, &delivery};
  // An observer that fails must not leave the ones after it out of step: every observer hears
  // the set, and the first failure then goes on to the caller, which reports it once.
  std::exception_ptr failure;
  while (delivery.Cursor < static_cast<std::ptrdiff_t>(Registrations.size())) {
    const TObserver observer = Registrations[static_cast<std::size_t>(delivery.Cursor)];
    try {
      observer.Method(observer.Object, sender, copy);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    if (delivery.Dead) break;
    ++delivery.Cursor;
  }
  if (failure) std::rethrow_exception(failure);
}

void TObservable::AddObserver(const TObserver& observer) { Registrations.push_back(observer); }

void TObservable::RemoveObserver(const TObserver& observer) {
  for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(Registrations.size()) - 1; i >= 0; --i) {
    if (Registrations[static_cast<std::size_t>(i)] == observer) {
      Registrations.erase(Registrations.begin() + i);
      for (TDelivery* d = Active; d != nullptr; d = d->Outer)
        if (i <= d->Cursor) --d->Cursor;
      return;
    }
  }
}

TNotificationRelay::~TNotificationRelay() {
  for (TObservable* subject : SubjectList) subject->RemoveObserver<&TNotificationRelay::Relay>(this);
}

void TNotificationRelay::Relay(TObservable* sender, const TNotificationSet& codes) { Deliver(sender, codes); }

void TNotificationRelay::Attach(TObservable* subject) {
  subject->AddObserver<&TNotificationRelay::Relay>(this);
  SubjectList.push_back(subject);
}

void TNotificationRelay::Detach(TObservable* subject) {
  subject->RemoveObserver<&TNotificationRelay::Relay>(this);
  const auto it = std::find(SubjectList.begin(), SubjectList.end(), subject);
  if (it != SubjectList.end()) SubjectList.erase(it);
}

}  // namespace hv

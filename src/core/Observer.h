#pragma once
// Notification sets, observables and the relay that lets one observer follow a changing group.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace hv {

// A set of codes 0..255, passed by value so no observer can change what the others receive.
class TNotificationSet {
public:
  constexpr TNotificationSet() = default;
  constexpr TNotificationSet(std::initializer_list<int> codes) {
    for (int c : codes) Include(c);
  }
  constexpr void Include(int code) { Bits[Byte(code)] |= Bit(code); }
  constexpr void Exclude(int code) { Bits[Byte(code)] &= static_cast<std::uint8_t>(~Bit(code)); }
  constexpr bool Contains(int code) const { return (Bits[Byte(code)] & Bit(code)) != 0; }
  constexpr bool IsEmpty() const {
    for (auto b : Bits)
      if (b != 0) return false;
    return true;
  }
  constexpr bool Intersects(const TNotificationSet& other) const {
    for (std::size_t i = 0; i < Bits.size(); ++i)
      if ((Bits[i] & other.Bits[i]) != 0) return true;
    return false;
  }
  constexpr TNotificationSet operator|(const TNotificationSet& other) const {
    TNotificationSet r = *this;
    for (std::size_t i = 0; i < Bits.size(); ++i) r.Bits[i] |= other.Bits[i];
    return r;
  }
  constexpr bool operator==(const TNotificationSet&) const = default;
  std::vector<int> Codes() const;
  const std::array<std::uint8_t, 32>& Raw() const { return Bits; }

private:
  static constexpr std::size_t Byte(int code) { return static_cast<std::size_t>(code & 0xFF) >> 3; }
  static constexpr std::uint8_t Bit(int code) { return static_cast<std::uint8_t>(1u << (code & 7)); }
  std::array<std::uint8_t, 32> Bits{};
};

class TObservable;

// A bound observer method; two registrations are equal when object and method are.
struct TObserver {
  using TThunk = void (*)(void* object, TObservable* sender, const TNotificationSet& codes);
  void* Object = nullptr;
  TThunk Method = nullptr;
  bool operator==(const TObserver&) const = default;

  // TObserver::Bind<&TWindow::Changed>(window) for void TWindow::Changed(TObservable*, const TNotificationSet&).
  template <auto Fn, class T>
  static TObserver Bind(T* object) {
    return {object, [](void* o, TObservable* sender, const TNotificationSet& codes) {
              (static_cast<T*>(o)->*Fn)(sender, codes);
            }};
  }
};

// Delivers notification sets to its observers synchronously, in registration order.
//
// Observers may add or remove registrations (their own or others') during a delivery: an added
// one is called later in the same delivery, a removed one is not called, and nobody is skipped or
// called twice. A Notify from inside a callback runs to its end and the outer delivery then
// resumes where it was. An observer that throws does not stop the delivery: the others are still
// called, and the first exception is rethrown to the notifier at the end.
class TObservable {
public:
  TObservable() = default;
  TObservable(const TObservable&) = delete;
  TObservable& operator=(const TObservable&) = delete;
  virtual ~TObservable();

  virtual void Notify(const TNotificationSet& codes);
  virtual void AddObserver(const TObserver& observer);
  virtual void RemoveObserver(const TObserver& observer);

  template <auto Fn, class T>
  void AddObserver(T* object) { AddObserver(TObserver::Bind<Fn>(object)); }
  template <auto Fn, class T>
  void RemoveObserver(T* object) { RemoveObserver(TObserver::Bind<Fn>(object)); }

  std::size_t ObserverCount() const { return Registrations.size(); }

protected:
  // Calls every registration with the given sender (a relay passes on the original sender).
  void Deliver(TObservable* sender, const TNotificationSet& codes);

private:
  struct TDelivery {
    std::ptrdiff_t Cursor = 0;
    bool Dead = false;
    TDelivery* Outer = nullptr;
  };
  std::vector<TObserver> Registrations;
  TDelivery* Active = nullptr;  // innermost delivery in progress
};

// Forwards the notifications of every attached subject to its own observers, with the subject as
// the sender.
class TNotificationRelay : public TObservable {
public:
  ~TNotificationRelay() override;
  virtual void Relay(TObservable* sender, const TNotificationSet& codes);
  virtual void Attach(TObservable* subject);
  virtual void Detach(TObservable* subject);
  const std::vector<TObservable*>& Subjects() const { return SubjectList; }

private:
  std::vector<TObservable*> SubjectList;
};

}  // namespace hv

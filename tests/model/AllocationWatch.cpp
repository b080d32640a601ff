#include "AllocationWatch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gWatching{false};
std::atomic<std::size_t> gLargest{0};
std::atomic<std::size_t> gTotal{0};

void* Allocate(std::size_t n) {
  if (gWatching.load(std::memory_order_relaxed)) {
    gTotal.fetch_add(n, std::memory_order_relaxed);
    std::size_t seen = gLargest.load(std::memory_order_relaxed);
    while (n > seen && !gLargest.compare_exchange_weak(seen, n, std::memory_order_relaxed)) {
    }
  }
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace hv::test {

TAllocationWatch::TAllocationWatch() {
  gLargest = 0;
  gTotal = 0;
  gWatching = true;
}

TAllocationWatch::~TAllocationWatch() { gWatching = false; }

std::size_t TAllocationWatch::Largest() const { return gLargest; }

}  // namespace hv::test

std::size_t hv::test::TAllocationWatch::Total() const { return gTotal; }

#pragma once
// Records the largest single request to operator new, and the sum of all of them, while a watch
// is alive, so tests can show that hostile counts and lengths in a stream never reach the allocator.
#include <cstddef>

namespace hv::test {

class TAllocationWatch {
public:
  TAllocationWatch();
  ~TAllocationWatch();
  TAllocationWatch(const TAllocationWatch&) = delete;
  TAllocationWatch& operator=(const TAllocationWatch&) = delete;

  std::size_t Largest() const;
  std::size_t Total() const;  // sum of all requests, freed or not
};

}  // namespace hv::test

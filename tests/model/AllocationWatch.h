#pragma once
// Records the largest single request to operator new while a watch is alive, so tests can show
// that a hostile count or length in a stream never reached the allocator.
#include <cstddef>

namespace hv::test {

class TAllocationWatch {
public:
  TAllocationWatch();
  ~TAllocationWatch();
  TAllocationWatch(const TAllocationWatch&) = delete;
  TAllocationWatch& operator=(const TAllocationWatch&) = delete;

  std::size_t Largest() const;
};

}  // namespace hv::test

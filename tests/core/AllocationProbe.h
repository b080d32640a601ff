#pragma once
// Watches heap allocations made through operator new, so tests can tell that a hostile length
// in a stream was not handed to the allocator.
#include <cstddef>

namespace hv::test {

class TAllocationProbe {
public:
  TAllocationProbe();
  ~TAllocationProbe();
  TAllocationProbe(const TAllocationProbe&) = delete;
  TAllocationProbe& operator=(const TAllocationProbe&) = delete;

  std::size_t Largest() const;  // biggest single request since construction
  std::size_t Total() const;    // sum of all requests since construction
};

}  // namespace hv::test

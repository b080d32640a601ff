#include "core/Errors.h"

namespace hv {

EListError EListError::Index(long long index) {
  return EListError("List index out of bounds (" + std::to_string(index) + ")");
}

EListError EListError::Capacity(long long capacity) {
  return EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
}

}  // namespace hv

#pragma once
// byte_buffer: a growable run of bytes whose growth leaves the new bytes as they are, for areas
// that are written in full before anything reads them (a packed item's stream, filled by the
// compressor). std::vector<uint8_t> would clear every byte first, a pass over memory that the
// next pass overwrites.

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace repcopy {

template <class T>
class default_init_allocator : public std::allocator<T> {
 public:
  template <class U>
  struct rebind {
    using other = default_init_allocator<U>;
  };
  using std::allocator<T>::allocator;

  // Default-initialises (for bytes: leaves them alone) where std::allocator value-initialises.
  template <class U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    std::construct_at(at, std::forward<Args>(args)...);
  }
};

using byte_buffer = std::vector<uint8_t, default_init_allocator<uint8_t>>;

}  // namespace repcopy

#pragma once
// Storage for the LU element arrays (a, indc, indr and their position hints).

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

namespace kavro::lu {

// The element arrays are sized for the worst case, and a factorization usually fills a small
// part of them. They come zeroed from calloc, whose large blocks are fresh pages the system zeroes
// on first use, so the untouched part costs neither a clearing pass nor page faults (which made
// up a quarter of the time of some short solves).
template <class T>
struct LazyZeroAllocator {
  using value_type = T;
  LazyZeroAllocator() = default;
  template <class U>
  LazyZeroAllocator(const LazyZeroAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (void* p = std::calloc(n, sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, size_t) noexcept { std::free(p); }
  // Value-initialization is a no-op: fresh memory is zero already. So only fresh arrays are
  // zero: growing an array again after shrinking it would keep old values; LuStorage::resize
  // always builds new arrays.
  template <class U>
  void construct(U*) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const LazyZeroAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using ElementArray = std::vector<T, LazyZeroAllocator<T>>;

}  // namespace kavro::lu

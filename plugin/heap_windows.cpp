// The DLL's own allocation functions: the C runtime's heap, and nothing else.
//
// The library's non-throwing operator new is written on top of the throwing
// one and catches what it throws, so it would bring the whole exception
// machinery into a DLL that never throws. The unit asks only for the
// non-throwing form and releases with delete; these are all the forms it uses.
// A null result is how a load learns that storage ran out.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  // malloc(0) may return null; a successful zero-size new may not.
  return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* p) noexcept { std::free(p); }

void operator delete(void* p, std::size_t) noexcept { std::free(p); }

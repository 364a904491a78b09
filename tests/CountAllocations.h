// Counts every allocation through the global operator new, so that a test can
// see that a piece of code allocates nothing. Include it in exactly one source
// file of a test program: it replaces the program's operator new and delete.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

// The operators are never inlined: GCC would otherwise see memory from
// malloc handed to operator delete, or from operator new handed to free,
// and warn of a mismatch that is none.

namespace varmolen::test {
inline std::atomic<long> allocations{0};
}  // namespace varmolen::test

[[gnu::noinline]] void* operator new(std::size_t size)
{
    varmolen::test::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) { return operator new(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// The transform's register arithmetic: the values one 16-byte register
// holds, loaded and stored without assuming alignment, reversed, and the
// radix-2 butterfly on a value or a register of values. Only the spectrum
// kernel uses these; they are templates so that the scalar and the register
// paths are one code.
#pragma once

#include <cstring>
#include <type_traits>

namespace varmolen::spectrum_lanes {

// As many values as one 16-byte register holds (GCC's vector extension: one
// SSE2 register on x86-64), loaded and stored through memcpy so that no
// alignment is assumed. Each lane does exactly what the scalar code does.
template <typename T>
struct Lanes {
    typedef T Vec __attribute__((vector_size(16)));
    static constexpr int kCount = static_cast<int>(16 / sizeof(T));
};

template <typename V, typename T>
inline V load(const T* p)
{
    if constexpr (std::is_same_v<V, T>) {
        return *p;
    } else {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
}

template <typename V, typename T>
inline void store(T* p, V v)
{
    if constexpr (std::is_same_v<V, T>)
        *p = v;
    else
        std::memcpy(p, &v, sizeof v);
}

// The lanes of a register in reverse order (__builtin_shufflevector: GCC
// from 12 and Clang both know it, so clang-tidy reads this file as GCC
// compiles it).
template <typename T>
inline typename Lanes<T>::Vec reversedLanes(typename Lanes<T>::Vec v)
{
    if constexpr (Lanes<T>::kCount == 2)
        return __builtin_shufflevector(v, v, 1, 0);
    else
        return __builtin_shufflevector(v, v, 3, 2, 1, 0);
}

// One radix-2 butterfly: q turned by (fr, fi), meaning fr - i fi, then the
// sum into p and the difference into q. V is T or a register of T.
template <typename V>
inline void butterfly(V& pr, V& pi, V& qr, V& qi, V fr, V fi)
{
    const V tr = fr * qr + fi * qi;
    const V ti = fr * qi - fi * qr;
    qr = pr - tr;
    qi = pi - ti;
    pr = pr + tr;
    pi = pi + ti;
}

}  // namespace varmolen::spectrum_lanes

// Clearing the upper halves of the processor's vector registers before a
// stretch of the instrument's own floating-point work.
//
// The instrument is built for the baseline x86-64 instruction set. On
// processors with wide vector registers, its floating-point instructions pay
// a heavy toll whenever a library routine (the toolkit's text and image
// drawing) has left the registers' upper halves in use, and that state lasts
// until something clears it. Measured: the display pass's logarithms of a
// spectrum ran about eight times slower in a window whose measurement strip
// draws text, and the strip seemed to cost ten times its own work. One
// instruction at the start of each block's work clears that state.
#pragma once

namespace varmolen {

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx"), gnu::noinline]] inline void clearUpperVectorStateAvx() { __builtin_ia32_vzeroupper(); }

inline void clearUpperVectorState()
{
    if (__builtin_cpu_supports("avx"))
        clearUpperVectorStateAvx();
}
#else
inline void clearUpperVectorState() {}
#endif

}  // namespace varmolen

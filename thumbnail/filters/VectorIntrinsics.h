#pragma once

// <immintrin.h> for the x86-64 vector paths, included where those are built.
// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined value, which its own uninitialised-use check then reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop

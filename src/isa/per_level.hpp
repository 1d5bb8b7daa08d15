// Included first by every source built once per level (*_level.cpp, listed
// in qv_per_level() in CMakeLists.txt). The build defines QV_ISA_LEVEL (the
// level's name: baseline, avx2 or avx512) and QV_ISA_WIDTH (doubles to its
// widest vector: 2, 4 or 8).
//
// Such a source defines everything inside a namespace named QV_ISA_LEVEL (or
// an anonymous one), and shared headers it includes put their inline code
// inside `inline namespace QV_ISA_INLINE` (isa/level.hpp). The linker keeps
// one copy of an inline function or template instantiated in several
// objects: were the AVX-512 build's copy kept for everyone, a processor
// without AVX-512 would run it. A CTest checks that the level objects export no such symbol
// outside their level's namespace. Helpers from elsewhere that a kernel uses
// must be always-inline; the pool, TBB and the standard containers stay in
// the ordinary sources, which call a level's kernel through QV_ISA_PICK.
#pragma once
#include <cstddef>

#include "isa/level.hpp"
#include "isa/vec.hpp"

#if !defined(QV_ISA_LEVEL) || !defined(QV_ISA_WIDTH)
#error "a per-level source: list it in qv_per_level() in CMakeLists.txt"
#endif

namespace qv::isa {
inline namespace QV_ISA_INLINE {

// This build's level and the width of its widest vectors in doubles.
constexpr Level kLevel = Level::QV_ISA_LEVEL;
constexpr std::size_t kWidth = QV_ISA_WIDTH;
using F64 = Vec<kWidth>::f64;
using I64 = Vec<kWidth>::i64;
using U64 = Vec<kWidth>::u64;

}  // namespace QV_ISA_INLINE
}  // namespace qv::isa

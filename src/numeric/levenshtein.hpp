// Edit distance over bytes, by the bit-parallel algorithm: one 64-bit word
// holds the vertical differences of 64 cells of a column of the distance
// table, and a column advances a word at a time. Plain C++.
#pragma once
#include <cstdint>
#include <string_view>

#include "isa/level.hpp"

namespace qv::numeric {

// Levenshtein distance between the bytes of a and b: insertions, deletions
// and substitutions of single bytes, each costing 1.
std::int64_t levenshtein(std::string_view a, std::string_view b);

// Whether levenshtein(a, b) is sure to take under a microsecond: the shorter
// string has at most 64 bytes and the longer at most 256.
bool levenshtein_is_quick(std::string_view a, std::string_view b) noexcept;

// The builds of levenshtein by level (levenshtein_level.cpp).
QV_ISA_DECLARE(std::int64_t levenshtein(std::string_view a, std::string_view b))

}  // namespace qv::numeric

#include "numeric/levenshtein.hpp"

#include <algorithm>

namespace qv::numeric {

std::int64_t levenshtein(std::string_view a, std::string_view b) {
    static const auto distance = QV_ISA_PICK(levenshtein);
    return distance(a, b);
}

bool levenshtein_is_quick(std::string_view a, std::string_view b) noexcept {
    return std::min(a.size(), b.size()) <= 64 && std::max(a.size(), b.size()) <= 256;
}

}  // namespace qv::numeric

#include "isa/level.hpp"

#include <cstdlib>
#include <cstring>

namespace qv::isa {

const char* name(Level level) noexcept {
    switch (level) {
        case Level::avx512: return "avx512";
        case Level::avx2: return "avx2";
        case Level::baseline: break;
    }
    return "baseline";
}

Level cpu_level() noexcept {
    static const Level level = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("x86-64-v4")) return Level::avx512;
        if (__builtin_cpu_supports("x86-64-v3")) return Level::avx2;
        return Level::baseline;
    }();
    return level;
}

Level level_for(const char* request, Level cpu) noexcept {
    if (!request) return cpu;
    for (Level l : kLevels)
        if (std::strcmp(request, name(l)) == 0) return l < cpu ? l : cpu;
    return cpu;
}

Level level() noexcept {
    static const Level level = level_for(std::getenv("QUORVANE_ISA"), cpu_level());
    return level;
}

}  // namespace qv::isa

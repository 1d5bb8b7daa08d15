#include "random/random.hpp"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>

#include "core/error.hpp"
#include "random/random_level.hpp"

namespace qv::rnd {
namespace {

// ---- entropy and fork ----------------------------------------------------

std::atomic<std::uint64_t> g_forks{0};

}  // namespace

void urandom_entropy(std::uint32_t key[8]) {
    unsigned char buf[32];
    std::size_t got = 0;
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    while (fd >= 0 && got < sizeof buf) {
        ssize_t r = ::read(fd, buf + got, sizeof buf - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    if (fd >= 0) ::close(fd);
    if (got != sizeof buf) qv::internal_failure("the operating system's random source failed");
    std::memcpy(key, buf, sizeof buf);  // little-endian words
}

namespace {

void os_entropy(std::uint32_t key[8]) {
    unsigned char buf[32];
    std::size_t got = 0;
    while (got < sizeof buf) {
        ssize_t r = ::getrandom(buf + got, sizeof buf - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno == ENOSYS) return urandom_entropy(key);
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    if (got != sizeof buf) qv::internal_failure("the operating system's random source failed");
    std::memcpy(key, buf, sizeof buf);  // little-endian words
}

thread_local std::optional<ThreadGenerator> t_generator;

// In the child only the forking thread lives on: its generator must not hand
// out the words it had buffered, which the parent hands out too.
void after_fork_in_child() {
    g_forks.fetch_add(1, std::memory_order_relaxed);
    if (t_generator) t_generator->discard_buffer();
}

// ---- ziggurat ------------------------------------------------------------

constexpr double kZigR = 3.654152885361009;  // start of the tail
constexpr double kZigV = 0.00492867323399;   // area of each layer

double density(double x) { return std::exp(-x * x / 2.0); }

ZigguratTables build_ziggurat() {
    ZigguratTables t;
    t.x[0] = kZigV / density(kZigR);
    t.x[1] = kZigR;
    for (int i = 1; i <= 254; ++i) t.x[i + 1] = std::sqrt(-2.0 * std::log(kZigV / t.x[i] + density(t.x[i])));
    t.x[256] = 0.0;
    for (int i = 0; i <= 255; ++i) t.f[i] = density(t.x[i]);
    t.f[256] = 1.0;
    return t;
}

double bits_to_double(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

constexpr std::uint64_t kExponentOf1 = 0x3ff0000000000000ULL;
constexpr std::uint64_t kExponentOf2 = 0x4000000000000000ULL;

constexpr std::int64_t kRefillBytes = kRefillWords * 4;

}  // namespace

// ---- block generator -----------------------------------------------------

void BlockGenerator::set_key(const std::uint32_t key[8]) {
    std::memcpy(key_, key, sizeof key_);
    counter_ = 0;
    pos_ = end_ = 0;
    spare_ = false;
}

void BlockGenerator::refill() {
    if (before_refill_) before_refill_(*this);
    if (spare_) {
        pos_ = kRefillWords;
        spare_ = false;
    } else {
        chacha12_blocks8(key_, counter_, buf_);
        pos_ = 0;
        spare_ = true;
    }
    end_ = pos_ + kRefillWords;
    counter_ += kBlocksPerRefill;
}

std::uint64_t BlockGenerator::next_word_across() {
    if (pos_ == end_) {
        refill();
        std::uint64_t w = buf_[pos_] | static_cast<std::uint64_t>(buf_[pos_ + 1]) << 32;
        pos_ += 2;
        return w;
    }
    std::uint64_t low = buf_[pos_];  // the refill's last word
    refill();
    std::uint64_t high = buf_[pos_++];
    return low | high << 32;
}

void fill_unit_floats(BlockGenerator& g, double* out, std::size_t n) {
    static const auto unit_floats_from = QV_ISA_PICK(unit_floats_from);
    while (n) {
        std::size_t pairs = (g.end_ - g.pos_) / 2;
        if (pairs == 0 || g.pos_ % 2) {  // a word across refills, or read position odd
            *out++ = unit_float(g);
            --n;
            continue;
        }
        if (pairs > n) pairs = n;
        unit_floats_from(g.buf_ + g.pos_, out, pairs);
        g.pos_ += static_cast<unsigned>(2 * pairs);
        out += pairs;
        n -= pairs;
    }
}

// ---- seeded generator ----------------------------------------------------

void pcg32_key(std::uint64_t seed, std::uint32_t key[8]) {
    std::uint64_t s = seed;
    for (int i = 0; i < 8; ++i) {
        s = s * 6364136223846793005ULL + 11634580027462260723ULL;
        auto x = static_cast<std::uint32_t>(((s >> 18) ^ s) >> 27);
        auto r = static_cast<unsigned>(s >> 59);
        key[i] = (x >> r) | (x << ((32 - r) & 31));
    }
}

SeededGenerator::SeededGenerator(std::uint64_t seed) {
    std::uint32_t key[8];
    pcg32_key(seed, key);
    set_key(key);
}

// ---- thread generator ----------------------------------------------------

ThreadGenerator::ThreadGenerator(EntropySource source)
    : source_(source), forks_seen_(g_forks.load(std::memory_order_relaxed)) {
    static std::once_flag at_fork;
    std::call_once(at_fork, [] { pthread_atfork(nullptr, nullptr, after_fork_in_child); });
    std::uint32_t key[8];
    source_(key);
    set_key(key);
    before_refill_ = before_refill;
}

void ThreadGenerator::before_refill(BlockGenerator& base) {
    auto& g = static_cast<ThreadGenerator&>(base);
    std::uint64_t forks = g_forks.load(std::memory_order_relaxed);
    if (g.budget_ <= 0 || forks != g.forks_seen_) {
        std::uint32_t key[8];
        g.source_(key);
        g.set_key(key);
        g.budget_ = kReseedBudget - kRefillBytes;
        g.forks_seen_ = forks;
    } else {
        g.budget_ -= kRefillBytes;
    }
}

ThreadGenerator& thread_generator() {
    if (!t_generator) t_generator.emplace(os_entropy);
    return *t_generator;
}

std::uint64_t fork_count() { return g_forks.load(std::memory_order_relaxed); }

// ---- floats and the normal draw --------------------------------------------

double open_unit_float_from(std::uint64_t w) { return bits_to_double(kExponentOf1 | (w >> 12)) - (1.0 - 0x1.0p-53); }

double open_unit_float(BlockGenerator& g) { return open_unit_float_from(g.next_word()); }

const ZigguratTables& ziggurat_tables() {
    static const ZigguratTables tables = build_ziggurat();
    return tables;
}

double normal(BlockGenerator& g) {
    const ZigguratTables& t = ziggurat_tables();
    for (;;) {
        std::uint64_t w = g.next_word();
        unsigned i = static_cast<unsigned>(w & 0xff);
        double u = bits_to_double(kExponentOf2 | (w >> 12)) - 3.0;  // [-1, 1)
        double x = u * t.x[i];
        if (std::fabs(x) < t.x[i + 1]) return x;
        if (i == 0) {  // the tail beyond R
            double tail;
            for (;;) {
                double a = open_unit_float(g);
                double b = open_unit_float(g);
                tail = std::log(a) / kZigR;
                double y = std::log(b);
                if (tail * tail <= -2.0 * y) break;
            }
            return u < 0.0 ? tail - kZigR : kZigR - tail;
        }
        double v = unit_float(g);
        if (v * (t.f[i] - t.f[i + 1]) + t.f[i + 1] < std::exp(x * x * -0.5)) return x;
    }
}

void fill_normals(BlockGenerator& g, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = normal(g);
}

}  // namespace qv::rnd

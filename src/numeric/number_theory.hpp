// Number theory on 64-bit machine integers.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

namespace qv::numeric {

std::int64_t gcd(std::int64_t a, std::int64_t b);
std::int64_t lcm(std::int64_t a, std::int64_t b);
std::uint64_t mod_pow(std::uint64_t base, std::uint64_t exp, std::uint64_t modulus);
bool is_prime(std::uint64_t n);
std::vector<std::uint64_t> sieve(std::uint64_t limit);
std::pair<std::uint64_t, std::uint64_t> fib_pair(std::uint64_t n);
std::uint64_t fibonacci(std::uint64_t n);

}  // namespace qv::numeric

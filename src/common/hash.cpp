#include "common/hash.h"

#include <sys/random.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace quillmere {

namespace {

// 0 until the first draw is stored.
std::atomic<std::uint64_t> g_seed{0};

std::uint64_t draw_seed() {
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
        // No entropy source: fall back to the clock and an address.
        seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               reinterpret_cast<std::uintptr_t>(&seed);
    }
    return seed | 1;
}

inline std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    __uint128_t r = static_cast<__uint128_t>(a) * b;
    return static_cast<std::uint64_t>(r) ^ static_cast<std::uint64_t>(r >> 64);
}

inline std::uint64_t read64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint32_t read32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// A text of fewer than 8 bytes in one word, read without a copy of
// variable length (a call, and a stall reading back what it stored): two
// overlapping 4-byte reads, or the first, middle and last byte. With the
// length, the word tells the text.
inline std::uint64_t read_tail(const unsigned char* p, std::size_t n) {
    if (n >= 4) return read32(p) | (static_cast<std::uint64_t>(read32(p + n - 4)) << 32);
    if (n == 0) return 0;  // an empty view may have no storage
    return p[0] | (static_cast<std::uint64_t>(p[n / 2]) << 8) | (static_cast<std::uint64_t>(p[n - 1]) << 16);
}

constexpr std::uint64_t kP0 = 0xa0761d6478bd642full;
constexpr std::uint64_t kP1 = 0xe7037ed1a0b428dbull;
constexpr std::uint64_t kP2 = 0x8ebc6af09c88c6e3ull;

}  // namespace

// Filling the store never waits: a thread that loses the race to store its
// draw uses the stored one.
std::uint64_t hash_seed() {
    std::uint64_t seed = g_seed.load(std::memory_order_acquire);
    if (seed != 0) return seed;
    const std::uint64_t drawn = draw_seed();
    if (g_seed.compare_exchange_strong(seed, drawn, std::memory_order_acq_rel)) return drawn;
    return seed;
}

std::uint64_t hash_bytes(std::string_view bytes, std::uint64_t seed) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    // Keys are mostly short: up to 16 bytes take one multiplication, the
    // two (possibly overlapping) words covering the text.
    if (n <= 16) {
        std::uint64_t a = 0, b = 0;
        if (n >= 8) {
            a = read64(p);
            b = read64(p + n - 8);
        } else {
            a = read_tail(p, n);
        }
        return mix(a ^ seed ^ kP0, b ^ (seed + n) ^ kP1);
    }
    std::uint64_t h = seed ^ mix(seed ^ kP0, n ^ kP1);
    std::size_t left = n;
    for (; left > 16; p += 16, left -= 16) h = mix(read64(p) ^ kP1 ^ h, read64(p + 8) ^ kP2 ^ seed);
    // The last 16 bytes, overlapping what came before.
    p = reinterpret_cast<const unsigned char*>(bytes.data()) + n - 16;
    h = mix(read64(p) ^ kP1 ^ h, read64(p + 8) ^ kP2 ^ seed);
    return mix(h ^ kP0, n ^ kP2);
}

}  // namespace quillmere

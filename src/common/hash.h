// Keyed hashing for the maps that hold text from the input.
//
// Anchor tables, tag handles, duplicate-key sets and the Python key cache
// are indexed by text that an attacker may choose. Their hash is keyed with
// one process-wide seed, drawn from the operating system's random source the
// first time any of them needs it, so colliding inputs cannot be prepared in
// advance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmere {

// The process's seed (drawn on first use; never 0).
std::uint64_t hash_seed();

std::uint64_t hash_bytes(std::string_view bytes, std::uint64_t seed);

struct SeededHash {
    using is_transparent = void;
    std::uint64_t seed = hash_seed();
    std::size_t operator()(std::string_view s) const { return static_cast<std::size_t>(hash_bytes(s, seed)); }
    std::size_t operator()(const std::string& s) const { return (*this)(std::string_view(s)); }
};

struct TextEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

}  // namespace quillmere

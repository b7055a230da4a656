// KeySet: the mapping keys seen so far, for duplicate detection and merges.
//
// Two keys are the same exactly when their canonical_key_text is: same
// variant and same payload, floats by their bits (so 0.0 and -0.0 differ
// and a NaN equals a NaN with the same bits), collections element by
// element. The set decides this on the values themselves, hashing them
// with the thread's keyed hash, so no text is built per key.
#pragma once

#include <cstdint>
#include <vector>

#include "model/value.h"

namespace quillmere::decode {

std::uint64_t key_hash(const Value& key, std::uint64_t seed);
bool keys_equal(const Value& a, const Value& b);

// Most mappings are small: up to kLinear keys are kept in a list and
// compared one by one, which costs less than hashing them; past that the
// keys move into an open-addressing table.
class KeySet {
public:
    KeySet() = default;
    // Adds `key`; false when an equal key was there already. The key's
    // storage must outlive the set (it lives in the tree's arena).
    bool insert(const Value& key);

private:
    static constexpr std::size_t kLinear = 16;
    struct Slot {
        std::uint64_t hash = 0;
        Value key;
        bool used = false;
    };
    bool insert_hashed(const Value& key);
    void grow();

    Value few_[kLinear];
    std::size_t count_ = 0;
    std::uint64_t seed_ = 0;
    std::vector<Slot> slots_;  // empty while the keys fit in few_
};

}  // namespace quillmere::decode

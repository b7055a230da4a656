// KeySet: the mapping keys seen so far, for duplicate detection and merges.
//
// Two keys are the same when Python would make them one dict entry, which
// is exactly when their canonical_key_text is the same: numbers by their
// value (true, 1 and 1.0 are one key; 0.0 and -0.0 are one key; a big
// integer and a whole float of the same value are one key), strings by
// their text, collections element by element. A NaN equals a NaN with the
// same bits. The set decides this on the values themselves, hashing them
// with the thread's keyed hash, so no text is built per key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/value.h"

namespace quillmere::decode {

std::uint64_t key_hash(const Value& key, std::uint64_t seed);
bool keys_equal(const Value& a, const Value& b);

// The decimal text (an optional '-', then digits without leading zeros) of
// a number key whose value is whole: a Bool, an Int, a BigInt, a Float with
// no fraction. Nothing for other floats, infinities, NaN, and a BigInt text
// that is no integer.
std::optional<std::string> whole_number_text(const Value& number);

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

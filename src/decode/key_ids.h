// KeyIds: one id per distinct mapping key text of a stream.
//
// The decoder gives every String mapping key the id of its text, so that
// the conversion to Python, which runs with the interpreter lock held,
// finds the str made for an earlier equal key by indexing instead of
// hashing and comparing the text again:
//
//     a: 1          a -> 1
//     b: {a: 2}     b -> 2, a -> 1
//
// The texts are hashed with the process's keyed hash, so colliding keys
// cannot be prepared in advance. Ids run from 1 to Value::kMaxKeyId; texts
// met once that many are taken get no id (0), and the conversion hashes
// them itself.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/value.h"

namespace quillmere::decode {

class KeyIds {
public:
    // Ids from 1 to `max_id` (at most Value::kMaxKeyId).
    explicit KeyIds(std::uint32_t max_id = Value::kMaxKeyId);
    KeyIds(const KeyIds&) = delete;
    KeyIds& operator=(const KeyIds&) = delete;

    // The id of `text` (given one now when the text is new), or 0 when it
    // is new and the ids are all taken. The text's storage must outlive the
    // table.
    std::uint32_t id_of(std::string_view text);
    // The ids given so far: 1 to count().
    std::uint32_t count() const { return static_cast<std::uint32_t>(texts_.size()); }

private:
    // A slot is 8 bytes, so that the table of a large document stays in
    // cache: the id, and the high half of the text's hash to rule out most
    // other texts before their bytes are compared. The slot is chosen by
    // the low bits, which a growing table takes from the hash again.
    struct Slot {
        std::uint32_t check = 0;
        std::uint32_t id = 0;  // 0: empty
    };
    void grow();

    // Most documents have few distinct keys: their table is made in place,
    // without an allocation.
    static constexpr std::size_t kFirstSlots = 16;

    std::uint32_t max_id_;
    std::uint64_t seed_;
    Slot first_slots_[kFirstSlots];
    std::vector<Slot> grown_slots_;
    Slot* slots_ = first_slots_;  // one of the two
    std::size_t mask_ = kFirstSlots - 1;
    std::vector<std::string_view> texts_;  // the text of id i at i - 1
};

}  // namespace quillmere::decode

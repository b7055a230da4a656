#include "decode/key_ids.h"

#include <cstring>

#include "common/hash.h"

namespace quillmere::decode {

namespace {

template <class Word>
Word load(const char* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Two texts of one length compared in place: keys are mostly short, and a
// call to memcmp costs more than the compare.
bool same_bytes(const char* a, const char* b, std::size_t n) {
    if (n > 16) return std::memcmp(a, b, n) == 0;
    if (n >= 8)
        return load<std::uint64_t>(a) == load<std::uint64_t>(b) &&
               load<std::uint64_t>(a + n - 8) == load<std::uint64_t>(b + n - 8);
    if (n >= 4)
        return load<std::uint32_t>(a) == load<std::uint32_t>(b) &&
               load<std::uint32_t>(a + n - 4) == load<std::uint32_t>(b + n - 4);
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace

KeyIds::KeyIds(std::uint32_t max_id) : max_id_(max_id), seed_(hash_seed()) {
    texts_.reserve(kFirstSlots / 2);  // all the texts the first table takes
}

std::uint32_t KeyIds::id_of(std::string_view text) {
    const std::uint64_t hash = hash_bytes(text, seed_);
    const auto check = static_cast<std::uint32_t>(hash >> 32);
    std::size_t i = hash & mask_;
    for (;; i = (i + 1) & mask_) {
        const Slot slot = slots_[i];
        if (slot.id == 0) break;
        if (slot.check != check) continue;
        const std::string_view known = texts_[slot.id - 1];
        if (known.size() == text.size() && same_bytes(known.data(), text.data(), text.size())) return slot.id;
    }
    if (texts_.size() == max_id_) return 0;
    texts_.push_back(text);
    const auto id = static_cast<std::uint32_t>(texts_.size());
    slots_[i] = Slot{check, id};
    if (texts_.size() * 2 > mask_ + 1) grow();
    return id;
}

void KeyIds::grow() {
    std::vector<Slot> table((mask_ + 1) * 2);
    grown_slots_.swap(table);
    slots_ = grown_slots_.data();
    mask_ = grown_slots_.size() - 1;
    for (std::size_t n = 0; n < texts_.size(); ++n) {
        const std::uint64_t hash = hash_bytes(texts_[n], seed_);
        std::size_t i = hash & mask_;
        while (slots_[i].id != 0) i = (i + 1) & mask_;
        slots_[i] = Slot{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(n + 1)};
    }
}

}  // namespace quillmere::decode

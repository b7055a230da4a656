#include "decode/key_set.h"

#include <cstring>

#include "common/hash.h"
#include "common/stack_guard.h"

namespace quillmere::decode {

namespace {

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h * 0xFF51AFD7ED558CCDull;
}

std::uint64_t float_bits(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

}  // namespace

std::uint64_t key_hash(const Value& key, std::uint64_t seed) {
    const auto kind = static_cast<std::uint64_t>(key.kind());
    switch (key.kind()) {
        case ValueKind::Null: return mix(seed, kind);
        case ValueKind::Bool: return mix(mix(seed, kind), key.as_bool());
        case ValueKind::Int: return mix(mix(seed, kind), static_cast<std::uint64_t>(key.as_int()));
        case ValueKind::Float: return mix(mix(seed, kind), float_bits(key.as_float()));
        case ValueKind::BigInt:
        case ValueKind::String: return mix(hash_bytes(key.text(), seed), kind);
        case ValueKind::Tagged: {
            const TaggedValue& t = key.tagged_value();
            const std::uint64_t inner = with_stack_guard([&] { return key_hash(t.inner, seed); });
            return mix(mix(hash_bytes(t.tag, seed), kind), inner);
        }
        case ValueKind::Sequence: {
            std::uint64_t h = mix(mix(seed, kind), key.items().size());
            for (const Value& item : key.items()) h = mix(h, with_stack_guard([&] { return key_hash(item, seed); }));
            return h;
        }
        case ValueKind::Mapping: {
            std::uint64_t h = mix(mix(seed, kind), key.pairs().size());
            for (const Pair& p : key.pairs()) {
                h = mix(h, with_stack_guard([&] { return key_hash(p.key, seed); }));
                h = mix(h, with_stack_guard([&] { return key_hash(p.value, seed); }));
            }
            return h;
        }
    }
    return seed;
}

bool keys_equal(const Value& a, const Value& b) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
        case ValueKind::Null: return true;
        case ValueKind::Bool: return a.as_bool() == b.as_bool();
        case ValueKind::Int: return a.as_int() == b.as_int();
        case ValueKind::Float: return float_bits(a.as_float()) == float_bits(b.as_float());
        case ValueKind::BigInt:
        case ValueKind::String: return a.text() == b.text();
        case ValueKind::Tagged:
            return a.tagged_value().tag == b.tagged_value().tag &&
                   with_stack_guard([&] { return keys_equal(a.tagged_value().inner, b.tagged_value().inner); });
        case ValueKind::Sequence: {
            const auto x = a.items(), y = b.items();
            if (x.size() != y.size()) return false;
            for (std::size_t i = 0; i < x.size(); ++i)
                if (!with_stack_guard([&] { return keys_equal(x[i], y[i]); })) return false;
            return true;
        }
        case ValueKind::Mapping: {
            const auto x = a.pairs(), y = b.pairs();
            if (x.size() != y.size()) return false;
            for (std::size_t i = 0; i < x.size(); ++i) {
                if (!with_stack_guard([&] { return keys_equal(x[i].key, y[i].key); })) return false;
                if (!with_stack_guard([&] { return keys_equal(x[i].value, y[i].value); })) return false;
            }
            return true;
        }
    }
    return false;
}

namespace {

// keys_equal with the common case, two strings, decided in place.
inline bool same_key(const Value& a, const Value& b) {
    if (a.kind() != b.kind()) return false;
    if (a.kind() == ValueKind::String) {
        const std::string_view x = a.text(), y = b.text();
        return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size()) == 0);
    }
    return keys_equal(a, b);
}

}  // namespace

bool KeySet::insert(const Value& key) {
    if (slots_.empty()) {
        for (std::size_t i = 0; i < count_; ++i)
            if (same_key(few_[i], key)) return false;
        if (count_ < kLinear) {
            few_[count_++] = key;
            return true;
        }
        // The list is full: move it into a table.
        seed_ = thread_hash_seed();
        slots_.resize(4 * kLinear);
        count_ = 0;
        for (const Value& old : few_) insert_hashed(old);
    }
    return insert_hashed(key);
}

bool KeySet::insert_hashed(const Value& key) {
    const std::uint64_t hash = key_hash(key, seed_);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (!slot.used) {
            slot = Slot{hash, key, true};
            if (++count_ * 2 > slots_.size()) grow();
            return true;
        }
        if (slot.hash == hash && same_key(slot.key, key)) return false;
    }
}

void KeySet::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (!slot.used) continue;
        std::size_t i = slot.hash & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

}  // namespace quillmere::decode

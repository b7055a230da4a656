#include "decode/key_set.h"

#include <charconv>
#include <cmath>
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

bool is_number(ValueKind kind) {
    return kind == ValueKind::Bool || kind == ValueKind::Int || kind == ValueKind::BigInt ||
           kind == ValueKind::Float;
}

// A BigInt text taken apart: its sign, and its digits without '+',
// underscores and leading zeros. False when the text is no integer.
bool split_big_integer(std::string_view text, bool& negative, std::string& digits) {
    negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    digits.clear();
    bool any_digit = false;
    for (char c : text) {
        if (c == '_') continue;
        if (c < '0' || c > '9') return false;
        any_digit = true;
        if (c != '0' || !digits.empty()) digits += c;
    }
    if (digits.empty()) {
        negative = false;
        digits = "0";
    }
    return any_digit;
}

// The value of a whole number key within 64 bits: a Bool, an Int, a Float
// with no fraction in [-2^63, 2^63), a BigInt that fits.
std::optional<std::int64_t> small_whole_number(const Value& v) {
    switch (v.kind()) {
        case ValueKind::Bool: return v.as_bool() ? 1 : 0;
        case ValueKind::Int: return v.as_int();
        case ValueKind::Float: {
            const double d = v.as_float();
            // Written so that NaN fails.
            if (!(d >= -0x1p63 && d < 0x1p63) || std::trunc(d) != d) return std::nullopt;
            return static_cast<std::int64_t>(d);
        }
        case ValueKind::BigInt: {
            bool negative = false;
            std::string digits;
            if (!split_big_integer(v.text(), negative, digits) || digits.size() > 19) return std::nullopt;
            std::uint64_t magnitude = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
            const std::uint64_t limit = std::uint64_t(1) << 63;
            if (magnitude > (negative ? limit : limit - 1)) return std::nullopt;
            return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
        }
        default: return std::nullopt;
    }
}

// The double nearest to a number key's value (infinite beyond the range):
// equal numbers give the same double.
double nearest_double(const Value& v) {
    if (v.is(ValueKind::Float)) return v.as_float();
    bool negative = false;
    std::string digits;
    if (!split_big_integer(v.text(), negative, digits)) return 0.0;
    double d = 0.0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), d);
    if (result.ec == std::errc::result_out_of_range) d = HUGE_VAL;
    return negative ? -d : d;
}

// Numbers compare by value: whole numbers within 64 bits as integers, other
// floats by their bits, big integers by their digits.
bool numbers_equal(const Value& a, const Value& b) {
    const std::optional<std::int64_t> x = small_whole_number(a);
    const std::optional<std::int64_t> y = small_whole_number(b);
    if (x || y) return x && y && *x == *y;
    if (a.is(ValueKind::Float) && b.is(ValueKind::Float)) return float_bits(a.as_float()) == float_bits(b.as_float());
    const std::optional<std::string> p = whole_number_text(a);
    const std::optional<std::string> q = whole_number_text(b);
    if (p && q) return *p == *q;
    return a.is(ValueKind::BigInt) && b.is(ValueKind::BigInt) && a.text() == b.text();
}

std::uint64_t number_hash(const Value& v, std::uint64_t seed) {
    const auto number = static_cast<std::uint64_t>(ValueKind::Int);
    if (const std::optional<std::int64_t> whole = small_whole_number(v))
        return mix(mix(seed, number), static_cast<std::uint64_t>(*whole));
    return mix(mix(seed, number + 1), float_bits(nearest_double(v)));
}

// keys_equal with the common case, a string, decided in place.
inline bool same_key(const Value& a, const Value& b) {
    if (a.kind() == ValueKind::String || b.kind() == ValueKind::String) {
        if (a.kind() != b.kind()) return false;
        const std::string_view x = a.text(), y = b.text();
        return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size()) == 0);
    }
    return keys_equal(a, b);
}

}  // namespace

std::optional<std::string> whole_number_text(const Value& number) {
    if (const std::optional<std::int64_t> whole = small_whole_number(number)) return std::to_string(*whole);
    if (number.is(ValueKind::BigInt)) {
        bool negative = false;
        std::string digits;
        if (!split_big_integer(number.text(), negative, digits)) return std::nullopt;
        return negative ? "-" + digits : digits;
    }
    if (!number.is(ValueKind::Float)) return std::nullopt;
    const double d = number.as_float();
    if (!std::isfinite(d) || std::trunc(d) != d) return std::nullopt;
    // The exact digits of a whole double: at most 309 of them.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed, 0);
    return std::string(buffer, result.ptr);
}

std::uint64_t key_hash(const Value& key, std::uint64_t seed) {
    const auto kind = static_cast<std::uint64_t>(key.kind());
    switch (key.kind()) {
        case ValueKind::Null: return mix(seed, kind);
        case ValueKind::Bool:
        case ValueKind::Int:
        case ValueKind::BigInt:
        case ValueKind::Float: return number_hash(key, seed);
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
    if (a.kind() != b.kind()) return is_number(a.kind()) && is_number(b.kind()) && numbers_equal(a, b);
    switch (a.kind()) {
        case ValueKind::Null: return true;
        case ValueKind::Bool: return a.as_bool() == b.as_bool();
        case ValueKind::Int: return a.as_int() == b.as_int();
        case ValueKind::Float:
        case ValueKind::BigInt: return numbers_equal(a, b);
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

bool KeySet::insert(const Value& key) {
    if (slots_.empty()) {
        for (std::size_t i = 0; i < count_; ++i)
            if (same_key(few_[i], key)) return false;
        if (count_ < kLinear) {
            few_[count_++] = key;
            return true;
        }
        // The list is full: move it into a table.
        seed_ = hash_seed();
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

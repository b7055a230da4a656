// Value: the plain data tree of the fast roads.
//
// The decoder builds one Value tree per YAML document, the Python front
// builds one from a Python object for dumps and to_json, and the writers
// read them. A Value is a 16-byte trivially copyable handle:
//
//     Null | Bool | Int | BigInt | Float | String | Sequence | Mapping | Tagged
//
// Texts (String, BigInt, tags) are views into the input text or into the
// Arena of the tree; collections point at arrays in that Arena. Every node
// is reached from one place only: an alias in YAML text becomes a full copy
// of the anchored value. A tree is freed with its Arena, all at once, so no
// destructor ever recurses, whatever the depth.
//
// A Mapping is an ordered list of (key, value) pairs; keys may be of any
// variant and may repeat when no duplicate-key policy removed them.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "common/arena.h"

namespace quillmere {

enum class ValueKind : std::uint8_t { Null, Bool, Int, BigInt, Float, String, Sequence, Mapping, Tagged };

struct Pair;
struct TaggedValue;

class Value {
public:
    Value() : header_(0), integer_(0) {}

    static Value null() { return Value(); }
    static Value boolean(bool b) {
        Value v(ValueKind::Bool);
        v.integer_ = b ? 1 : 0;
        return v;
    }
    static Value integer(std::int64_t i) {
        Value v(ValueKind::Int);
        v.integer_ = i;
        return v;
    }
    static Value floating(double d) {
        Value v(ValueKind::Float);
        v.number_ = d;
        return v;
    }
    // `text` must outlive the tree: a view into the input or into `arena`.
    static Value string(std::string_view text, Arena& arena) { return make_text(ValueKind::String, text, arena); }
    static Value big_int(std::string_view text, Arena& arena) { return make_text(ValueKind::BigInt, text, arena); }
    static Value sequence(Value* items, std::size_t count) {
        Value v(ValueKind::Sequence);
        v.set_size(count);
        v.items_ = items;
        return v;
    }
    static Value mapping(Pair* pairs, std::size_t count) {
        Value v(ValueKind::Mapping);
        v.set_size(count);
        v.pairs_ = pairs;
        return v;
    }
    static Value tagged(TaggedValue* box) {
        Value v(ValueKind::Tagged);
        v.tagged_ = box;
        return v;
    }
    // A Tagged value with its box in `arena`; `tag` must outlive the tree.
    static Value tagged(std::string_view tag, Value inner, Arena& arena);

    ValueKind kind() const { return static_cast<ValueKind>(header_ & kKindMask); }
    bool is(ValueKind k) const { return kind() == k; }

    bool as_bool() const { return integer_ != 0; }
    std::int64_t as_int() const { return integer_; }
    double as_float() const { return number_; }
    // The text of a String or BigInt.
    std::string_view text() const {
        if (size() == kLongText) return *long_text_;
        return {text_, size()};
    }
    std::span<Value> items() const { return {items_, size()}; }
    std::span<Pair> pairs() const;
    TaggedValue& tagged_value() const { return *tagged_; }

    // Facts a builder may note on a String for the conversion to Python,
    // which then need not find them out from the text: that the text is
    // ASCII (not noted: not known), and on a mapping key the id of its text
    // (equal texts, equal ids; 0: none). And one for the writers: that the
    // text is that of a date or time object, written plain when readers
    // that know timestamps read it as one.
    static constexpr unsigned kKeyIdBits = 23;
    static constexpr std::uint32_t kMaxKeyId = (std::uint32_t(1) << kKeyIdBits) - 1;
    bool ascii_text() const { return (header_ & kAsciiFlag) != 0; }
    void note_ascii_text(bool ascii) { header_ |= static_cast<std::uint64_t>(ascii) << kAsciiShift; }
    std::uint32_t key_id() const { return static_cast<std::uint32_t>(header_ >> kKeyIdShift) & kMaxKeyId; }
    bool date_time_text() const { return (header_ & kDateTimeFlag) != 0; }
    void note_date_time_text() { header_ |= kDateTimeFlag; }
    void set_key_id(std::uint32_t id) {
        header_ = (header_ & ~(std::uint64_t(kMaxKeyId) << kKeyIdShift)) | (std::uint64_t(id & kMaxKeyId) << kKeyIdShift);
    }

private:
    // Texts of 4 GiB or more keep their view in the arena.
    static constexpr std::uint32_t kLongText = std::numeric_limits<std::uint32_t>::max();

    // The kind in the low seven bits, the date-time flag above it.
    static constexpr std::uint64_t kKindMask = 0x7F;
    static constexpr std::uint64_t kDateTimeFlag = 0x80;
    static constexpr unsigned kAsciiShift = 8;
    static constexpr std::uint64_t kAsciiFlag = std::uint64_t(1) << kAsciiShift;
    static constexpr unsigned kKeyIdShift = 9;
    static_assert(kKeyIdShift + kKeyIdBits <= 32);

    explicit Value(ValueKind kind) : header_(static_cast<std::uint64_t>(kind)), integer_(0) {}
    std::uint32_t size() const { return static_cast<std::uint32_t>(header_ >> 32); }
    void set_size(std::size_t n) {
        header_ = (header_ & 0xFFFFFFFF) | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(n)) << 32);
    }
    static Value make_text(ValueKind kind, std::string_view text, Arena& arena);

    // The kind and the date-time flag in the low byte, the ASCII flag and
    // the key id above it, and the size (of a text or collection) in the
    // high 32 bits: one word, written by one store, so that a value built
    // in place reads back without a stalled load.
    std::uint64_t header_;
    union {
        std::int64_t integer_;
        double number_;
        const char* text_;
        const std::string_view* long_text_;
        Value* items_;
        Pair* pairs_;
        TaggedValue* tagged_;
    };
};
static_assert(sizeof(Value) == 16);
static_assert(std::is_trivially_copyable_v<Value>);

struct Pair {
    Value key;
    Value value;

    Pair() = default;
    Pair(Value key_, Value value_) : key(key_), value(value_) {}
};

struct TaggedValue {
    std::string_view tag;
    Value inner;
};

inline std::span<Pair> Value::pairs() const { return {pairs_, size()}; }

// The tag of the merge-key marker: the long form of "!!merge".
inline constexpr std::string_view kMergeTag = "tag:yaml.org,2002:merge";

// The marker the decoder puts where a mapping key resolved as a merge key:
// Tagged(kMergeTag, String "<<").
Value make_merge_marker(Arena& arena);
bool is_merge_marker(const Value& value);

// 1 for the node, plus its children's counts (stack-guarded).
std::uint64_t count_nodes(const Value& value);

// A copy of the tree with every collection and box newly allocated in
// `arena` (texts are shared: they are immutable). Stack-guarded.
Value deep_copy(const Value& value, Arena& arena);

// Same variant and equal payloads: floats by IEEE comparison, texts byte for
// byte, collections element by element in order.
bool values_equal(const Value& a, const Value& b);

}  // namespace quillmere

// Builds a Value tree and a writer configuration from the input bytes, then
// checks both writers. The YAML text must hold only characters YAML allows
// in a file and decode (YAML 1.2 core rules) to one document equal to the
// tree, in writing order under sort_keys. The JSON text must be one strict
// JSON value, and fail only when a collection is a mapping key. Trees hold
// only what YAML text can carry back: no NaN, no Int -2^63, tags only around
// strings and collections, never a tag directly around a tag, and tags and
// big integers in their safe forms.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf8.h"
#include "encode/emitter.h"
#include "encode/json_writer.h"
#include "support/json.h"
#include "support/trees.h"

namespace {

using quillmere::Arena;
using quillmere::Pair;
using quillmere::Value;
using quillmere::ValueKind;

constexpr std::string_view kTexts[] = {
    "", " ", " a", "a ", "-1", "---", "--- x", "... x", "...", "yes", "y", "~", "<<", "0123", "1_000", "1:30",
    "1e5", ".5", "a: b", "a #b", "a,b", "it's", "a\nb", "a\nb\n", "\n", "\n\n", "\na", " a\nb", "a\rb", "a\tb",
    std::string_view("a\0b", 3), "a\x7f", "\xE2\x80\xA8", "\xEF\xBB\xBF" "a", "? x", ": x", "#", "[", "}", "&a",
    "!t", "%", "|", ">", "null", "true", ".inf", "\\t", "=", "0b_", "a:b?c", "\xC2\x85", "\xC2\x9F" "a\n",
    "\xEF\xBF\xBE",
};
constexpr std::string_view kWords[] = {"a", "bb", "ccc", "-", "?", ":", "#", "-x", "?x", "x:", "'", "\"", "\\",
                                       "\\t", "[", "]", "{", "}", ",", "\xC3\xA9", "---", "...", "yes", "1e5", "!",
                                       "\xC2\x80", "\xEF\xBF\xBF"};
constexpr std::string_view kSeparators[] = {" ", " ", " ", "  ", "\t", "\n", "", "\r", "\n\n", " \t "};
constexpr std::string_view kTags[] = {"!t", "!", "!a-b/c.d", "!x%20y", "!<tag:example.com,2024:v>"};
constexpr std::string_view kBig[] = {"9223372036854775808", "-9223372036854775809", "+123456789012345678901234567890"};

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // A choice below n; 0 once the input is used up, which ends recursion.
    unsigned pick(unsigned n) { return pos_ < size_ ? data_[pos_++] % n : 0; }
    bool done() const { return pos_ >= size_; }
    std::string_view take(std::size_t n) {
        n = std::min(n, size_ - pos_);
        std::string_view s(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

class Builder {
public:
    Builder(Bytes& bytes, Arena& arena) : in_(bytes), arena_(arena) {}

    Value value(int depth) {
        if (depth <= 0 || in_.done()) return scalar();
        switch (in_.pick(8)) {
            case 0: case 1: case 2: return scalar();
            case 3: case 4: return sequence(depth - 1);
            case 5: case 6: return mapping(depth - 1);
            default: return tagged(depth - 1);
        }
    }

    bool collection_key = false;

private:
    Value scalar() {
        switch (in_.pick(8)) {
            case 0: return Value::null();
            case 1: return Value::boolean(in_.pick(2) == 1);
            case 2: {
                std::int64_t n = 0;
                std::uint64_t bits = 0;
                for (int i = 0; i < 8; ++i) bits = bits << 8 | in_.pick(256);
                std::memcpy(&n, &bits, sizeof n);
                return Value::integer(n == INT64_MIN ? 0 : n >> in_.pick(64));
            }
            case 3: return Value::big_int(kBig[in_.pick(std::size(kBig))], arena_);
            case 4: {
                std::uint64_t bits = 0;
                for (int i = 0; i < 8; ++i) bits = bits << 8 | in_.pick(256);
                double x;
                std::memcpy(&x, &bits, sizeof x);
                return Value::floating(std::isnan(x) ? 0.5 : x);
            }
            default: return string();
        }
    }

    Value string() {
        switch (in_.pick(3)) {
            case 0: return Value::string(kTexts[in_.pick(std::size(kTexts))], arena_);
            case 1: {
                const std::string_view raw = in_.take(in_.pick(24));
                if (quillmere::is_valid_utf8(raw)) return Value::string(raw, arena_);
                [[fallthrough]];
            }
            default: {
                std::string s;
                const unsigned n = 1 + in_.pick(16);
                for (unsigned i = 0; i < n; ++i) {
                    if (i > 0) s += kSeparators[in_.pick(std::size(kSeparators))];
                    s += kWords[in_.pick(std::size(kWords))];
                }
                return Value::string(arena_.copy_text(s), arena_);
            }
        }
    }

    Value sequence(int depth) {
        const std::size_t n = in_.pick(6);
        Value* items = arena_.allocate_array<Value>(n);
        for (std::size_t i = 0; i < n; ++i) items[i] = value(depth);
        return Value::sequence(items, n);
    }

    Value mapping(int depth) {
        const std::size_t n = in_.pick(6);
        Pair* pairs = arena_.allocate_array<Pair>(n);
        for (std::size_t i = 0; i < n; ++i) {
            Value key;
            switch (in_.pick(6)) {
                case 0: key = Value::tagged(kTags[in_.pick(std::size(kTags))], string(), arena_); break;
                case 1:
                    key = in_.pick(2) ? sequence(std::min(depth, 1)) : mapping(std::min(depth, 1));
                    collection_key = true;
                    break;
                case 2: key = scalar(); break;
                default: key = string(); break;
            }
            pairs[i] = Pair{key, value(depth)};
        }
        return Value::mapping(pairs, n);
    }

    Value tagged(int depth) {
        const std::string_view tag = kTags[in_.pick(std::size(kTags))];
        const unsigned kind = in_.pick(3);
        const Value inner = kind == 0 ? string() : kind == 1 ? sequence(depth) : mapping(depth);
        return Value::tagged(tag, inner, arena_);
    }

    Bytes& in_;
    Arena& arena_;
};

[[noreturn]] void fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "%s\n----\n%s\n----\n", what, text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    quillmere::encode::EmitterConfig config;
    const unsigned widths[] = {0, 0, 20, 80};
    config.width = in.pick(2) ? widths[in.pick(4)] : in.pick(100);
    config.indent = in.pick(10);
    config.null_style = static_cast<quillmere::encode::NullStyle>(in.pick(3));
    const unsigned flags = in.pick(128);
    config.sort_keys = flags & 1;
    config.flow_style = flags & 2;
    config.explicit_start = flags & 4;
    config.explicit_end = flags & 8;
    config.prefer_double_quotes = !(flags & 16);
    config.indentless_sequences = flags & 32;
    const quillmere::encode::JsonWriterConfig json_config{in.pick(5), (flags & 64) != 0};

    Arena arena;
    Builder builder(in, arena);
    const Value tree = builder.value(12);

    const std::string yaml = quillmere::testing::write_yaml(tree, config);
    const std::string fault = quillmere::testing::yaml_read_back_fault(yaml, tree, config);
    if (!fault.empty()) fail(fault.c_str(), yaml);

    std::string json;
    json.reserve(1024);
    const auto written = quillmere::encode::write_json(json, tree, json_config);
    if (written.ok() == builder.collection_key) fail("JSON writer failed or succeeded wrongly", json);
    if (written.ok()) {
        const auto read = quillmere::testing::read_json_stream(json);
        if (!read.ok()) fail(read.error().c_str(), json);
        if (read.value().values.size() != 1) fail("not one JSON value", json);
    }
    return 0;
}

// The JSON writer: layout, escaping, float text, key texts and order, the
// collection-key error, and a property test that reads every output back
// with a strict JSON reader.
#include "encode/json_writer.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "support/json.h"
#include "support/trees.h"

namespace quillmere::encode {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using Tree = testing::TreeBuilder;

// The text, or "error: " and the message.
std::string to_json(const Value& value, std::uint64_t indent = 0, bool sort_keys = false) {
    std::string out;
    out.reserve(1024);
    auto result = write_json(out, value, JsonWriterConfig{indent, sort_keys});
    return result.ok() ? out : "error: " + result.error();
}

// A JSON value as a Value tree: objects become mappings with String keys,
// integers Int (BigInt beyond 64 bits), other numbers Float.
Value json_value(const testing::Json& json, Arena& arena) {
    switch (json.kind) {
        case testing::Json::Kind::Null: return Value::null();
        case testing::Json::Kind::Bool: return Value::boolean(json.boolean);
        case testing::Json::Kind::String: return Value::string(arena.copy_text(json.text), arena);
        case testing::Json::Kind::Number: {
            const std::string& t = json.text;
            if (t.find_first_of(".eE") == std::string::npos) {
                std::int64_t n;
                const auto r = std::from_chars(t.data(), t.data() + t.size(), n);
                if (r.ec == std::errc() && r.ptr == t.data() + t.size()) return Value::integer(n);
                return Value::big_int(arena.copy_text(t), arena);
            }
            double x = 0;
            std::from_chars(t.data(), t.data() + t.size(), x);
            return Value::floating(x);
        }
        case testing::Json::Kind::Array: {
            Value* items = arena.allocate_array<Value>(json.items.size());
            for (std::size_t i = 0; i < json.items.size(); ++i) items[i] = json_value(json.items[i], arena);
            return Value::sequence(items, json.items.size());
        }
        case testing::Json::Kind::Object: {
            Pair* pairs = arena.allocate_array<Pair>(json.members.size());
            for (std::size_t i = 0; i < json.members.size(); ++i) {
                const auto& [key, member] = json.members[i];
                pairs[i] = Pair{Value::string(arena.copy_text(key), arena), json_value(member, arena)};
            }
            return Value::mapping(pairs, json.members.size());
        }
    }
    return Value::null();
}

// What a JSON reader should get back from the writer's text for `value`:
// no tags, String keys, null for non-finite floats.
Value json_image(const Value& value, Arena& arena) {
    switch (value.kind()) {
        case ValueKind::Tagged:
            return json_image(value.tagged_value().inner, arena);
        case ValueKind::Float:
            return std::isfinite(value.as_float()) ? value : Value::null();
        case ValueKind::BigInt: {
            std::string digits;
            for (const char c : value.text())
                if (c != '+' && c != '_') digits += c;
            std::int64_t n;
            const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
            if (r.ec == std::errc() && r.ptr == digits.data() + digits.size()) return Value::integer(n);
            return Value::big_int(arena.copy_text(digits), arena);
        }
        case ValueKind::Sequence: {
            Value* items = arena.allocate_array<Value>(value.items().size());
            for (std::size_t i = 0; i < value.items().size(); ++i) items[i] = json_image(value.items()[i], arena);
            return Value::sequence(items, value.items().size());
        }
        case ValueKind::Mapping: {
            Pair* pairs = arena.allocate_array<Pair>(value.pairs().size());
            for (std::size_t i = 0; i < value.pairs().size(); ++i) {
                const Value* k = &value.pairs()[i].key;
                while (k->is(ValueKind::Tagged)) k = &k->tagged_value().inner;
                std::string text;
                switch (k->kind()) {
                    case ValueKind::Null: text = "null"; break;
                    case ValueKind::Bool: text = k->as_bool() ? "true" : "false"; break;
                    case ValueKind::Int: text = std::to_string(k->as_int()); break;
                    case ValueKind::Float: write_json_float(text, k->as_float()); break;
                    default: text = k->text(); break;
                }
                pairs[i] = Pair{Value::string(arena.copy_text(text), arena), json_image(value.pairs()[i].value, arena)};
            }
            return Value::mapping(pairs, value.pairs().size());
        }
        default:
            return value;
    }
}

TEST(JsonWriterLayout, CompactAndIndented) {
    Tree t;
    const Value value = t.map({{t.s("a"), t.seq({t.i(1), t.i(2)})}, {t.s("b"), Value::null()}});
    EXPECT_EQ(to_json(value), R"({"a":[1,2],"b":null})");
    EXPECT_EQ(to_json(value, 2), "{\n  \"a\": [\n    1,\n    2\n  ],\n  \"b\": null\n}");
    EXPECT_EQ(to_json(value, 4), "{\n    \"a\": [\n        1,\n        2\n    ],\n    \"b\": null\n}");
}

TEST(JsonWriterLayout, EmptyCollectionsStayOnTheirLine) {
    Tree t;
    EXPECT_EQ(to_json(t.seq({})), "[]");
    EXPECT_EQ(to_json(t.map({}), 2), "{}");
    const Value nested = t.seq({t.seq({}), t.map({{t.s("k"), t.map({})}})});
    EXPECT_EQ(to_json(nested), R"([[],{"k":{}}])");
    EXPECT_EQ(to_json(nested, 2), "[\n  [],\n  {\n    \"k\": {}\n  }\n]");
}

TEST(JsonWriterLayout, TagsAreDropped) {
    Tree t;
    const Value value = t.tag("!x", t.map({{t.s("k"), t.tag("!y", t.seq({t.tag("!z", t.i(5))}))}}));
    EXPECT_EQ(to_json(value), R"({"k":[5]})");
    EXPECT_EQ(to_json(value, 2), "{\n  \"k\": [\n    5\n  ]\n}");
}

TEST(JsonWriterScalars, Numbers) {
    struct Case {
        double x;
        std::string text;
    };
    const Case cases[] = {
        {1.0, "1.0"},
        {0.5, "0.5"},
        {-0.0, "-0.0"},
        {0.1, "0.1"},
        {1e20, "100000000000000000000.0"},
        {1e-7, "0.0000001"},
        {123456.789, "123456.789"},
        {1.5e300, "15" + std::string(299, '0') + ".0"},
        {5e-324, "0." + std::string(323, '0') + "5"},
        {1.7976931348623157e308, "17976931348623157" + std::string(292, '0') + ".0"},
        {-2.5e-10, "-0.00000000025"},
        {1e15, "1000000000000000.0"},
        {123.0, "123.0"},
        {kInf, "null"},
        {-kInf, "null"},
        {kNaN, "null"},
    };
    for (const Case& c : cases) {
        std::string out;
        write_json_float(out, c.x);
        EXPECT_EQ(out, c.text) << c.x;
        if (std::isfinite(c.x)) {
            double back = 0;
            std::from_chars(out.data(), out.data() + out.size(), back);
            EXPECT_EQ(back, c.x) << out;
        }
    }
    Tree t;
    EXPECT_EQ(to_json(t.seq({t.i(0), t.i(-7), t.i(std::numeric_limits<std::int64_t>::min()), Value::boolean(true),
                             Value::boolean(false)})),
              "[0,-7,-9223372036854775808,true,false]");
    // Big integers are JSON numbers even when their text came from YAML 1.1.
    EXPECT_EQ(to_json(t.seq({t.big("123456789012345678901"), t.big("-9223372036854775809"),
                             t.big("+1_000_000_000_000_000_000_000"), t.big("12a")})),
              R"([123456789012345678901,-9223372036854775809,1000000000000000000000,"12a"])");
}

TEST(JsonWriterScalars, StringEscapes) {
    struct Case {
        std::string_view text;
        std::string_view json;
    };
    const Case cases[] = {
        {"plain", R"("plain")"},
        {"", R"("")"},
        {"\t\n\r\b\f", R"("\t\n\r\b\f")"},
        {"\"\\/", R"("\"\\/")"},
        {std::string_view("\0\x01\x1b\x1f", 4), R"("\u0000\u0001\u001b\u001f")"},
        {"\x7f", "\"\x7f\""},
        {"\xE2\x80\xA8|\xE2\x80\xA9", R"("\u2028|\u2029")"},
        {"\xE2\x80\xA7\xE2\x80\xAA", "\"\xE2\x80\xA7\xE2\x80\xAA\""},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xF0\x9F\x98\x80\""},
        {"\xE2\x80", "\"\xE2\x80\""},
    };
    for (const Case& c : cases) {
        std::string out;
        write_json_string(out, c.text);
        EXPECT_EQ(out, c.json) << c.text;
    }
}

TEST(JsonWriterKeys, ScalarKeysBecomeTexts) {
    Tree t;
    const Value value = t.map({{t.i(1), t.i(0)},
                               {Value::boolean(true), t.i(0)},
                               {Value::null(), t.i(0)},
                               {t.f(1.5), t.i(0)},
                               {t.f(1e20), t.i(0)},
                               {t.f(kNaN), t.i(0)},
                               {t.f(-kInf), t.i(0)},
                               {t.big("99999999999999999999"), t.i(0)},
                               {t.tag("!t", t.tag("!u", t.s("k"))), t.i(0)},
                               {t.s("1"), t.i(0)}});
    EXPECT_EQ(to_json(value),
              R"({"1":0,"true":0,"null":0,"1.5":0,"100000000000000000000.0":0,"null":0,"null":0,)"
              R"("99999999999999999999":0,"k":0,"1":0})");
}

TEST(JsonWriterKeys, CollectionKeysFail) {
    Tree t;
    const std::string error = "error: a collection cannot be a JSON object key";
    const Value keys[] = {t.seq({t.i(1)}), t.map({}), t.tag("!t", t.seq({})), t.tag("!t", t.tag("!u", t.map({})))};
    for (const Value& key : keys) {
        for (const bool sort : {false, true}) {
            EXPECT_EQ(to_json(t.map({{t.s("a"), t.i(1)}, {key, t.i(2)}}), 0, sort), error);
            // Deep inside, and after members that were fine.
            const Value deep = t.seq({t.map({{t.s("z"), t.map({{t.s("y"), t.i(1)}, {key, t.i(2)}})}})});
            EXPECT_EQ(to_json(deep, 2, sort), error);
        }
    }
}

TEST(JsonWriterKeys, SortedBytewiseAndStable) {
    Tree t;
    const Value value = t.map({{t.s("b"), t.i(1)},
                               {t.s("a"), t.i(2)},
                               {t.s("ab"), t.i(3)},
                               {t.i(9), t.i(4)},
                               {t.i(10), t.i(5)},
                               {t.s("a"), t.i(6)},
                               {t.s("\xC3\xA9"), t.i(7)},
                               {t.s("B"), t.i(8)}});
    EXPECT_EQ(to_json(value, 0, true), R"({"10":5,"9":4,"B":8,"a":2,"a":6,"ab":3,"b":1,"é":7})");
    EXPECT_EQ(to_json(value, 0, false), R"({"b":1,"a":2,"ab":3,"9":4,"10":5,"a":6,"é":7,"B":8})");

    // Past 20 members the merge sort takes over, with made (number) texts
    // and nested sorted mappings sharing the scratch space.
    for (const std::size_t n : {std::size_t(21), std::size_t(64), std::size_t(257)}) {
        std::vector<Pair> pairs;
        std::mt19937 rng(static_cast<unsigned>(n));
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned r = rng() % 40;
            Value key = r < 20 ? t.i(r) : t.s(std::string(1, static_cast<char>('a' + r % 5)));
            Value member = i % 7 == 0 ? t.map({{t.i(3), t.i(0)}, {t.i(20), t.i(1)}, {t.s("x"), t.i(2)}}) : t.i(i);
            pairs.push_back(Pair{key, member});
        }
        const Value big = Value::mapping(pairs.data(), pairs.size());
        std::vector<std::pair<std::string, std::string>> expected;
        for (const Pair& p : pairs) {
            const std::string key =
                p.key.is(ValueKind::Int) ? std::to_string(p.key.as_int()) : std::string(p.key.text());
            expected.emplace_back(key, to_json(p.value, 0, true));
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string want = "{";
        for (const auto& [k, v] : expected) want += (want.size() > 1 ? ",\"" : "\"") + k + "\":" + v;
        want += "}";
        EXPECT_EQ(to_json(big, 0, true), want) << n;
    }
}

// Deep trees go through the stack guard; 100,000 levels would exhaust the
// native stack otherwise.
TEST(JsonWriterDepth, DeepTreesDoNotExhaustTheStack) {
    Tree t;
    constexpr std::size_t kDepth = 100000;
    Value value = t.i(1);
    for (std::size_t i = 0; i < kDepth; ++i) {
        value = i % 2 ? t.seq({value}) : t.map({{t.tag("!k", t.s("k")), t.tag("!v", value)}});
    }
    const std::string text = to_json(value, 0, true);
    EXPECT_EQ(text.size(), kDepth / 2 * (2 + 6) + 1);
    EXPECT_EQ(text.substr(0, 12), R"([{"k":[{"k":)");
}

class JsonGenerator {
public:
    JsonGenerator(std::uint64_t seed, Arena& arena) : rng_(seed), arena_(arena) {}

    Value value(int depth) {
        const unsigned r = below(10);
        if (depth <= 0 || r < 4) return scalar();
        if (r < 6) return tagged(value(depth - 1));
        const std::size_t n = below(6);
        if (r < 8) {
            Value* items = arena_.allocate_array<Value>(n);
            for (std::size_t i = 0; i < n; ++i) items[i] = value(depth - 1);
            return Value::sequence(items, n);
        }
        Pair* pairs = arena_.allocate_array<Pair>(n);
        for (std::size_t i = 0; i < n; ++i) {
            Value key = scalar();
            if (below(4) == 0) key = tagged(key);
            pairs[i] = Pair{key, value(depth - 1)};
        }
        return Value::mapping(pairs, n);
    }

private:
    unsigned below(unsigned n) { return static_cast<unsigned>(rng_() % n); }
    Value tagged(Value inner) { return Value::tagged("!t", inner, arena_); }

    Value scalar() {
        switch (below(7)) {
            case 0: return Value::null();
            case 1: return Value::boolean(below(2) == 1);
            case 2: return Value::integer(static_cast<std::int64_t>(rng_()) >> below(64));
            case 3: {
                static constexpr std::string_view kBig[] = {"9223372036854775808", "-9223372036854775809",
                                                            "+1_000_000_000_000_000_000_000", "-9223372036854775808"};
                return Value::big_int(kBig[below(4)], arena_);
            }
            case 4: {
                double x;
                const std::uint64_t bits = rng_();
                std::memcpy(&x, &bits, sizeof x);
                static constexpr double kSpecial[] = {0.0, -0.0, 1.0, 1e20, 1e-7, 5e-324, kInf, -kInf, kNaN};
                return Value::floating(below(2) ? x : kSpecial[below(9)]);
            }
            default: {
                std::string s;
                const unsigned n = below(12);
                for (unsigned i = 0; i < n; ++i) {
                    static constexpr std::string_view kPieces[] = {
                        "a", " ", "\"", "\\", "/", "\t", "\n", "\r", "\b", "\f", std::string_view("\0", 1), "\x1f",
                        "\x7f", "\xC3\xA9", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xF0\x9F\x98\x80", "\\u0041", "{", "]"};
                    s += kPieces[below(std::size(kPieces))];
                }
                return Value::string(arena_.copy_text(s), arena_);
            }
        }
    }

    std::mt19937_64 rng_;
    Arena& arena_;
};

// Every output is one strict JSON value that reads back as the tree's JSON
// image, with no whitespace at all when compact.
TEST(JsonWriterRoundTrip, GeneratedTreesReadBack) {
    for (std::uint64_t seed = 1; seed <= 400; ++seed) {
        Arena arena;
        JsonGenerator generator(seed, arena);
        const Value value = generator.value(1 + static_cast<int>(seed % 7));
        const Value image = json_image(value, arena);
        for (const std::uint64_t indent : {0, 2, 4}) {
            for (const bool sort : {false, true}) {
                std::string text;
                ASSERT_TRUE(write_json(text, value, JsonWriterConfig{indent, sort}).ok()) << seed;
                const auto read = testing::read_json_stream(text);
                ASSERT_TRUE(read.ok()) << read.error() << "\n" << text;
                ASSERT_EQ(read.value().values.size(), 1u) << text;
                if (indent == 0) {
                    EXPECT_EQ(read.value().whitespace, 0u) << text;
                }
                if (!sort) {
                    Arena read_arena;
                    const Value back = json_value(read.value().values[0], read_arena);
                    EXPECT_TRUE(values_equal(back, image)) << "seed " << seed << "\n" << text;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quillmere::encode

// Whatever the configuration, the YAML writer's output decodes (YAML 1.2
// core rules, this engine's decoder) to a tree equal to the one written.
//
// Trees come from a seeded generator: deep, with keys of every variant
// (collections and tagged strings among them), custom-tagged strings and
// collections, and strings drawn from a table of texts that are easy to get
// wrong. A tree holds none of what YAML text cannot carry back:
//   - NaN, which values_equal never finds equal to itself;
//   - Int -2^63, which the 1.2 rules read as a big integer (its magnitude is
//     read before the sign);
//   - a custom-tagged scalar other than a string: under a custom tag every
//     scalar resolves as a string;
//   - a tag directly around a tag: a node has one tag;
//   - tags without a safe short form (they are written verbatim as !<...>,
//     tested in emitter_test), and the merge-key marker;
//   - big integers whose text is no YAML 1.2 integer.
// Null and the empty string stay apart (empty null style against ""), and a
// "<<" key is always quoted, so the decoder never sees a merge key.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "encode/emitter.h"
#include "support/trees.h"

namespace quillmere::encode {
namespace {

constexpr std::string_view kTrickyTexts[] = {
    "",
    " ",
    "\t",
    " lead",
    "trail ",
    "trail\t",
    "  both  ",
    "-1",
    "-",
    "---",
    "--- x",
    "---x",
    "...",
    "... x",
    "...\n",
    "yes",
    "No",
    "y",
    "n",
    "~",
    "null",
    "true",
    "<<",
    "0123",
    "1_000",
    "1:30",
    "1e5",
    ".5",
    "+1",
    "0x1F",
    "0o17",
    ".inf",
    "-.inf",
    ".nan",
    "12345678901234567890",
    "a: b",
    "a:b",
    "a:",
    "a #b",
    "a#b",
    "a,b",
    "[a]",
    "a]",
    "{a}",
    "it's",
    "'q'",
    "\"q\"",
    "? x",
    "?x",
    ": x",
    "&a",
    "*a",
    "!t",
    "%x",
    "@x",
    "`x",
    "|x",
    ">x",
    "a\nb",
    "a\nb\n",
    "a\n\n",
    "\n",
    "\n\n",
    "\na",
    " a\nb",
    "a\n b\n",
    "a\rb",
    "\r\n",
    "a\tb",
    "\tlead",
    std::string_view("a\0b", 3),
    std::string_view("\0", 1),
    "a\x7f",
    "\x1b[0m",
    "a\xE2\x80\xA8" "b",
    "\xE2\x80\xA8",
    "\xEF\xBB\xBF" "bom",
    "\xEF\xBB\xBF",
    "a\xEF\xBB\xBF",
    "a\xC2\x85" "b",
    "a\xC2\x80" "b",
    "\xC2\x9F",
    "\xEF\xBF\xBE" "a\n\xEF\xBF\xBF",
    "x:y ?z",
    "caf\xC3\xA9",
    "a \\ b",
    "a\\tb",
    "aaa bbb ccc ddd eee fff ggg hhh iii jjj kkk lll mmm nnn",
    "aaa ? bbb - ccc : ddd # eee",
    "aaaaaaaaaaaaaaaaaa ? b - c ?",
    "x  y  z  www  vvvvvvvvvvvvvvvvvvvvvv uuuuuuuuuuuuu",
    "aaaa\t bbbb cccc\t dddd eeee\t ffff gggg",
    "aaaa' bbbb' cccc' dddd' eeee' ffff'",
    "a: b c d e f g h i j k l m n o p q r s t u v w x y z",
    "one\ntwo three four five six seven eight nine ten eleven\n",
    "x\n# not a comment\n--- x\n... y\n",
};

constexpr std::string_view kTags[] = {"!t", "!", "!foo-bar", "!a/b.c", "!x%20y", "!<tag:example.com,2024:v>",
                                      "!<!local>"};

constexpr std::string_view kFragments[] = {
    "a", "bb", "ccc", "word", "longerword", "-", "?", ":", "#", "-x", "?x", ":x", "#x", "x:", "x,", "[", "]",
    "{", "}", "'", "\"", "\\", "\\t", "t", "\xC3\xA9", "\xE2\x80\xA8", "\xC2\x85", "\xC2\x9B", "\xEF\xBF\xBF", "\xEF\xBB\xBF", "---",
    "...", "yes", "1", "0", "1e5",
    "!", "&", "*", "|", ">", "%", "@", "`", "~", "null", "<<",
};
constexpr std::string_view kSeparators[] = {" ", " ", " ", " ", " ", " ", "  ", "\t", "\n", "", " \t ", "\r", "\n\n"};

class TreeGenerator {
public:
    TreeGenerator(std::uint64_t seed, Arena& arena) : rng_(seed), arena_(arena) {}

    Value value(int depth) {
        const unsigned r = below(100);
        if (depth <= 0 || r < 40) return scalar();
        if (r < 62) return sequence(depth - 1);
        if (r < 88) return mapping(depth - 1);
        if (r < 90) return chain(depth);
        return tagged(depth - 1);
    }

    Value string() {
        if (below(2) == 0) return text(kTrickyTexts[below(std::size(kTrickyTexts))]);
        std::string s;
        const unsigned words = 1 + below(14);
        for (unsigned i = 0; i < words; ++i) {
            if (i > 0) s += kSeparators[below(std::size(kSeparators))];
            s += kFragments[below(std::size(kFragments))];
        }
        return text(s);
    }

private:
    unsigned below(std::size_t n) { return static_cast<unsigned>(rng_() % n); }

    Value text(std::string_view s) { return Value::string(arena_.copy_text(s), arena_); }

    Value scalar() {
        switch (below(10)) {
            case 0: return Value::null();
            case 1: return Value::boolean(below(2) == 1);
            case 2: {
                static constexpr std::int64_t kInts[] = {0, 1, -1, 7, 010, 1000000,
                                                         std::numeric_limits<std::int64_t>::max(),
                                                         std::numeric_limits<std::int64_t>::min() + 1};
                if (below(2) == 0) return Value::integer(kInts[below(std::size(kInts))]);
                const std::int64_t n = static_cast<std::int64_t>(rng_()) >> below(64);
                return Value::integer(n == std::numeric_limits<std::int64_t>::min() ? 0 : n);
            }
            case 3: {
                static constexpr std::string_view kBig[] = {"9223372036854775808", "-9223372036854775809",
                                                            "+123456789012345678901234567890",
                                                            "-9223372036854775808", "18446744073709551616"};
                return Value::big_int(kBig[below(std::size(kBig))], arena_);
            }
            case 4: {
                static constexpr double kFloats[] = {0.0, -0.0, 1.0, 0.5, 1e20, 1e-7, 1e16, 123456.789, 5e-324,
                                                     1.7976931348623157e308, std::numeric_limits<double>::infinity(),
                                                     -std::numeric_limits<double>::infinity()};
                if (below(2) == 0) return Value::floating(kFloats[below(std::size(kFloats))]);
                double x;
                do {
                    const std::uint64_t bits = rng_();
                    std::memcpy(&x, &bits, sizeof x);
                } while (std::isnan(x));
                return Value::floating(x);
            }
            default: return string();
        }
    }

    Value sequence(int depth) {
        const std::size_t n = below(6);
        Value* items = arena_.allocate_array<Value>(n);
        for (std::size_t i = 0; i < n; ++i) items[i] = value(depth);
        return Value::sequence(items, n);
    }

    Value mapping(int depth) {
        const std::size_t n = below(6);
        Pair* pairs = arena_.allocate_array<Pair>(n);
        for (std::size_t i = 0; i < n; ++i) pairs[i] = Pair{key(depth), value(depth)};
        return Value::mapping(pairs, n);
    }

    // A long run of one-entry collections, for depth.
    Value chain(int depth) {
        Value v = value(depth - 1);
        const unsigned length = 10 + below(40);
        for (unsigned i = 0; i < length; ++i) {
            if (below(2) == 0) {
                Value* items = arena_.allocate_array<Value>(1);
                items[0] = v;
                v = Value::sequence(items, 1);
            } else {
                Pair* pairs = arena_.allocate_array<Pair>(1);
                pairs[0] = Pair{below(3) ? string() : scalar(), v};
                v = Value::mapping(pairs, 1);
            }
        }
        return v;
    }

    Value key(int depth) {
        const unsigned r = below(100);
        if (r < 55) return string();
        if (r < 80) return scalar();
        if (r < 88) return Value::tagged(kTags[below(std::size(kTags))], string(), arena_);
        if (depth <= 0) return scalar();
        return below(2) ? sequence(std::min(depth, 2)) : mapping(std::min(depth, 2));
    }

    Value tagged(int depth) {
        const std::string_view tag = kTags[below(std::size(kTags))];
        Value inner;
        switch (below(3)) {
            case 0: inner = string(); break;
            case 1: inner = sequence(depth); break;
            default: inner = mapping(depth); break;
        }
        return Value::tagged(tag, inner, arena_);
    }

    std::mt19937_64 rng_;
    Arena& arena_;
};

// Every width, indent and flow choice, each with four mixes of the other
// settings, so that every setting is met on and off.
std::vector<EmitterConfig> config_matrix(std::initializer_list<std::uint64_t> widths) {
    std::vector<EmitterConfig> configs;
    for (unsigned mix = 0; mix < 4; ++mix) {
        for (const bool flow : {false, true}) {
            for (const std::uint64_t indent : {2, 4}) {
                for (const std::uint64_t width : widths) {
                    EmitterConfig c;
                    c.width = width;
                    c.indent = indent;
                    c.flow_style = flow;
                    c.null_style = mix == 1 ? NullStyle::Keyword : mix == 2 ? NullStyle::Tilde : NullStyle::Empty;
                    c.sort_keys = mix % 2 == 1;
                    c.indentless_sequences = mix >= 2;
                    c.prefer_double_quotes = mix == 0 || mix == 3;
                    c.explicit_start = mix >= 2;
                    c.explicit_end = mix == 1 || mix == 3;
                    configs.push_back(c);
                }
            }
        }
    }
    return configs;
}

std::string describe(const EmitterConfig& c) {
    return "width " + std::to_string(c.width) + ", indent " + std::to_string(c.indent) +
           (c.flow_style ? ", flow" : "") + ", null style " + std::to_string(static_cast<int>(c.null_style)) +
           (c.sort_keys ? ", sorted" : "") + (c.indentless_sequences ? ", indentless" : "") +
           (c.prefer_double_quotes ? "" : ", single quotes") + (c.explicit_start ? ", ---" : "") +
           (c.explicit_end ? ", ..." : "");
}

// Empty when the value survives a write and a read under `config`.
std::string round_trip_fault(const Value& value, const EmitterConfig& config) {
    const std::string text = testing::write_yaml(value, config);
    const std::string fault = testing::yaml_read_back_fault(text, value, config);
    if (fault.empty()) return fault;
    EmitterConfig flow;
    flow.flow_style = true;
    return fault + "\nconfig: " + describe(config) + "\ntree: " + testing::write_yaml(value, flow) + "text:\n" + text;
}

// Each tricky text as the root, a value, a key and an item, in block and
// flow collections, and under a tag.
TEST(WriterRoundTrip, TrickyTextsInEveryPlace) {
    using Place = std::function<Value(Arena&, Value)>;
    const auto one = [](Arena& a, Value k, Value v) {
        Pair* p = a.allocate_array<Pair>(1);
        p[0] = Pair{k, v};
        return Value::mapping(p, 1);
    };
    const auto items = [](Arena& a, std::initializer_list<Value> list) {
        Value* v = a.allocate_array<Value>(list.size());
        std::copy(list.begin(), list.end(), v);
        return Value::sequence(v, list.size());
    };
    const auto str = [](Arena& a, std::string_view s) { return Value::string(s, a); };
    const Place places[] = {
        [](Arena&, Value s) { return s; },
        [&](Arena& a, Value s) { return one(a, str(a, "k"), s); },
        [&](Arena& a, Value s) { return one(a, s, str(a, "v")); },
        [&](Arena& a, Value s) { return one(a, s, s); },
        [&](Arena& a, Value s) { return items(a, {s, s}); },
        [&](Arena& a, Value s) { return items(a, {one(a, s, s), one(a, str(a, "k"), items(a, {s}))}); },
        [&](Arena& a, Value s) { return one(a, str(a, "k"), one(a, s, items(a, {items(a, {s}), s}))); },
        [&](Arena& a, Value s) { return one(a, items(a, {s, one(a, s, s)}), s); },
        [](Arena& a, Value s) { return Value::tagged("!t", s, a); },
        [&](Arena& a, Value s) { return items(a, {Value::tagged("!t", s, a), one(a, Value::tagged("!t", s, a), s)}); },
    };
    const auto configs = config_matrix({0, 3, 20, 80});
    int failures = 0;
    for (const std::string_view tricky : kTrickyTexts) {
        for (const Place& place : places) {
            Arena arena;
            const Value value = place(arena, Value::string(tricky, arena));
            for (const EmitterConfig& config : configs) {
                const std::string fault = round_trip_fault(value, config);
                if (!fault.empty()) {
                    ADD_FAILURE() << fault;
                    if (++failures == 10) return;
                }
            }
        }
    }
}

TEST(WriterRoundTrip, GeneratedTrees) {
    const auto configs = config_matrix({0, 20, 80});
    int failures = 0;
    for (std::uint64_t seed = 1; seed <= 150; ++seed) {
        Arena arena;
        TreeGenerator generator(seed, arena);
        const Value value = generator.value(3 + static_cast<int>(seed % 8));
        for (const EmitterConfig& config : configs) {
            const std::string fault = round_trip_fault(value, config);
            if (!fault.empty()) {
                ADD_FAILURE() << "seed " << seed << ": " << fault;
                if (++failures == 10) return;
            }
        }
    }
}

// Generated strings alone, at many widths: folding is where they break.
TEST(WriterRoundTrip, GeneratedStringsAtEveryWidth) {
    Arena arena;
    TreeGenerator generator(7, arena);
    int failures = 0;
    for (int n = 0; n < 400; ++n) {
        const Value s = generator.string();
        Pair* pair = arena.allocate_array<Pair>(1);
        pair[0] = Pair{Value::string("k", arena), s};
        Value* item = arena.allocate_array<Value>(1);
        item[0] = Value::mapping(pair, 1);
        const Value value = Value::sequence(item, 1);
        for (std::uint64_t width = 1; width <= 40; width += 3) {
            for (const bool flow : {false, true}) {
                EmitterConfig config;
                config.width = width;
                config.flow_style = flow;
                config.prefer_double_quotes = n % 2 == 0;
                const std::string fault = round_trip_fault(value, config);
                if (!fault.empty()) {
                    ADD_FAILURE() << fault;
                    if (++failures == 10) return;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quillmere::encode

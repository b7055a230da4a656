// Documents, directives, tags, anchors, keys and merges.
#include <gtest/gtest.h>

#include "support/value_text.h"

namespace quillmere::testing {
namespace {

using decode::DecodeOptions;
using resolver::ResolveMode;

struct Case {
    const char* input;
    const char* expected;
};

class Documents : public ::testing::TestWithParam<Case> {};

TEST_P(Documents, Decode) { EXPECT_EQ(decode_to_text(GetParam().input), GetParam().expected) << GetParam().input; }

INSTANTIATE_TEST_SUITE_P(
    Decoder, Documents,
    ::testing::Values(
        // Streams and documents.
        Case{"", ""}, Case{"# only a comment\n", ""}, Case{"---", "null"}, Case{"--- a\n--- b", "\"a\" | \"b\""},
        Case{"a\n...\n--- b\n...\n", "\"a\" | \"b\""},
        Case{"a: 1\n...\nb", "{\"a\": 1} | \"b\""},
        Case{"\xEF\xBB\xBF" "a: 1", "{\"a\": 1}"},
        Case{"# c\n\xEF\xBB\xBF" "version: 1", "{\"version\": 1}"},
        Case{"a\n...\n\xEF\xBB\xBF" "b: 1", "\"a\" | {\"b\": 1}"},
        Case{"a: 1\n- b", "error(parse): a block collection cannot be a mapping key @2:1"},
        Case{"[a]\n[b]", "error(parse): trailing content after document @2:1"},
        // Directives.
        Case{"%YAML 1.1\n--- a", "\"a\""},
        Case{"%YAML 1.1\n%YAML 1.1\n---", "error(parse): duplicate %YAML directive @2:1"},
        Case{"%YAML 1.1.1\n---", "error(parse): invalid %YAML directive @1:1"},
        Case{"%YAML 1\n---", "error(parse): invalid %YAML directive @1:1"},
        Case{"%YAML 1.2 extra\n---", "error(parse): invalid %YAML directive @1:1"},
        Case{"%YAML 1.1 # note\n---", "null"}, Case{"%YAML 9.9\n--- a", "\"a\""},
        Case{"%YAML 99999999999.1\n--- a", "\"a\""}, Case{"%YAML 1.x\n---", "error(parse): invalid %YAML directive @1:1"},
        Case{"--- [a]\n%YAML 1.2\n--- b",
             "error(parse): a directive must be at the start of the stream or follow a document-end marker (...) @2:1"},
        Case{"--- a\n...\n%YAML 1.2\n--- b", "\"a\" | \"b\""},
        Case{"%YAML 1.2\na", "error(parse): directive must be followed by a document start (---) @1:1"},
        Case{"%YAML 1.2\n---\n%YAML 1.2\n---",
             "error(parse): a directive must be at the start of the stream or follow a document-end marker (...) @3:1"},
        Case{"%TAG !e! !ext-\n%TAG !e! !other-\n--- a", "error(parse): duplicate %TAG directive for handle '!e!' @2:1"},
        Case{"%TAG !e!\n%FOO bar\n--- a", "\"a\""},
        // Tags.
        Case{"%TAG !e! !ext-\n--- !e!x 1", "!ext-x(\"1\")"},
        Case{"%TAG !e! !ext-\n--- !e!x 1\n--- !e!x 2", "error(parse): undefined tag handle: !e! @3:5"},
        Case{"!!int 42", "42"}, Case{"!foo 42", "!foo(\"42\")"}, Case{"!!map {a: 1}", "{\"a\": 1}"},
        Case{"! 42", "!(\"42\")"}, Case{"!<!foo> 1", "!<!foo>(\"1\")"},
        Case{"%TAG ! tag:example.com,2000:\n--- !x 1", "tag:example.com,2000:x(\"1\")"},
        Case{"%TAG !! tag:example.com,2000:\n--- !!x 1", "tag:example.com,2000:x(\"1\")"},
        Case{"!<tag:yaml.org,2002:int> 1", "1"}, Case{"!<tag:yaml.org,2002:str> 1", "\"1\""},
        Case{"!<tag:yaml.org,2002:map> {a: 1}", "{\"a\": 1}"},
        Case{"!<tag:yaml.org,2002:int> x", "error(parse): cannot read 'x' as !!int @1:1"},
        Case{"key: !foo\n- a\n- b", "{\"key\": !foo([\"a\", \"b\"])}"},
        Case{"!!str", "\"\""}, Case{"- !!null\n- !x", "[null, !x(\"\")]"},
        Case{"!a !b x", "!b(\"x\")"},
        // Anchors and aliases.
        Case{"a: &x 1\nb: *x", "{\"a\": 1, \"b\": 1}"},
        Case{"b: *x\na: &x 1", "error(parse): unknown alias: *x @1:4"},
        Case{"&a [*a]", "error(parse): unknown alias: *a @1:5"},
        Case{"- &a 1\n- *a\n- &a 2\n- *a", "[1, 1, 2, 2]"},
        Case{"&a &b x", "error(parse): a node cannot have two anchors @1:4"},
        Case{"- &a x\n- &b *a", "error(parse): an alias node cannot have an anchor or tag @2:6"},
        Case{"--- &a x\n--- *a", "error(parse): unknown alias: *a @2:5"},
        Case{"a: &x [1, {b: 2}]\nc: *x", "{\"a\": [1, {\"b\": 2}], \"c\": [1, {\"b\": 2}]}"},
        // Empty nodes and entries with only properties.
        Case{": a\n: b", "{null: \"a\", null: \"b\"}"},
        Case{"[a: , b]", "[{\"a\": null}, \"b\"]"},
        Case{"{a: , b}", "{\"a\": null, \"b\": null}"},
        Case{"- a\n- &x", "[\"a\", null]"}, Case{"[&a]", "[null]"},
        Case{"- &a\n- b", "[null, \"b\"]"},
        Case{"- !t\n- b", "[!t(\"\"), \"b\"]"},
        Case{"key: &a\n- x", "{\"key\": [\"x\"]}"},
        Case{"- \n- b", "[null, \"b\"]"}, Case{"[a, ]", "[\"a\"]"},
        Case{"[a: 1, b]", "[{\"a\": 1}, \"b\"]"}, Case{"[? a : b]", "[{\"a\": \"b\"}]"},
        Case{"? a: b\n: c", "{{\"a\": \"b\"}: \"c\"}"},
        Case{"? a\n: moon: white", "{\"a\": {\"moon\": \"white\"}}"},
        // Keys.
        Case{"? [a]\n: 1", "{[\"a\"]: 1}"},
        Case{"a: 1\na: 2", "{\"a\": 1, \"a\": 2}"},
        Case{"a:\n  b\nc", "error(parse): expected ':' after mapping key @3:1"},
        Case{"a: b: c", "error(parse): a block collection cannot be a mapping key @1:5"},
        // Resolution.
        Case{"[~, null, true, 0o17, 0123, 1e5, .inf, 12345678901234567890]",
             "[null, null, true, 15, \"0123\", float(100000.0), float(.inf), big(12345678901234567890)]"},
        Case{"- 'yes'\n- \"1\"\n- |\n  7\n", "[\"yes\", \"1\", \"7\\n\"]"},
        // Merge keys: explicit pairs first, then merged ones in source order.
        Case{"b: &b {x: 1, y: 2}\nm: {<<: *b, y: 3}",
             "{\"b\": {\"x\": 1, \"y\": 2}, \"m\": {\"y\": 3, \"x\": 1}}"},
        Case{"a: &a {k: 1}\nb: &b {k: 2, j: 2}\nm: {<<: [*a, *b]}",
             "{\"a\": {\"k\": 1}, \"b\": {\"k\": 2, \"j\": 2}, \"m\": {\"k\": 1, \"j\": 2}}"},
        Case{"a: &a {k: 1}\nb: &b {k: 2}\nm: {<<: *a, <<: *b}",
             "{\"a\": {\"k\": 1}, \"b\": {\"k\": 2}, \"m\": {\"k\": 1}}"},
        Case{"m: {<<: 5}", "{\"m\": {\"<<\": 5}}"},
        Case{"a: &a {k: 1}\nm: {<<: [*a, 5]}", "{\"a\": {\"k\": 1}, \"m\": {\"k\": 1, \"<<\": [5]}}"},
        Case{"m: {<<: ~}", "{\"m\": {}}"},
        Case{"a: &a {k: 1}\nm: {'<<': *a}", "{\"a\": {\"k\": 1}, \"m\": {\"<<\": {\"k\": 1}}}"},
        Case{"- <<\n- x: <<", "[\"<<\", {\"x\": \"<<\"}]"}, Case{"<<", "\"<<\""},
        Case{"{<<: {a: 1}}: v", "{{\"<<\": {\"a\": 1}}: \"v\"}"},
        Case{"a: &a {x: 1}\nb: &b {<<: *a, y: 2}\nc: {<<: *b, z: 3}",
             "{\"a\": {\"x\": 1}, \"b\": {\"y\": 2, \"x\": 1}, \"c\": {\"z\": 3, \"y\": 2, \"x\": 1}}"},
        Case{"a: &a {k: 1}\nm: {!!merge x: *a}", "{\"a\": {\"k\": 1}, \"m\": {\"k\": 1}}"},
        Case{"m: {<<: {a: 1}, <<: !t {b: 2}}", "{\"m\": {\"a\": 1, \"<<\": !t({\"b\": 2})}}"},
        // An explicit key wins over a merged key that Python takes as the same.
        Case{"m: {1: a, <<: {1.0: b, true: c, 2: d}}", "{\"m\": {1: \"a\", 2: \"d\"}}"},
        // ... and whatever the tag of either.
        Case{"b: &b {k: 1, j: 1}\nm:\n  <<: *b\n  ! k: 2", "{\"b\": {\"k\": 1, \"j\": 1}, \"m\": {!(\"k\"): 2, \"j\": 1}}"},
        Case{"m: {!t k: 2, <<: {!u k: 1, j: 1}}", "{\"m\": {!t(\"k\"): 2, \"j\": 1}}"},
        Case{"m: {<<: [{!t k: 1}, {k: 2}]}", "{\"m\": {!t(\"k\"): 1}}"},
        Case{"m: {!t 1: a, <<: {1: b}}", "{\"m\": {!t(\"1\"): \"a\", 1: \"b\"}}"}));

TEST(Decoder, Yaml11MergeTagAndWarnings) {
    DecodeOptions yaml11{ResolveMode::Yaml11, false, false, false, true};
    EXPECT_EQ(decode_to_text("a: &a {k: 1}\nm: {!!merge x: *a}", yaml11), "{\"a\": {\"k\": 1}, \"m\": {\"k\": 1}}");

    EXPECT_EQ(decode_warnings("x: yes\nw: 'yes'\nz: 010\n", yaml11),
              (std::vector<std::string>{"yaml11(yes, bool, str) @1:4", "yaml11(010, int, str) @3:4"}));
    EXPECT_EQ(decode_to_text("- yes\n- y\n- 010", yaml11), "[true, true, 8]");
    DecodeOptions compat{ResolveMode::Yaml11Compat};
    EXPECT_EQ(decode_to_text("- yes\n- y\n- 010", compat), "[true, \"y\", 8]");
}

TEST(Decoder, DuplicateKeys) {
    DecodeOptions warn;
    warn.dup_warn = true;
    const std::string_view text = "a: 1\na: 2\n<<: {}\n<<: {}\n1: x\n'1': y\n";
    auto result = decode::decode_documents(text, warn);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(decode_warnings(text, warn), (std::vector<std::string>{"dup(a) @2:1"}));
    EXPECT_EQ(describe_value(result.value().documents[0]), "{\"a\": 1, \"a\": 2, 1: \"x\", \"1\": \"y\"}");
    // The warning holds the tree's own key, a view of the text.
    EXPECT_EQ(result.value().warnings[0].key.text().data(), text.data() + 5);

    DecodeOptions error;
    error.dup_error = true;
    const std::pair<const char*, const char*> cases[] = {
        {"a: 1\na: 2", "error(dup): duplicate mapping key: a @2:1"},
        {"1: x\n1: y", "error(dup): duplicate mapping key: Int(1) @2:1"},
        {"{[a, 1]: x, [a, 1]: y}", "error(dup): duplicate mapping key: Sequence([String(\"a\"), Int(1)]) @1:13"},
        {"? {a: 1.5}\n? {a: 1.5}", "error(dup): duplicate mapping key: Mapping([(String(\"a\"), Float(1.5))]) @2:1"},
        {"~: a\n~: b", "error(dup): duplicate mapping key: Null @2:1"},
        {"- {x: 1}\n- {x: 1, x: 2}", "error(dup): duplicate mapping key: x @2:10"},
        {"<<: {}\n<<: {}", "{}"},
        {"1: x\n'1': y", "{1: \"x\", \"1\": \"y\"}"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(decode_to_text(input, error), expected) << input;
}

struct ModeCase {
    const char* input;
    const char* core12;  // the result under the 1.2 core rules
    const char* yaml11;  // under the 1.1 rules (Yaml11Compat gives the same)
};

// Explicit core tags read the text by their grammars in both rule sets,
// the load's own first, and never invent a value.
TEST(Decoder, CoreTagsReadTheirText) {
    const ModeCase cases[] = {
        {"!!int 99999999999999999999", "big(99999999999999999999)", "big(99999999999999999999)"},
        {"!!int 017", "17", "15"},
        {"!!int 0x1_0", "16", "16"},
        {"!!int 0o17", "15", "15"},
        {"!!int -0x10000000000000000", "big(-18446744073709551616)", "big(-18446744073709551616)"},
        {"!!float 5", "float(5.0)", "float(5.0)"},
        {"!!float 1_000", "float(1000.0)", "float(1000.0)"},
        {"!!bool yes", "true", "true"},
        {"!!bool FALSE", "false", "false"},
        {"!!null ~", "null", "null"},
        {"!<tag:yaml.org,2002:int> 1", "1", "1"},
        {"%TAG !y! tag:yaml.org,2002:\n--- !y!float 2", "float(2.0)", "float(2.0)"},
        {"!!int abc", "error(parse): cannot read 'abc' as !!int @1:1", "error(parse): cannot read 'abc' as !!int @1:1"},
        {"x: !!float x", "error(parse): cannot read 'x' as !!float @1:4", "error(parse): cannot read 'x' as !!float @1:4"},
        {"- !!null abc", "error(parse): cannot read 'abc' as !!null @1:3", "error(parse): cannot read 'abc' as !!null @1:3"},
        {"- !!bool maybe", "error(parse): cannot read 'maybe' as !!bool @1:3",
         "error(parse): cannot read 'maybe' as !!bool @1:3"},
        {"a: !!int\nb: 1", "error(parse): cannot read '' as !!int @1:4", "error(parse): cannot read '' as !!int @1:4"},
        {"!<tag:yaml.org,2002:int> x", "error(parse): cannot read 'x' as !!int @1:1",
         "error(parse): cannot read 'x' as !!int @1:1"},
        {"- !!str 017\n- !foo 017", "[\"017\", !foo(\"017\")]", "[\"017\", !foo(\"017\")]"},
    };
    for (const ModeCase& c : cases) {
        EXPECT_EQ(decode_to_text(c.input, DecodeOptions{ResolveMode::Core12}), c.core12) << c.input;
        EXPECT_EQ(decode_to_text(c.input, DecodeOptions{ResolveMode::Yaml11}), c.yaml11) << c.input;
        EXPECT_EQ(decode_to_text(c.input, DecodeOptions{ResolveMode::Yaml11Compat}), c.yaml11) << c.input;
    }
    // A tagged text that only the other rule set reads is read all the same.
    EXPECT_EQ(decode_to_text("!!bool y", DecodeOptions{ResolveMode::Core12}), "true");
    EXPECT_EQ(decode_to_text("!!bool y", DecodeOptions{ResolveMode::Yaml11Compat}),
              "error(parse): cannot read 'y' as !!bool @1:1");
}

// Integers beyond 64 bits are big integers in every base of the rule set,
// kept as their decimal digits.
TEST(Decoder, BigIntegersInEveryBase) {
    const ModeCase cases[] = {
        {"0x8000000000000000", "big(9223372036854775808)", "big(9223372036854775808)"},
        {"-0x1_0000_0000_0000_0000", "\"-0x1_0000_0000_0000_0000\"", "big(-18446744073709551616)"},
        {"0o1000000000000000000000", "big(9223372036854775808)", "\"0o1000000000000000000000\""},
        {"01777777777777777777777", "\"01777777777777777777777\"", "big(18446744073709551615)"},
        {"0b10000000000000000000000000000000000000000000000000000000000000000", "\"0b1000000000000000000000000000000"
                                                                               "0000000000000000000000000000000000\"",
         "big(18446744073709551616)"},
        {"12345678901234567890", "big(12345678901234567890)", "big(12345678901234567890)"},
        {"9223372036854775807:0", "\"9223372036854775807:0\"", "\"9223372036854775807:0\""},
        {"{0x10000000000000000: a, 18446744073709551616: b}", "{big(18446744073709551616): \"a\", "
                                                              "big(18446744073709551616): \"b\"}",
         "{big(18446744073709551616): \"a\", big(18446744073709551616): \"b\"}"},
    };
    for (const ModeCase& c : cases) {
        EXPECT_EQ(decode_to_text(c.input, DecodeOptions{ResolveMode::Core12}), c.core12) << c.input;
        EXPECT_EQ(decode_to_text(c.input, DecodeOptions{ResolveMode::Yaml11}), c.yaml11) << c.input;
    }
    // The same value written twice is a duplicate key.
    DecodeOptions dup_error{ResolveMode::Core12};
    dup_error.dup_error = true;
    EXPECT_EQ(decode_to_text("0x10000000000000000: a\n18446744073709551616: b", dup_error),
              "error(dup): duplicate mapping key: BigInt(\"18446744073709551616\") @2:1");
}

// !!merge marks a merge key in every mode, as a plain << does.
TEST(Decoder, MergeTagInEveryMode) {
    const char* const texts[] = {
        "base: &x {a: 1, b: 2}\nm:\n  !!merge <<: *x\n  b: 3",
        "base: &x {a: 1, b: 2}\nm: {!!merge anything: *x, b: 3}",
        "base: &x {a: 1, b: 2}\nm: {!<tag:yaml.org,2002:merge> <<: *x, b: 3}",
    };
    for (ResolveMode mode : {ResolveMode::Core12, ResolveMode::Yaml11, ResolveMode::Yaml11Compat})
        for (const char* text : texts)
            EXPECT_EQ(decode_to_text(text, DecodeOptions{mode}),
                      "{\"base\": {\"a\": 1, \"b\": 2}, \"m\": {\"b\": 3, \"a\": 1}}")
                << text;
    // A quoted "<<" and "<<" under !!str stay ordinary keys.
    EXPECT_EQ(decode_to_text("x: &x {a: 1}\nm: {!!str <<: *x}"), "{\"x\": {\"a\": 1}, \"m\": {\"<<\": {\"a\": 1}}}");
}

// Keys that Python would make one dict entry are duplicates under both
// policies; the message shows the second key as written.
TEST(Decoder, KeysThatCollapseInPython) {
    const std::pair<const char*, const char*> cases[] = {
        {"1: a\n1.0: b", "Float(1.0) @2:1"},
        {"true: a\n1: b", "Int(1) @2:1"},
        {"0.0: a\n-0.0: b", "Float(-0.0) @2:1"},
        {"{0: a, false: b}", "Bool(false) @1:8"},
        {"9223372036854775808: a\n9223372036854775808.0: b", "Float(9.223372036854776e18) @2:1"},
        {"[1, 2]: a\n[1.0, 2]: b", "Sequence([Float(1.0), Int(2)]) @2:1"},
        {"!!int 10: a\n!!float 10: b", "Float(10.0) @2:1"},
    };
    DecodeOptions error;
    error.dup_error = true;
    DecodeOptions warn;
    warn.dup_warn = true;
    for (const auto& [input, key_and_position] : cases) {
        const std::string expected = key_and_position;
        const std::string key = expected.substr(0, expected.find(" @"));
        EXPECT_EQ(decode_to_text(input, error), "error(dup): duplicate mapping key: " + expected) << input;
        const std::string position = expected.substr(expected.find(" @"));
        EXPECT_EQ(decode_warnings(input, warn), std::vector<std::string>{"dup(" + key + ")" + position}) << input;
    }
    // Without the options both pairs stay, and the later value wins in Python.
    EXPECT_EQ(decode_to_text("1: a\n1.0: b"), "{1: \"a\", float(1.0): \"b\"}");
    // Keys Python keeps apart stay apart.
    EXPECT_EQ(decode_to_text("1: a\n'1': b\n1.5: c\n.nan: d\n2: e", error),
              "{1: \"a\", \"1\": \"b\", float(1.5): \"c\", float(.nan): \"d\", 2: \"e\"}");
}

// A String whose text the scanner saw to be ASCII says so, as a key and as
// a value; a character past ASCII, read or written by an escape, clears it,
// and block scalars are not looked at.
TEST(Decoder, AsciiTextsAreNoted) {
    const std::pair<const char*, bool> cases[] = {
        {"plain words", true},
        {"first line\n  second line", true},
        {"caf\xC3\xA9", false},
        {"line\n  caf\xC3\xA9", false},
        {"'single ''quoted'''", true},
        {"'\xC3\xA9t\xC3\xA9'", false},
        {"\"tab\\there \\x41 \\\"\"", true},
        {"\"\\u00e9\"", false},
        {"\"\\x80\"", false},
        {"\"\\N\"", false},
        {"\"\\U0001F600 and more\"", false},
        {"\"caf\xC3\xA9 \\t\"", false},
        {"|\n  literal\n", false},
        {">\n  folded\n", false},
        {"!!str tagged", true},
    };
    for (const auto& [text, ascii] : cases) {
        const std::string as_value = std::string("- ") + text;
        const std::string as_key = std::string("? ") + text + "\n: v";
        for (const std::string& input : {as_value, as_key}) {
            const auto decoded = decode::decode_documents(input, DecodeOptions{});
            ASSERT_TRUE(decoded.ok()) << input;
            const Value& root = decoded.value().documents.at(0);
            const Value& node = root.is(ValueKind::Sequence) ? root.items()[0] : root.pairs()[0].key;
            ASSERT_TRUE(node.is(ValueKind::String)) << input;
            EXPECT_EQ(node.ascii_text(), ascii) << input;
        }
    }
}

TEST(Decoder, ComplexKeys) {
    DecodeOptions reject;
    reject.reject_complex = true;
    EXPECT_EQ(decode_to_text("? [a]\n: 1", reject), "error(complex): complex mapping key (a sequence used as a key) @1:1");
    EXPECT_EQ(decode_to_text("x: 1\n? {a: 1}\n: 1", reject),
              "error(complex): complex mapping key (a mapping used as a key) @2:1");
    EXPECT_EQ(decode_to_text("[[a]: 1]", reject), "error(complex): complex mapping key (a sequence used as a key) @1:2");
    EXPECT_EQ(decode_to_text("? !t [a]\n: 1", reject), "{!t([\"a\"]): 1}");
    EXPECT_EQ(decode_to_text("? [a]\n: 1"), "{[\"a\"]: 1}");
}

std::string nested(int depth, const char* open, const char* close) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += open;
    for (int i = 0; i < depth; ++i) text += close;
    return text;
}

TEST(Decoder, NestingLimit) {
    // The root counts as one level: 1000 nested nodes decode, 1001 do not.
    EXPECT_TRUE(decode::decode_documents(nested(1000, "[", "]"), {}).ok());
    auto deep = decode::decode_documents("- " + nested(1000, "[", "]"), {});
    ASSERT_FALSE(deep.ok());
    EXPECT_EQ(deep.error().message, "maximum nesting depth (1000) exceeded");

    // 999 nested mappings and the scalar inside them.
    std::string mappings;
    for (int i = 0; i < 998; ++i) mappings += std::string(std::size_t(i), ' ') + "k:\n";
    EXPECT_TRUE(decode::decode_documents(mappings + std::string(998, ' ') + "k: v\n", {}).ok());
    auto too_deep = decode::decode_documents(mappings + std::string(998, ' ') + "k:\n" + std::string(999, ' ') + "k: v\n", {});
    ASSERT_FALSE(too_deep.ok());
    EXPECT_EQ(too_deep.error().message, "maximum nesting depth (1000) exceeded");
}

// Each anchor aliases the previous one ten times: 10^k nodes at level k.
std::string alias_bomb(int levels) {
    std::string text = "a0: &a0 [x]\n";
    for (int i = 1; i <= levels; ++i) {
        text += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [";
        for (int k = 0; k < 10; ++k) text += (k ? ", *a" : "*a") + std::to_string(i - 1);
        text += "]\n";
    }
    return text;
}

TEST(Decoder, AliasBudgetSpansTheStream) {
    auto bomb = decode::decode_documents(alias_bomb(8), {});
    ASSERT_FALSE(bomb.ok());
    EXPECT_EQ(bomb.error().message, "document expands to too many nodes (possible alias bomb)");

    // Under the budget in each document, over it across the stream.
    const std::string half = alias_bomb(6);  // about 2.2 million copied nodes
    EXPECT_TRUE(decode::decode_documents(half, {}).ok());
    std::string stream;
    for (int i = 0; i < 5; ++i) stream += "---\n" + half;
    auto many = decode::decode_documents(stream, {});
    ASSERT_FALSE(many.ok());
    EXPECT_EQ(many.error().message, "document expands to too many nodes (possible alias bomb)");
}

// Keeping only the first document changes nothing else: the later ones
// fail and warn as before (their warnings outlive their trees), and the
// alias budget still spans the stream.
TEST(Decoder, FirstDocumentOnlyChecksTheRest) {
    DecodeOptions all;
    all.dup_warn = true;
    DecodeOptions first = all;
    first.first_document_only = true;
    DecodeOptions strict = first;
    strict.dup_warn = false;
    strict.dup_error = true;
    const std::string half = alias_bomb(6);
    std::string bombs;
    for (int i = 0; i < 5; ++i) bombs += "---\n" + half;
    const std::string texts[] = {
        "a: 1\n---\nb: 2\n---\nc: 3",
        "---\n--- &x [1]\n---\n- *x",
        "a: 1\n---\n? {k: [1, 2]}\n: x\n? {k: [1, 2]}\n: y\n---\nz: 1\nz: 2",
        "a: &x 1\n---\nb: *x",
        "a: 1\n---\nb: [1\n",
        "m: &m {k: 1}\n---\nn: {<<: *m, j: 2}\n---\n<<: [1]",
        bombs,
    };
    for (const std::string& text : texts) {
        for (const DecodeOptions* options : {&first, &strict}) {
            DecodeOptions every = *options;
            every.first_document_only = false;
            auto whole = decode::decode_documents(text, every);
            auto kept = decode::decode_documents(text, *options);
            ASSERT_EQ(kept.ok(), whole.ok()) << text;
            if (!whole.ok()) {
                EXPECT_EQ(kept.error().message, whole.error().message) << text;
                EXPECT_EQ(kept.error().span.offset, whole.error().span.offset) << text;
                continue;
            }
            const auto& documents = kept.value().documents;
            ASSERT_EQ(documents.size(), std::min<std::size_t>(whole.value().documents.size(), 1)) << text;
            if (!documents.empty()) {
                EXPECT_EQ(describe_value(documents[0]), describe_value(whole.value().documents[0])) << text;
            }
            EXPECT_EQ(decode_warnings(text, *options), decode_warnings(text, every)) << text;
        }
    }
    // Only the kept document's keys are numbered for the conversion.
    DecodeOptions numbered = first;
    numbered.for_python = true;
    auto ids = decode::decode_documents("a: 1\nb: {a: 2}\n---\nc: 1\nd: {e: 2}", numbered);
    ASSERT_TRUE(ids.ok());
    EXPECT_EQ(ids.value().key_ids, 2u);

    EXPECT_EQ(decode_warnings("a: 1\n---\n? [x]\n: 1\n? [x]\n: 2\n", first),
              (std::vector<std::string>{"dup(Sequence([String(\"x\")])) @5:1"}));
}

TEST(Decoder, ScanErrorsComeFirst) {
    // The descent fails at line 1, but the text also fails to scan later:
    // as if tokenized whole, the scan error is reported.
    EXPECT_EQ(decode_to_text("b: *x\nc: \"unterminated"),
              "error(parse): unterminated double-quoted scalar @2:4");
    EXPECT_EQ(decode_to_text("b: *x\nc: 1"), "error(parse): unknown alias: *x @1:4");
}

}  // namespace
}  // namespace quillmere::testing

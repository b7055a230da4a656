// The composer: trees, documents, directives, positions and the layout the
// composer records (value_pad, compact, raw), and the errors it shares with
// the plain road.
#include <gtest/gtest.h>

#include <string>

#include "decode/decoder.h"
#include "roundtrip/composer.h"
#include "support/node_text.h"

namespace quillmere::testing {
namespace {

using roundtrip::ComposeOptions;
using roundtrip::NodeKind;
using roundtrip::YamlNode;

std::vector<YamlNode> compose(std::string_view text, bool keep_empty = false) {
    auto roots = roundtrip::compose_text(text, ComposeOptions{0, keep_empty});
    EXPECT_TRUE(roots.ok()) << roots.error().message;
    return roots.ok() ? std::move(roots.value()) : std::vector<YamlNode>{};
}

// "line:column@offset-line:column@offset" of a node's start and end.
std::string extent(const YamlNode& node) {
    return std::to_string(node.span.line) + ":" + std::to_string(node.span.column) + "@" +
           std::to_string(node.span.offset) + "-" + std::to_string(node.end_line) + ":" +
           std::to_string(node.end_column) + "@" + std::to_string(node.end_offset);
}

struct TreeCase {
    const char* input;
    const char* expected;
};

class Trees : public ::testing::TestWithParam<TreeCase> {};

TEST_P(Trees, Compose) { EXPECT_EQ(compose_to_text(GetParam().input), GetParam().expected) << GetParam().input; }

INSTANTIATE_TEST_SUITE_P(
    Composer, Trees,
    ::testing::Values(
        // Styles, properties and aliases stay as written.
        TreeCase{"a: 'x'\nb: \"y\"\nc: |\n  z\nd: >-\n  w\n",
                 "map(a: 'x', b: \"y\", c: |\"z\\n\", d: >\"w\")"},
        TreeCase{"- &a !t [x]\n- {k: *a}", "seq(&a !t [x], {k: *a})"},
        TreeCase{"%TAG !e! tag:e.org,2024:\n--- !e!x 1", "!e!x 1"},
        TreeCase{"!<tag:x> a", "!<tag:x> a"},
        TreeCase{"a: &x 1\nb: *x", "map(a: &x 1, b: *x)"},
        // Empty keys in flow collections are Null keys; nothing leaks to
        // the parent ("[: b]" is one document).
        TreeCase{"[: b]", "[{(): b}]"}, TreeCase{"[a, : b]", "[a, {(): b}]"}, TreeCase{"{: b}", "{(): b}"},
        TreeCase{"[a: b, ? c]", "[{a: b}, {c: ()}]"},
        // Properties with no content are an empty node; a "- " after them
        // starts the next item.
        TreeCase{"- &a\n- b", "seq(&a (), b)"}, TreeCase{"a: !t\nb: 1", "map(a: !t (), b: 1)"},
        TreeCase{"key: !foo\n- a\n- b", "map(key: !foo seq(a, b))"},
        // Properties before "?" belong to the mapping, wherever the
        // document starts; the ":" after the "?" is the explicit key's.
        TreeCase{"!c ? : x", "!c map(map((): x): ())"}, TreeCase{"---\n!c ? : x", "!c map(map((): x): ())"},
        TreeCase{"--- \n&a ? : x", "&a map(map((): x): ())"}, TreeCase{"!c ? x : y", "!c map(map(x: y): ())"},
        // Missing keys, values and items.
        TreeCase{"- \n- b", "seq((), b)"}, TreeCase{"[a, ]", "[a]"}, TreeCase{"? a\n: \n", "map(a: ())"},
        TreeCase{": a\n: b", "map((): a, (): b)"},
        // Whatever the plain road rejects, with the same message and place.
        TreeCase{"a: *x", "error: unknown alias: *x @1:4"},
        TreeCase{"&a [*a]", "error: unknown alias: *a @1:5"},
        TreeCase{"&a *b", "error: an alias node cannot have an anchor or tag @1:4"},
        TreeCase{"&a &b x", "error: a node cannot have two anchors @1:4"},
        TreeCase{"%TAG !e! tag:e,\n--- !e!x 1\n--- !e!x 2", "error: undefined tag handle: !e! @3:5"},
        TreeCase{"%YAML 1.2\na", "error: directive must be followed by a document start (---) @1:1"},
        TreeCase{"[a]\n[b]", "error: trailing content after document @2:1"},
        TreeCase{"a: 1\n- b", "error: a block collection cannot be a mapping key @2:1"},
        TreeCase{"a: [b", "error: unclosed flow collection at end of input @1:6"}));

TEST(Composer, ErrorsAreTheDecodersOwn) {
    for (const char* text : {"a: *x", "&a &b x", "%YAML 1.1\n%YAML 1.1\n---", "--- [a]\n%YAML 1.2\n--- b", "a\nb: c",
                             "? [a\n: b"}) {
        auto composed = roundtrip::parse_documents(text);
        auto decoded = decode::decode_documents(text, {});
        ASSERT_FALSE(composed.ok()) << text;
        ASSERT_FALSE(decoded.ok()) << text;
        EXPECT_EQ(composed.error().message, decoded.error().message) << text;
        EXPECT_EQ(composed.error().span, decoded.error().span) << text;
    }
}

TEST(Composer, Documents) {
    EXPECT_TRUE(compose("").empty());
    EXPECT_TRUE(compose("# only a comment\n\n").empty());
    EXPECT_TRUE(compose("---\n").empty());

    const auto kept = compose("---\n", true);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept[0].is(NodeKind::Null));
    EXPECT_TRUE(kept[0].explicit_start);
    EXPECT_EQ(extent(kept[0]), "0:0@0-0:0@0");

    EXPECT_EQ(compose("--- a\n---\n--- b\n").size(), 2u);
    const auto three = compose("--- a\n---\n--- b\n", true);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(extent(three[1]), "1:0@6-1:0@6");

    const auto bare = compose("a\n--- b");
    ASSERT_EQ(bare.size(), 2u);
    EXPECT_FALSE(bare[0].explicit_start);
    EXPECT_TRUE(bare[1].explicit_start);
}

TEST(Composer, DirectivesStayWithTheirDocument) {
    const auto roots = compose("%YAML 1.2\n%TAG !e! tag:e.org,2024:\n%FOO bar  # kept\n--- !e!x a\n...\n--- b\n"
                               "...\n%TAG !f! tag:f,\n--- c\n");
    ASSERT_EQ(roots.size(), 3u);
    // Reserved directives are kept too, with their comments.
    EXPECT_EQ(roots[0].directives(),
              (std::vector<std::string>{"%YAML 1.2", "%TAG !e! tag:e.org,2024:", "%FOO bar  # kept"}));
    EXPECT_EQ(roots[0].tag(), "!e!x");
    EXPECT_TRUE(roots[1].directives().empty());
    EXPECT_EQ(roots[2].directives(), (std::vector<std::string>{"%TAG !f! tag:f,"}));
    // An empty document kept as a Null keeps its directives too.
    const auto empty = compose("%YAML 1.2\n---\n", true);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].directives(), (std::vector<std::string>{"%YAML 1.2"}));
}

struct ExtentCase {
    const char* input;
    const char* path;
    const char* expected;  // extent()
};

class Extents : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(Extents, StartAndEnd) {
    const auto roots = compose(GetParam().input);
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(extent(node_at(roots, GetParam().path)), GetParam().expected)
        << GetParam().input << " at " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Composer, Extents,
    ::testing::Values(
        // Lines broken by CR LF, lone CR and LF count alike.
        ExtentCase{"a: 1\r\nb: 2\rc: 3\n", "v2", "2:3@14-2:4@15"},
        ExtentCase{"a: 1\r\nb: 2\rc: 3\n", "", "0:0@0-2:4@15"},
        // Columns count code points, not bytes.
        ExtentCase{"k: \xC3\xA9t\xC3\xA9 x", "v0", "0:3@3-0:8@10"},
        ExtentCase{"\xC3\xA9: [\xE2\x82\xAC]", "v0.0", "0:4@5-0:5@8"},
        // After a byte order mark the first line starts at byte 3.
        ExtentCase{"\xEF\xBB\xBF" "a: b", "k0", "0:0@3-0:1@4"},
        ExtentCase{"\xEF\xBB\xBF" "a: b", "v0", "0:3@6-0:4@7"},
        ExtentCase{"\xEF\xBB\xBF?", "", "0:0@3-0:0@3"},
        // Quoted scalars end after their closing quote, aliases after their
        // name, bracketed collections after their bracket.
        ExtentCase{"a: 'x y'  # c", "v0", "0:3@3-0:8@8"},
        ExtentCase{"a: &n 1\nb: *n  # c", "v1", "1:3@11-1:5@13"},
        ExtentCase{"k: [a, b]  # c", "v0", "0:3@3-0:9@9"},
        ExtentCase{"k: {}", "v0", "0:3@3-0:5@5"},
        ExtentCase{"k: [\n  a,\n  b\n ]\n", "v0", "0:3@3-3:2@16"},
        // Collections of empty nodes end no earlier than they start.
        ExtentCase{"x: {?}", "v0", "0:3@3-0:6@6"},
        ExtentCase{"- ? \n", "0", "0:2@2-0:2@2"},
        // A mapping whose first key begins with a property starts there.
        ExtentCase{"&a k: v", "", "0:0@0-0:7@7"}, ExtentCase{"x:\n  !t k: v", "v0", "1:2@5-1:9@12"},
        // A block collection ends where its furthest child ends, which may
        // be a key.
        ExtentCase{"a:\n  b: 1\n  c: 22\n", "v0", "1:2@5-2:7@17"},
        ExtentCase{"? long key\n:\n", "", "0:0@0-0:10@10"},
        // A block scalar ends after its last line.
        ExtentCase{"a: |\n  x\n  y\nb: 1", "v0", "0:3@3-3:0@13"},
        ExtentCase{"a: |\r\n  x\r\nb: 1", "v0", "0:3@3-2:0@11"},
        // Empty nodes: an empty "-" item at its dash, properties with no
        // content at the next token, a missing value at zero.
        ExtentCase{"- a\n-\n- b", "1", "1:0@4-1:0@4"},
        ExtentCase{"a: !t\nb: 1", "v0", "1:0@6-1:0@6"},
        ExtentCase{"a:\nb: 1", "v0", "0:0@0-0:0@0"},
        // A flow sequence item written as a pair is a flow mapping that
        // starts at its key.
        ExtentCase{"[x, a: bc]", "1", "0:4@4-0:9@9"},
        ExtentCase{"[x, : bc]", "1.k0", "0:4@4-0:4@4"}));

struct PadCase {
    const char* input;
    const char* path;
    std::uint32_t value_pad;
};

class ValuePads : public ::testing::TestWithParam<PadCase> {};

TEST_P(ValuePads, BlanksAfterTheIndicator) {
    const auto roots = compose(GetParam().input);
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(node_at(roots, GetParam().path).comments.value_pad, GetParam().value_pad)
        << GetParam().input << " at " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Composer, ValuePads,
    ::testing::Values(
        PadCase{"- a", "0", 1}, PadCase{"-   a", "0", 3}, PadCase{"- [a]", "0", 1}, PadCase{"- &x a\n-  *x", "1", 2},
        PadCase{"a: 1", "v0", 1}, PadCase{"a:   1", "v0", 3}, PadCase{"a:\t1", "v0", 1},
        // Measured from the ":" whatever the key, and up to the first
        // property of the value, so that writing the pad back gives the
        // same text.
        PadCase{"'a':   1", "v0", 3}, PadCase{"&k a:  1", "v0", 2}, PadCase{"a:   &x 1", "v0", 3},
        PadCase{"-  !t a", "0", 2}, PadCase{"{a:  b}", "v0", 2},
        // No pad for a value on a later line or for a missing one.
        PadCase{"a:\n  1", "v0", 0}, PadCase{"a:\nb: 1", "v0", 0}, PadCase{"- a:  1", "0", 0},
        PadCase{"- a:  1", "0.v0", 2}));

TEST(Composer, ATagKeepsWhatItNamesWhereItsSpellingDoesNotSayIt) {
    const struct {
        const char* text;
        const char* tag;                // as written
        const char* expansion;          // recorded, or null
    } cases[] = {
        {"!!int 1", "!!int", nullptr},
        {"!t 1", "!t", nullptr},
        {"%TAG !e! tag:example.com,2000:\n--- !e!x 1", "!e!x", nullptr},
        {"!<tag:yaml.org,2002:int> 1", "!<tag:yaml.org,2002:int>", "tag:yaml.org,2002:int"},
        {"%TAG !e! tag:yaml.org,2002:\n--- !e!int 1", "!e!int", "tag:yaml.org,2002:int"},
        {"%TAG !! tag:example.com,2000:\n--- !!int 1", "!!int", "tag:example.com,2000:int"},
        {"%TAG !! tag:yaml.org,2002:\n--- !!int 1", "!!int", nullptr},
        {"%TAG !e! tag:yaml.org,2002:\n--- !e! 1", "!e!", "tag:yaml.org,2002:"},
    };
    for (const auto& c : cases) {
        const auto roots = compose(c.text);
        ASSERT_EQ(roots.size(), 1u) << c.text;
        EXPECT_EQ(roots[0].tag(), c.tag) << c.text;
        if (c.expansion == nullptr) {
            EXPECT_FALSE(roots[0].tag_expansion()) << c.text;
            EXPECT_EQ(roots[0].tag_meaning(), c.tag) << c.text;
        } else {
            EXPECT_EQ(roots[0].tag_expansion(), c.expansion) << c.text;
            EXPECT_EQ(roots[0].tag_meaning(), c.expansion) << c.text;
        }
    }
    // Copies keep what the tag names.
    YamlNode copy;
    copy.copy_tag(compose("!<tag:yaml.org,2002:str> 1")[0]);
    EXPECT_EQ(copy.tag_meaning(), "tag:yaml.org,2002:str");
}

TEST(Composer, CompactSequences) {
    const auto roots = compose("- - a\n  - b\n-\n  - c\n- - - d\n");
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_TRUE(node_at(roots, "0").comments.compact);
    EXPECT_FALSE(node_at(roots, "1").comments.compact);
    EXPECT_TRUE(node_at(roots, "2").comments.compact);
    EXPECT_TRUE(node_at(roots, "2.0").comments.compact);
    EXPECT_FALSE(node_at(roots, "0.0").comments.compact);
}

TEST(Composer, BlockScalarsKeepTheirSource) {
    const char* text = "a: |+ # kept\n  x\n\nb: >-\r\n  folded\r\n  text\r\nc: plain\n";
    const auto roots = compose(text);
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(node_at(roots, "v0").comments.raw(), "|+ # kept\n  x\n\n");
    EXPECT_EQ(node_at(roots, "v1").comments.raw(), ">-\r\n  folded\r\n  text\r\n");
    EXPECT_FALSE(node_at(roots, "v2").comments.raw());
    EXPECT_FALSE(node_at(roots, "k0").comments.raw());
}

TEST(Composer, ByteOrderMark) {
    const auto roots = compose("\xEF\xBB\xBF" "a\n--- b\n");
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_TRUE(roots[0].leading_bom);
    EXPECT_FALSE(roots[1].leading_bom);
    EXPECT_EQ(extent(roots[0]), "0:0@3-0:1@4");
    EXPECT_FALSE(compose("a")[0].leading_bom);
}

TEST(Composer, PositionsCarryTheFileId) {
    auto roots = roundtrip::parse_source_documents("a: [b]", 7);
    ASSERT_TRUE(roots.ok());
    const YamlNode& root = roots.value()[0];
    EXPECT_EQ(root.span.file_id, 7u);
    EXPECT_EQ(node_at(roots.value(), "v0.0").span.file_id, 7u);
    auto missing = roundtrip::parse_source_documents("a:", 7);
    ASSERT_TRUE(missing.ok());
    EXPECT_EQ(node_at(missing.value(), "v0").span, Span{});
}

std::string nested_block_mappings(int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += std::string(static_cast<std::size_t>(i), ' ') + "a:\n";
    return text + std::string(static_cast<std::size_t>(levels), ' ') + "x\n";
}

TEST(Composer, NestingLimit) {
    // 999 mappings and the scalar below them are 1000 levels.
    auto deepest = roundtrip::parse_documents(nested_block_mappings(999));
    ASSERT_TRUE(deepest.ok()) << deepest.error().message;
    auto deeper = roundtrip::parse_documents(nested_block_mappings(1000));
    ASSERT_FALSE(deeper.ok());
    EXPECT_EQ(deeper.error().message, "maximum nesting depth (1000) exceeded");
    EXPECT_EQ(deeper.error().span.line, 999u);  // the key of the thousandth mapping
}

}  // namespace
}  // namespace quillmere::testing

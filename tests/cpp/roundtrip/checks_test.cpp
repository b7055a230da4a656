// Duplicate keys, the YAML 1.1 warnings and the 1.1 upgrade on trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "roundtrip/checks.h"
#include "support/yaml_nodes.h"

namespace quillmere::roundtrip {
namespace {

using namespace quillmere::testing;

constexpr ResolveMode k12 = ResolveMode::Core12;
constexpr ResolveMode k11 = ResolveMode::Yaml11;

// A key written as YAML would show it: 'x' single-quoted, "x" double-quoted,
// anything else plain.
YamlNode key_node(const std::string& text) {
    if (text.size() >= 2 && text.front() == '\'') return scalar(text.substr(1, text.size() - 2), ScalarStyle::SingleQuoted);
    if (text.size() >= 2 && text.front() == '"') return scalar(text.substr(1, text.size() - 2), ScalarStyle::DoubleQuoted);
    return plain(text);
}

// A block mapping of the keys, one per line.
YamlNode mapping_of(std::vector<YamlNode> keys) {
    std::vector<NodePair> pairs;
    std::uint32_t line = 0;
    for (YamlNode& key : keys) {
        key.span.line = line++;
        pairs.push_back(NodePair{std::move(key), plain("v")});
    }
    return YamlNode::mapping(std::move(pairs), CollectionStyle::Block);
}

struct DuplicateCase {
    ResolveMode mode;
    std::vector<std::string> keys;
    const char* expected;  // the error message, or "" for none
};

void PrintTo(const DuplicateCase& c, std::ostream* os) {
    for (const std::string& key : c.keys) *os << key << " ";
}

class DuplicateKeys : public ::testing::TestWithParam<DuplicateCase> {};

TEST_P(DuplicateKeys, FirstDuplicate) {
    const DuplicateCase& c = GetParam();
    std::vector<YamlNode> keys;
    for (const std::string& key : c.keys) keys.push_back(key_node(key));
    const auto found = first_duplicate_key(mapping_of(std::move(keys)), c.mode);
    if (std::string(c.expected).empty()) {
        EXPECT_FALSE(found) << found->message;
    } else {
        ASSERT_TRUE(found);
        EXPECT_EQ(found->message, c.expected);
        EXPECT_EQ(found->kind, LocatedErrorKind::DuplicateKey);
        EXPECT_EQ(found->span.line, c.keys.size() - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DuplicateKeys,
    ::testing::Values(
        // Keys that one Python dict entry holds.
        DuplicateCase{k12, {"1", "1.0"}, "duplicate mapping key: 1.0"},
        DuplicateCase{k12, {"true", "1"}, "duplicate mapping key: 1"},
        DuplicateCase{k12, {"false", "0"}, "duplicate mapping key: 0"},
        DuplicateCase{k12, {"0.0", "-0.0"}, "duplicate mapping key: -0.0"},
        DuplicateCase{k12, {"1.0", "1.00"}, "duplicate mapping key: 1.00"},
        DuplicateCase{k12, {"0x10", "16"}, "duplicate mapping key: 16"},
        DuplicateCase{k12, {"12345678901234567890", "+12345678901234567890"},
                      "duplicate mapping key: +12345678901234567890"},
        DuplicateCase{k12, {"100000000000000000000", "1e20"}, "duplicate mapping key: 1e20"},
        DuplicateCase{k12, {".nan", ".NaN"}, "duplicate mapping key: .NaN"},
        DuplicateCase{k12, {".inf", "+.inf"}, "duplicate mapping key: +.inf"},
        DuplicateCase{k12, {"~", "null"}, "duplicate mapping key: null"},
        DuplicateCase{k12, {"'a'", "a"}, "duplicate mapping key: a"},
        DuplicateCase{k11, {"yes", "true"}, "duplicate mapping key: true"},
        DuplicateCase{k11, {"12345678901234567890_1", "123456789012345678901"},
                      "duplicate mapping key: 123456789012345678901"},
        DuplicateCase{k12, {"a", "b", "a"}, "duplicate mapping key: a"},
        // Different keys.
        DuplicateCase{k12, {"'1'", "1"}, ""},
        DuplicateCase{k12, {"1", "1.5"}, ""},
        DuplicateCase{k12, {"yes", "true"}, ""},
        DuplicateCase{k12, {"0.5", "0.25"}, ""},
        // 1e300 is not exactly 10^300, as a Python dict sees it.
        DuplicateCase{k12, {"1e300", "1" + std::string(300, '0')}, ""},
        DuplicateCase{k12, {"9007199254740993", "9007199254740992.0"}, ""},
        DuplicateCase{k12, {"<<", "<<", "'<<'"}, ""},
        DuplicateCase{k12, {"'a,b'", "\"a\""}, ""}));

TEST(DuplicateKeys, AnAliasIsTheNodeItStandsFor) {
    // The alias before its anchor stands for nothing (no text composes so);
    // the one after it is the key k again, and is shown as k.
    YamlNode tree = mapping_of({alias("x"), anchored(plain("k"), "x"), alias("x")});
    const auto found = first_duplicate_key(tree, k12);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->message, "duplicate mapping key: k");
    EXPECT_EQ(found->span.line, 2u);
    EXPECT_FALSE(first_duplicate_key(mapping_of({anchored(plain("k"), "x"), alias("y")}), k12));
    // An alias of a collection equals a collection key with the same items
    // (yaml-test-suite X38W), also through aliases inside it.
    YamlNode b = anchored(plain("b"), "b");
    YamlNode x38w = mapping_of({anchored(seq({plain("a"), b}, CollectionStyle::Flow), "a"), alias("a")});
    const auto collection = first_duplicate_key(x38w, k12);
    ASSERT_TRUE(collection);
    EXPECT_EQ(collection->message, "duplicate mapping key: Sequence([Scalar(\"a\"), Scalar(\"b\")])");
    YamlNode nested = mapping_of({seq({plain("a"), plain("b")}), anchored(plain("b"), "n"),
                                  seq({plain("a"), alias("n")})});
    EXPECT_EQ(first_duplicate_key(nested, k12)->span.line, 2u);
    std::vector<std::string> warnings;
    duplicate_key_warnings(x38w, k12, warnings);
    EXPECT_EQ(warnings, (std::vector<std::string>{"duplicate mapping key 'Sequence([Scalar(\"a\"), Scalar(\"b\")])' "
                                                  "at line 2, column 1; keeping the last value"}));
}

TEST(DuplicateKeys, AnAliasBombAsAKeyIsCheckedInLinearTime) {
    // Each level is ten aliases of the one before: the last stands for
    // 10^30 nodes, which are never expanded.
    std::vector<NodePair> pairs;
    pairs.push_back(NodePair{plain("l0"), anchored(plain("x"), "a0")});
    for (int level = 1; level <= 30; ++level) {
        std::vector<YamlNode> items;
        for (int i = 0; i < 10; ++i) items.push_back(alias("a" + std::to_string(level - 1)));
        pairs.push_back(NodePair{plain("l" + std::to_string(level)),
                                 anchored(YamlNode::sequence(std::move(items), CollectionStyle::Flow), "a" + std::to_string(level))});
    }
    pairs.push_back(NodePair{alias("a30"), plain("v")});
    pairs.push_back(NodePair{alias("a30"), plain("w")});
    pairs.back().key.span.line = 99;
    const auto found = first_duplicate_key(YamlNode::mapping(std::move(pairs), CollectionStyle::Block), k12);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->span.line, 99u);
}

TEST(DuplicateKeys, CollectionKeysShowTheirContent) {
    const YamlNode flow = seq({plain("a"), plain("1")}, CollectionStyle::Flow);
    const auto found = first_duplicate_key(mapping_of({flow, flow}), k12);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->message, "duplicate mapping key: Sequence([Scalar(\"a\"), Scalar(\"1\")])");
    // Items that are one dict entry make equal keys; texts cannot pass for
    // several items.
    EXPECT_TRUE(first_duplicate_key(mapping_of({seq({plain("1")}), seq({plain("1.0")})}), k12));
    EXPECT_FALSE(first_duplicate_key(mapping_of({seq({plain("a,b")}), seq({plain("a"), plain("b")})}), k12));
    EXPECT_FALSE(first_duplicate_key(mapping_of({map({{plain("a"), plain("1")}}), map({{plain("a"), plain("2")}})}),
                                     k12));
}

TEST(DuplicateKeys, EachMappingHasItsOwnKeys) {
    // {a: {a: 1}, b: [{a: 1, x: 2, a: 3}]}: the inner repeat is the first.
    YamlNode inner = mapping_of({plain("a"), plain("x"), plain("a")});
    inner.pairs()[2].key.span = Span{0, 7, 4, 0};
    YamlNode tree = map({{plain("a"), map({{plain("a"), plain("1")}})}, {plain("b"), seq({inner})}});
    const auto found = first_duplicate_key(tree, k12);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->span.line, 7u);
    EXPECT_EQ(found->span.column, 4u);
    std::vector<YamlNode> roots;
    roots.push_back(map({{plain("a"), plain("1")}}));
    roots.push_back(tree);
    EXPECT_EQ(check_duplicate_keys(roots, k12)->span.line, 7u);
    EXPECT_FALSE(check_duplicate_keys(std::span<const YamlNode>(roots).first(1), k12));
}

TEST(DuplicateKeys, WarningsNameEveryRepeat) {
    YamlNode tree = mapping_of({plain("a"), plain("a"), plain("a")});
    tree.pairs()[1].key.span = Span{0, 3, 2, 0};
    tree.pairs()[2].key.span = Span{0, 5, 0, 0};
    std::vector<std::string> warnings;
    duplicate_key_warnings(tree, k12, warnings);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "duplicate mapping key 'a' at line 4, column 3; keeping the last value",
                            "duplicate mapping key 'a' at line 6, column 1; keeping the last value"}));
    std::vector<YamlNode> roots{tree, tree};
    EXPECT_EQ(collect_duplicate_key_warnings(roots, k12).size(), 4u);
}

TEST(Yaml11Warnings, NameTheTwoReadings) {
    YamlNode tree = map({{at(plain("yes"), 2, 4), at(plain("010"), 2, 9)},
                         {scalar("no", ScalarStyle::SingleQuoted), plain("hello")},
                         {plain("k"), tagged(plain("yes"), "!!str")}});
    std::vector<std::string> warnings;
    yaml11_warnings(tree, k11, warnings);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "YAML 1.1 syntax 'yes' resolves as bool in 1.1 but str in 1.2 at line 3, column 5",
                            "YAML 1.1 syntax '010' resolves as int in 1.1 but str in 1.2 at line 3, column 10"}));
    std::vector<YamlNode> roots{tree};
    EXPECT_TRUE(collect_yaml11_warnings(roots, k12).empty());
    EXPECT_EQ(collect_yaml11_warnings(roots, k11).size(), 2u);
}

struct UpgradeCase {
    const char* text;
    ScalarStyle style;
    const char* expected;
    ScalarStyle expected_style;
    bool marked;
};

void PrintTo(const UpgradeCase& c, std::ostream* os) { *os << c.text; }

class Upgrade : public ::testing::TestWithParam<UpgradeCase> {};

constexpr auto P = ScalarStyle::Plain;
constexpr auto Q = ScalarStyle::DoubleQuoted;

TEST_P(Upgrade, RewritesWhatThe12RulesReadOtherwise) {
    const UpgradeCase& c = GetParam();
    // As a key and as a value.
    YamlNode tree = map({{scalar(c.text, c.style), seq({scalar(c.text, c.style)})}});
    upgrade_1_1(tree, k11);
    for (const YamlNode* node : {&tree.pairs()[0].key, &tree.pairs()[0].value.items()[0]}) {
        EXPECT_EQ(node->text(), c.expected);
        EXPECT_EQ(node->scalar_style(), c.expected_style);
        EXPECT_EQ(node->comments.modified, c.marked);
    }
    EXPECT_FALSE(tree.comments.modified);
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, Upgrade,
    ::testing::Values(UpgradeCase{"yes", P, "true", P, true}, UpgradeCase{"No", P, "false", P, true},
                      UpgradeCase{"y", P, "true", P, true}, UpgradeCase{"010", P, "8", P, true},
                      UpgradeCase{"1_000", P, "1000", P, true}, UpgradeCase{"1:30", P, "90", P, true},
                      UpgradeCase{"-1:30", P, "-90", P, true}, UpgradeCase{"1_000.5", P, "1000.5", P, true},
                      UpgradeCase{"1:30.5", P, "90.5", P, true}, UpgradeCase{"0b101", P, "5", P, true},
                      UpgradeCase{"12345678901234567890_1", P, "123456789012345678901", P, true},
                      // Strings under the 1.1 rules that the 1.2 rules would type.
                      UpgradeCase{"0o17", P, "0o17", Q, true}, UpgradeCase{"0O17", P, "0O17", Q, true},
                      // The same under both rules.
                      UpgradeCase{".NaN", P, ".NaN", P, false}, UpgradeCase{".nan", P, ".nan", P, false},
                      UpgradeCase{"1.5", P, "1.5", P, false}, UpgradeCase{"0x1F", P, "0x1F", P, false},
                      UpgradeCase{"true", P, "true", P, false}, UpgradeCase{"~", P, "~", P, false},
                      UpgradeCase{"hello", P, "hello", P, false}, UpgradeCase{"08", P, "08", P, false},
                      UpgradeCase{"12345678901234567890", P, "12345678901234567890", P, false},
                      // Quoted scalars are strings under both rules.
                      UpgradeCase{"No", ScalarStyle::SingleQuoted, "No", ScalarStyle::SingleQuoted, false},
                      UpgradeCase{"010", Q, "010", Q, false}));

TEST(Upgrade, KeepsEverythingButTheText) {
    YamlNode node = with_inline(anchored(tagged(plain("010"), "!!int"), "n"), "eight");
    YamlNode tree = seq({node});
    upgrade_1_1(tree, k11);
    const YamlNode& out = tree.items()[0];
    EXPECT_EQ(out.text(), "8");
    EXPECT_EQ(out.tag(), "!!int");
    EXPECT_EQ(out.anchor(), "n");
    EXPECT_EQ(out.comments.inline_comment(), " eight");
    EXPECT_TRUE(out.comments.modified);
    // Under a tag, quotes would not keep a string: the tag decides alone.
    YamlNode custom = seq({tagged(plain("0o17"), "!x")});
    upgrade_1_1(custom, k11);
    EXPECT_EQ(custom.items()[0].scalar_style(), P);
    EXPECT_FALSE(custom.items()[0].comments.modified);
}

TEST(Checks, TagsActByWhatTheyName) {
    // !e!int names the core int; !!int under the other "!!" prefix is a
    // custom tag, whose 1 is the text "1".
    YamlNode core = mapping_of({plain("1"), plain("x")});
    core.pairs()[1].key = tagged(plain("1"), "!e!int");
    core.pairs()[1].key.mutable_tag_expansion() = "tag:yaml.org,2002:int";
    EXPECT_TRUE(first_duplicate_key(core, k12));
    YamlNode custom = mapping_of({plain("1"), plain("x")});
    custom.pairs()[1].key = tagged(plain("1"), "!!int");
    custom.pairs()[1].key.mutable_tag_expansion() = "tag:example.com,2000:int";
    EXPECT_FALSE(first_duplicate_key(custom, k12));
    YamlNode str = seq({tagged(plain("yes"), "!<tag:yaml.org,2002:str>")});
    str.items()[0].mutable_tag_expansion() = "tag:yaml.org,2002:str";
    std::vector<std::string> warnings;
    yaml11_warnings(str, k11, warnings);
    EXPECT_TRUE(warnings.empty());
}

TEST(Upgrade, AStreamLosesItsVersionLines) {
    std::vector<YamlNode> roots;
    roots.push_back(plain("yes"));
    roots.back().mutable_directives() = {"%YAML 1.1", "%TAG !e! tag:e,"};
    roots.push_back(plain("1.5"));
    roots.back().mutable_directives() = {"%YAML 1.1 # old", "%FOO"};
    roots.push_back(plain("x"));
    roots.back().mutable_directives() = {"%YAMLISH 1"};
    upgrade_stream_1_1(roots, k11);
    EXPECT_EQ(roots[0].text(), "true");
    EXPECT_EQ(roots[0].directives(), (std::vector<std::string>{"%TAG !e! tag:e,"}));
    EXPECT_EQ(roots[1].directives(), (std::vector<std::string>{"%FOO"}));
    EXPECT_EQ(roots[2].directives(), (std::vector<std::string>{"%YAMLISH 1"}));
    // A later document is written without its line; the first one gives way
    // to the header, its text unchanged.
    EXPECT_TRUE(roots[1].comments.modified);
    EXPECT_FALSE(roots[2].comments.modified);
}

TEST(Upgrade, NothingUnderThe12Rules) {
    YamlNode tree = seq({plain("yes"), plain("0o17")});
    upgrade_1_1(tree, k12);
    EXPECT_EQ(tree.items()[0].text(), "yes");
    EXPECT_FALSE(tree.items()[1].comments.modified);
}

// Trees made by edits can be deeper than the composer allows.
TEST(Checks, DeepTreesAreWalked) {
    YamlNode tree = mapping_of({plain("a"), plain("a")});
    for (int i = 0; i < 200000; ++i) {
        std::vector<YamlNode> items;
        items.push_back(std::move(tree));
        tree = YamlNode::sequence(std::move(items), CollectionStyle::Block);
    }
    EXPECT_TRUE(first_duplicate_key(tree, k12));
    std::vector<std::string> warnings;
    yaml11_warnings(tree, k11, warnings);
    upgrade_1_1(tree, k11);
}

}  // namespace
}  // namespace quillmere::roundtrip

// Merge keys on alias-free trees give the plain road's data: each tree is
// the alias-expanded form of a text, and its merged data must equal what
// the decoder makes of that text.
#include <gtest/gtest.h>

#include "roundtrip/tree_merge.h"
#include "support/node_builder.h"
#include "support/value_text.h"

namespace quillmere::testing {
namespace {

using resolver::ResolveMode;

std::string merged_text(YamlNode tree, ResolveMode mode) {
    roundtrip::resolve_tree_merge_keys(tree, mode);
    Arena arena;
    return describe_value(tree_to_value(tree, mode, arena));
}

YamlNode s(std::string text) { return scalar(std::move(text)); }
YamlNode m(std::vector<std::pair<YamlNode, YamlNode>> pairs) { return map(std::move(pairs)); }
YamlNode l(std::vector<YamlNode> items) { return seq(std::move(items)); }

struct MergeCase {
    const char* text;  // the YAML text the tree stands for
    ResolveMode mode;
    YamlNode tree;     // its alias-expanded tree, before merging
};

TEST(TreeMerge, AgreesWithThePlainRoad) {
    const MergeCase cases[] = {
        {"b: &b {x: 1, y: 2}\nm: {<<: *b, y: 3}", ResolveMode::Core12,
         m({{s("b"), m({{s("x"), s("1")}, {s("y"), s("2")}})},
            {s("m"), m({{s("<<"), m({{s("x"), s("1")}, {s("y"), s("2")}})}, {s("y"), s("3")}})}})},
        {"a: &a {k: 1}\nb: &b {k: 2, j: 2}\nm: {<<: [*a, *b]}", ResolveMode::Core12,
         m({{s("a"), m({{s("k"), s("1")}})},
            {s("b"), m({{s("k"), s("2")}, {s("j"), s("2")}})},
            {s("m"), m({{s("<<"), l({m({{s("k"), s("1")}}), m({{s("k"), s("2")}, {s("j"), s("2")}})})}})}})},
        {"m: {<<: {k: 1}, <<: {k: 2}}", ResolveMode::Core12,
         m({{s("m"), m({{s("<<"), m({{s("k"), s("1")}})}, {s("<<"), m({{s("k"), s("2")}})}})}})},
        {"m: {<<: 5}", ResolveMode::Core12, m({{s("m"), m({{s("<<"), s("5")}})}})},
        {"m: {<<: [{a: 1}, 5, [6]]}", ResolveMode::Core12,
         m({{s("m"), m({{s("<<"), l({m({{s("a"), s("1")}}), s("5"), l({s("6")})})}})}})},
        {"m: {<<: ~, <<: }", ResolveMode::Core12, m({{s("m"), m({{s("<<"), s("~")}, {s("<<"), null_node()}})}})},
        {"m: {'<<': {a: 1}, \"<<\": 2}", ResolveMode::Core12,
         m({{s("m"), m({{quoted("<<"), m({{s("a"), s("1")}})}, {quoted("<<"), s("2")}})}})},
        {"- <<\n- x: <<", ResolveMode::Core12, l({s("<<"), m({{s("x"), s("<<")}})})},
        {"? {<<: {a: 1}}\n: v", ResolveMode::Core12,
         m({{m({{s("<<"), m({{s("a"), s("1")}})}}), s("v")}})},
        // A source with merges of its own passes on what it inherited.
        {"m: {<<: {<<: {a: 1}, b: 2}, c: 3}", ResolveMode::Core12,
         m({{s("m"), m({{s("<<"), m({{s("<<"), m({{s("a"), s("1")}})}, {s("b"), s("2")}})}, {s("c"), s("3")}})}})},
        // Keys are the same as the plain road reads them: 1 and '1' differ,
        // 0x1 and 1 do not.
        {"m: {1: a, <<: {'1': b, 0x1: c}}", ResolveMode::Core12,
         m({{s("m"), m({{s("1"), s("a")}, {s("<<"), m({{quoted("1"), s("b")}, {s("0x1"), s("c")}})}})}})},
        // A custom tag makes a source a tagged value, which is left over.
        {"m: {<<: !t {a: 1}, <<: !!map {b: 2}}", ResolveMode::Core12,
         m({{s("m"), m({{s("<<"), tagged("!t", m({{s("a"), s("1")}}))},
                        {s("<<"), tagged("!!map", m({{s("b"), s("2")}}))}})}})},
        {"m: {!!merge x: {a: 1}}", ResolveMode::Core12,
         m({{s("m"), m({{tagged("!!merge", s("x")), m({{s("a"), s("1")}})}})}})},
        {"m: {!!merge x: {a: 1}}", ResolveMode::Yaml11,
         m({{s("m"), m({{tagged("!!merge", s("x")), m({{s("a"), s("1")}})}})}})},
        {"m: {yes: 1, <<: {true: 2, y: 3}}", ResolveMode::Yaml11,
         m({{s("m"), m({{s("yes"), s("1")}, {s("<<"), m({{s("true"), s("2")}, {s("y"), s("3")}})}})}})},
        // An empty key under !!merge is a merge key.
        {"m: {!!merge : {a: 1}, b: 2}", ResolveMode::Core12,
         m({{s("m"), m({{tagged("!!merge", null_node()), m({{s("a"), s("1")}})}, {s("b"), s("2")}})}})},
        {"m: {!!merge }", ResolveMode::Core12, m({{s("m"), m({{tagged("!!merge", null_node()), null_node()}})}})},
        // Keys compare whatever their tag.
        {"m: {! k: 2, <<: {k: 1, !t j: 1, j: 3}}", ResolveMode::Core12,
         m({{s("m"), m({{tagged("!", s("k")), s("2")},
                        {s("<<"), m({{s("k"), s("1")}, {tagged("!t", s("j")), s("1")}, {s("j"), s("3")}})}})}})},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(merged_text(c.tree, c.mode), decode_to_text(c.text, decode::DecodeOptions{.mode = c.mode}));
    }
}

TEST(TreeMerge, MergedNodesKeepTheirPositions) {
    YamlNode tree = map({{scalar("<<", {0, 1}), map({{scalar("a", {3, 4}), scalar("1", {3, 7})}}, {3, 3})},
                         {scalar("<<", {1, 1}), scalar("5", {1, 5})}},
                        {0, 0});
    roundtrip::resolve_tree_merge_keys(tree, ResolveMode::Core12);
    ASSERT_EQ(tree.pairs().size(), 2u);
    EXPECT_EQ(tree.pairs()[0].key.span.line, 3u);
    EXPECT_EQ(tree.pairs()[0].value.span.column, 7u);
    // The leftover pair: a "<<" string key where the merge key stood.
    const YamlNode& key = tree.pairs()[1].key;
    EXPECT_EQ(key.text(), "<<");
    EXPECT_NE(key.scalar_style(), ScalarStyle::Plain);
    EXPECT_EQ(key.span.line, 1u);
    EXPECT_EQ(tree.pairs()[1].value.span.column, 5u);
    // Nothing is left to merge a second time.
    const std::string once = merged_text(tree, ResolveMode::Core12);
    roundtrip::resolve_tree_merge_keys(tree, ResolveMode::Core12);
    EXPECT_EQ(merged_text(tree, ResolveMode::Core12), once);
}

TEST(TreeMerge, DeepTreesStayOnTheStack) {
    // {<<: {k: {<<: {k: ... x}}}}, built by moves: the builder's lists copy.
    auto one_pair = [](YamlNode key, YamlNode value) {
        std::vector<roundtrip::NodePair> pairs;
        pairs.push_back(roundtrip::NodePair{std::move(key), std::move(value)});
        return YamlNode::mapping(std::move(pairs), CollectionStyle::Block);
    };
    YamlNode tree = scalar("x");
    for (int i = 0; i < 200000; ++i) tree = one_pair(s("<<"), one_pair(s("k"), std::move(tree)));
    roundtrip::resolve_tree_merge_keys(tree, ResolveMode::Core12);
    EXPECT_EQ(tree.pairs()[0].key.text(), "k");
}

}  // namespace
}  // namespace quillmere::testing

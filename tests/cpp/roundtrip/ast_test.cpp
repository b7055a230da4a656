// The round-trip node: construction, deep copies and release at any depth.
#include <gtest/gtest.h>

#include "roundtrip/ast.h"

namespace quillmere::roundtrip {
namespace {

YamlNode nested_sequences(std::size_t depth) {
    YamlNode node = YamlNode::scalar("leaf", ScalarStyle::Plain);
    for (std::size_t i = 0; i < depth; ++i) {
        std::vector<YamlNode> items;
        items.push_back(std::move(node));
        node = YamlNode::sequence(std::move(items), CollectionStyle::Block);
    }
    return node;
}

YamlNode nested_mappings(std::size_t depth) {
    YamlNode node = YamlNode::null();
    for (std::size_t i = 0; i < depth; ++i) {
        std::vector<NodePair> pairs;
        pairs.push_back(NodePair{YamlNode::scalar("k", ScalarStyle::Plain), std::move(node)});
        node = YamlNode::mapping(std::move(pairs), CollectionStyle::Flow);
    }
    return node;
}

TEST(YamlNode, CopiesKeepEveryField) {
    YamlNode node = YamlNode::scalar("text", ScalarStyle::Literal);
    node.span = Span{2, 3, 4, 50};
    node.end_offset = 60;
    node.end_line = 5;
    node.end_column = 1;
    node.mutable_anchor() = "a";
    node.mutable_tag() = "!t";
    node.mutable_source() = IncludeSource{"!include", "x.yaml", 3};
    node.comments.blank_before = 1;
    node.comments.value_pad = 2;
    node.comments.mutable_head().push_back("head");
    node.comments.mutable_raw() = "|\n  text\n";
    node.comments.modified = true;
    node.explicit_start = true;
    node.leading_bom = true;

    std::vector<NodePair> pairs;
    pairs.push_back(NodePair{YamlNode::scalar("k", ScalarStyle::DoubleQuoted), node});
    const YamlNode map = YamlNode::mapping(std::move(pairs), CollectionStyle::Flow);
    const YamlNode copy = map;
    ASSERT_TRUE(copy.is(NodeKind::Mapping));
    EXPECT_EQ(copy.style(), CollectionStyle::Flow);
    const YamlNode& value = copy.pairs()[0].value;
    EXPECT_EQ(value.text(), "text");
    EXPECT_EQ(value.scalar_style(), ScalarStyle::Literal);
    EXPECT_EQ(value.span, (Span{2, 3, 4, 50}));
    EXPECT_EQ(value.end_offset, 60u);
    EXPECT_EQ(value.anchor(), "a");
    EXPECT_EQ(value.tag(), "!t");
    EXPECT_EQ(value.source(), (IncludeSource{"!include", "x.yaml", 3}));
    EXPECT_EQ(value.comments.head(), std::vector<std::string>{"head"});
    EXPECT_EQ(value.comments.raw(), "|\n  text\n");
    EXPECT_EQ(value.comments.value_pad, 2u);
    EXPECT_TRUE(value.comments.modified);
    EXPECT_TRUE(value.explicit_start && value.leading_bom);
    // The copy is deep: changing it leaves the original alone.
    YamlNode other = copy;
    other.pairs()[0].value.comments.mutable_head().clear();
    EXPECT_EQ(copy.pairs()[0].value.comments.head().size(), 1u);
}

TEST(YamlNode, AbsentPartsTakeNoBlocks) {
    const YamlNode node = YamlNode::scalar("x", ScalarStyle::Plain);
    EXPECT_FALSE(node.anchor());
    EXPECT_FALSE(node.tag());
    EXPECT_FALSE(node.source());
    EXPECT_FALSE(node.comments.has_texts());
    EXPECT_TRUE(node.comments.head().empty());
    EXPECT_FALSE(node.comments.inline_comment());
}

TEST(YamlNode, SetContentKeepsLayoutAndProperties) {
    YamlNode node = nested_sequences(3);
    node.mutable_anchor() = "a";
    node.comments.value_pad = 4;
    node.set_content(YamlNode::scalar("s", ScalarStyle::SingleQuoted));
    EXPECT_TRUE(node.is(NodeKind::Scalar));
    EXPECT_EQ(node.scalar_style(), ScalarStyle::SingleQuoted);
    EXPECT_EQ(node.anchor(), "a");
    EXPECT_EQ(node.comments.value_pad, 4u);
}

TEST(YamlNode, DeepTreesCopyAndReleaseWithoutRecursion) {
    for (bool mappings : {false, true}) {
        YamlNode root = mappings ? nested_mappings(500'000) : nested_sequences(500'000);
        YamlNode copy = root;
        release_tree(std::move(root));
        std::size_t depth = 0;
        for (const YamlNode* node = &copy; node->is(NodeKind::Sequence) || node->is(NodeKind::Mapping); ++depth)
            node = node->is(NodeKind::Sequence) ? &node->items()[0] : &node->pairs()[0].value;
        EXPECT_EQ(depth, 500'000u);
    }
}

}  // namespace
}  // namespace quillmere::roundtrip

// Node queries: include tags, content ends and changed subtrees.
#include <gtest/gtest.h>

#include "roundtrip/composer.h"
#include "roundtrip/queries.h"

namespace quillmere::roundtrip {
namespace {

TEST(Queries, IncludeTags) {
    for (const char* tag : {"!include", "!include_dir_list", "!include_dir_named", "!include_dir_merge_list",
                            "!include_dir_merge_named"})
        EXPECT_TRUE(is_include_tag(std::string(tag))) << tag;
    for (const char* tag : {"!includes", "!include_dir", "!secret", "!env_var", "include", "!INCLUDE", ""})
        EXPECT_FALSE(is_include_tag(std::string(tag))) << tag;
    EXPECT_FALSE(is_include_tag(std::nullopt));
}

TEST(Queries, ContentEndIsTheRealEnd) {
    auto roots = parse_documents("a: 'x'\nb: &n ab\nc: *n\nd: [1, 2]\ne: |\n  t\n");
    ASSERT_TRUE(roots.ok());
    const auto& pairs = roots.value()[0].pairs();
    EXPECT_EQ(content_end(pairs[0].value), (ContentEnd{0, 6}));  // after the quote
    EXPECT_EQ(content_end(pairs[1].value), (ContentEnd{1, 8}));
    EXPECT_EQ(content_end(pairs[2].value), (ContentEnd{2, 5}));  // after the name
    EXPECT_EQ(content_end(pairs[3].value), (ContentEnd{3, 9}));  // after the bracket
    EXPECT_EQ(content_end(pairs[4].value), (ContentEnd{6, 0}));  // after the last line
    EXPECT_EQ(content_end(roots.value()[0]), (ContentEnd{6, 0}));
}

// A mapping {k: v} whose value is `value`.
YamlNode pair_of(YamlNode value) {
    std::vector<NodePair> pairs;
    pairs.emplace_back(YamlNode::scalar("k", ScalarStyle::Plain), std::move(value));
    return YamlNode::mapping(std::move(pairs), CollectionStyle::Block);
}

TEST(Queries, ChangedSubtrees) {
    YamlNode leaf = YamlNode::scalar("x", ScalarStyle::Plain);
    EXPECT_FALSE(subtree_modified(leaf));
    leaf.comments.modified = true;
    EXPECT_TRUE(subtree_modified(leaf));
    EXPECT_TRUE(subtree_modified(pair_of(leaf)));

    // A node a directive produced is a boundary: changes below it belong
    // to another file, and its own flag does not count for its parent.
    YamlNode secret = leaf;
    secret.mutable_source() = IncludeSource{"!secret", "password", std::nullopt};
    EXPECT_FALSE(subtree_modified(secret));
    const YamlNode with_secret = pair_of(secret);
    EXPECT_FALSE(subtree_modified(with_secret));
    EXPECT_FALSE(pair_modified_below(with_secret.pairs()[0]));
    // Its comments in this file are this file's: an edit of them counts.
    YamlNode commented = secret;
    commented.mutable_source()->comments_edited = true;
    EXPECT_TRUE(subtree_modified(pair_of(commented)));

    // The key of an entry is never a boundary.
    NodePair edited_key{secret, YamlNode::scalar("v", ScalarStyle::Plain)};
    EXPECT_TRUE(pair_modified_below(edited_key));

    std::vector<YamlNode> items;
    items.push_back(YamlNode::scalar("a", ScalarStyle::Plain));
    items.push_back(pair_of(leaf));
    EXPECT_TRUE(subtree_modified(YamlNode::sequence(std::move(items), CollectionStyle::Flow)));
}

TEST(Queries, DeepTrees) {
    // Edits can nest far past the composer's limit.
    YamlNode node = YamlNode::scalar("leaf", ScalarStyle::Plain);
    for (int i = 0; i < 300'000; ++i) {
        std::vector<YamlNode> items;
        items.push_back(std::move(node));
        node = i % 2 ? YamlNode::sequence(std::move(items), CollectionStyle::Block) : pair_of(std::move(items[0]));
    }
    EXPECT_FALSE(subtree_modified(node));
    YamlNode* bottom = &node;
    while (!bottom->is(NodeKind::Scalar))
        bottom = bottom->is(NodeKind::Sequence) ? &bottom->items()[0] : &bottom->pairs()[0].value;
    bottom->comments.modified = true;
    EXPECT_TRUE(subtree_modified(node));
    const YamlNode copy = clone_node(node);
    EXPECT_TRUE(subtree_modified(copy));
}

}  // namespace
}  // namespace quillmere::roundtrip

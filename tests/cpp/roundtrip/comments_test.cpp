// Comment attachment: head, inline and foot comments, and blank lines.
#include <gtest/gtest.h>

#include <string>

#include "roundtrip/comments.h"
#include "roundtrip/composer.h"
#include "roundtrip/emitter.h"
#include "support/node_text.h"

namespace quillmere::testing {
namespace {

using roundtrip::YamlNode;

// "blank=1 head=[a|b] inline=c/2 foot=[d]", each part only when set, the
// texts as Python shows them.
std::string layout(const YamlNode& node) {
    const auto& c = node.comments;
    std::string out;
    auto part = [&](const std::string& text) { out += (out.empty() ? "" : " ") + text; };
    auto list = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines)
            text += (text.empty() ? "" : "|") + std::string(roundtrip::shown_comment(line));
        return "[" + text + "]";
    };
    if (c.blank_before) part("blank=" + std::to_string(c.blank_before));
    if (!c.head().empty()) part("head=" + list(c.head()));
    if (c.inline_comment())
        part("inline=" + std::string(roundtrip::shown_comment(*c.inline_comment())) + "/" +
             std::to_string(c.inline_spaces));
    if (!c.foot().empty()) part("foot=" + list(c.foot()));
    return out;
}

struct Case {
    const char* input;
    const char* path;
    const char* expected;
};

class Attachment : public ::testing::TestWithParam<Case> {};

TEST_P(Attachment, Layout) {
    auto roots = roundtrip::parse_documents(GetParam().input);
    ASSERT_TRUE(roots.ok()) << roots.error().message;
    ASSERT_FALSE(roots.value().empty());
    EXPECT_EQ(layout(node_at(roots.value(), GetParam().path)), GetParam().expected)
        << GetParam().input << " at " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Comments, Attachment,
    ::testing::Values(
        // Blank lines and head comments; for an entry they go to the key.
        Case{"a: 1\n\nb: 2\n", "k1", "blank=1"},
        Case{"a: 1\n\n# c\nb: 2\n", "k1", "blank=1 head=[c]"},
        Case{"a: 1\n# c\n\nb: 2\n", "k1", "head=[c]"},
        Case{"a: 1\n# c\n#  d\nb: 2\n", "k1", "head=[c| d]"},
        Case{"a:\n  x: 1\n\n\n  # c\n  y: 2\n", "v0.k1", "blank=2 head=[c]"},
        // Comments above the first node go to the root; blank lines there
        // are not counted.
        Case{"\n# top\n\na: 1\n", "", "head=[top]"},
        // Inline comments, with the blanks before the "#" counted from the
        // real end of the node.
        Case{"a: 1  # one\n", "v0", "inline=one/2"},
        Case{"a: 'x y' # q\n", "v0", "inline=q/1"},
        Case{"a: \"x\"    # q\n", "v0", "inline=q/4"},
        Case{"a: &n 1\nb: *n   # al\n", "v1", "inline=al/3"},
        Case{"- x  #\n", "0", "inline=/2"},
        Case{"a: \xC3\xA9  # e\n", "v0", "inline=e/2"},
        // A key takes no inline comment. After "key:" it is the inline
        // comment of a block collection below, which has no line of its
        // own to end (the blanks counted after the ":" or the value's
        // properties); anything else after the key goes to the next node.
        Case{"key:  # c\n  x: 1\n", "v0", "inline=c/2"},
        Case{"key:  # c\n  x: 1\n", "v0.k0", ""},
        Case{"key: &a !t # c\n  - x\n", "v0", "inline=c/1"},
        Case{"\"k\" :   # c\n- x\n", "v0", "inline=c/3"},
        Case{"key:  # c\n  x\n", "v0", "head=[c]"},
        Case{"? a  # c\n: b\n", "v0", "head=[c]"},
        Case{"? a  # c\n:\n  - b\n", "v0", "head=[c]"},
        // After a one-line flow collection the comment is the collection's;
        // inside a multi-line one an item keeps its own.
        Case{"key: [a, b]  # c\n", "v0", "inline=c/2"},
        Case{"key: [a, b]  # c\n", "v0.0", ""},
        Case{"key: {a: 1}  # c\n", "v0", "inline=c/2"},
        Case{"- [a, [b]]  # c\n", "0", "inline=c/2"},
        Case{"k: [\n  a,  # about a\n  b   # about b\n  ]  # end\n", "v0.0", "inline=about a/3"},
        Case{"k: [\n  a,  # about a\n  b   # about b\n  ]  # end\n", "v0.1", "inline=about b/3"},
        Case{"k: [\n  a,  # about a\n  b   # about b\n  ]  # end\n", "v0", ""},
        // A block scalar reaches to its last line; blank lines after it
        // count for the next node, those inside it do not.
        Case{"a: |\n  x\n\n  y\nb: 1\n", "k1", ""},
        Case{"a: |\n  x\n\n\nb: 1\n", "k1", ""},
        Case{"a: |-\n  x\n\n\nb: 1\n", "k1", ""},
        Case{"a: |\n  x\n# c\n\nb: 1\n", "k1", "head=[c]"},
        // Line breaks of every kind count alike for blank lines.
        Case{"a: 1\r\n\r\nb: 2\r\n", "k1", "blank=1"},
        Case{"a: 1\r\rb: 2\r", "k1", "blank=1"},
        Case{"a: 1\n \t\nb: 2\n", "k1", "blank=1"},
        Case{"a:\n  b: 1\n                  \n                  # c\n  d: 2\n", "v0.k1", "blank=1 head=[c]"},
        // What follows the last node is the foot of the last root.
        Case{"a: 1\n# one\n\n# two\n", "", "foot=[one|two]"},
        Case{"a\n--- b\n# end\n", "d1", "foot=[end]"},
        Case{"a\n--- b\n# end\n", "d0", ""},
        Case{"a  # c\n---\n# d\nb\n", "d1", "head=[d]"}));

void mark_modified(YamlNode& node) {
    node.comments.modified = true;
    if (node.is(roundtrip::NodeKind::Sequence))
        for (YamlNode& item : node.items()) mark_modified(item);
    if (node.is(roundtrip::NodeKind::Mapping))
        for (auto& pair : node.pairs()) {
            mark_modified(pair.key);
            mark_modified(pair.value);
        }
}

TEST(Comments, SpacingSurvivesEditAndLoadCycles) {
    // The blanks after ":" and "-" and before "#" are measured from where
    // the text really ends, so writing them back gives the same text, and
    // reading that gives the same blanks, however often it is done.
    const std::string text =
        "a:   'x'   # c\n"
        "l:\n"
        "  -    [1, 2]    # f\n"
        "  - &n y    # g\n"
        "b:  *n  # d\n"
        "\"q\":    v\n"
        "k: {x: 1}  # h\n";
    std::string current = text;
    for (int cycle = 0; cycle < 3; ++cycle) {
        auto roots = roundtrip::parse_documents(current);
        ASSERT_TRUE(roots.ok()) << roots.error().message;
        for (YamlNode& root : roots.value()) mark_modified(root);
        std::string written;
        roundtrip::render_documents(written, roundtrip::NullStyle::Empty, roots.value());
        EXPECT_EQ(written, text) << "cycle " << cycle;
        current = written;
    }
}

TEST(Comments, DeepTreesAreWalked) {
    // Deeper than any composed tree; every node reaches the commented line,
    // so no subtree is passed over.
    YamlNode node = YamlNode::scalar("leaf", ScalarStyle::Plain);
    for (int i = 0; i < 300'000; ++i) {
        std::vector<YamlNode> items;
        items.push_back(std::move(node));
        node = YamlNode::sequence(std::move(items), CollectionStyle::Block);
        node.end_line = 1;
    }
    std::vector<YamlNode> roots;
    roots.push_back(std::move(node));
    const std::string_view text = "x\n# c";
    std::vector<ScannedComment> comments{ScannedComment{"c", Span{0, 1, 0, 2}}};
    roundtrip::attach_comments(text, roundtrip::build_line_index(text), roots, std::move(comments));
    EXPECT_EQ(roots[0].comments.foot(), std::vector<std::string>{"c"});  // as scanned
}

TEST(Comments, NothingWithoutRoots) {
    auto roots = roundtrip::parse_documents("# only\n# comments\n");
    ASSERT_TRUE(roots.ok());
    EXPECT_TRUE(roots.value().empty());
}

TEST(Comments, EveryCommentLandsOnce) {
    const char* text =
        "# head\n%YAML 1.2\n---\na:   # k\n  - x  # i\n  # between\n  - [y, z]  # f\nb: |\n  lit\n# tail\n";
    auto roots = roundtrip::parse_documents(text);
    ASSERT_TRUE(roots.ok());
    std::vector<std::string> seen;
    auto collect = [&](auto&& self, const YamlNode& node) -> void {
        for (const auto& c : node.comments.head()) seen.push_back(c);
        if (node.comments.inline_comment()) seen.push_back(*node.comments.inline_comment());
        if (node.is(roundtrip::NodeKind::Sequence))
            for (const YamlNode& item : node.items()) self(self, item);
        if (node.is(roundtrip::NodeKind::Mapping))
            for (const auto& pair : node.pairs()) {
                self(self, pair.key);
                self(self, pair.value);
            }
        for (const auto& c : node.comments.foot()) seen.push_back(c);
    };
    collect(collect, roots.value()[0]);
    // Each text as it stands after its "#".
    EXPECT_EQ(seen, (std::vector<std::string>{" head", " k", " i", " between", " f", " tail"}));
}

}  // namespace
}  // namespace quillmere::testing

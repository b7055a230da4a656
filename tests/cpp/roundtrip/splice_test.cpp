// The splicing writer: an edited tree written as its source with only the
// changed places written anew, and its refusal (the caller then renders the
// whole document) where a change has no place of its own to go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "roundtrip/composer.h"
#include "roundtrip/emitter.h"
#include "roundtrip/splice.h"
#include "support/yaml_nodes.h"

namespace quillmere::roundtrip {
namespace {

using testing::plain;

std::vector<YamlNode> compose(std::string_view text) {
    auto roots = parse_documents(text);
    EXPECT_TRUE(roots.ok()) << text;
    return roots.ok() ? std::move(roots).value() : std::vector<YamlNode>{};
}

// Gives `node` new text where it stands, as an assignment does.
void rewrite(YamlNode& node, std::string text) {
    node.mark_rewritten();
    node.set_content(YamlNode::scalar(std::move(text), ScalarStyle::Plain));
    node.comments.modified = true;
}

std::optional<std::string> splice(std::string_view text, const std::vector<YamlNode>& roots) {
    std::string out = "kept";
    if (!splice_text(out, text, 0, roots, NullStyle::Empty)) {
        EXPECT_EQ(out, "kept");  // as it was
        return std::nullopt;
    }
    return out.substr(4);
}

TEST(Splice, RewrittenScalarsGoWhereTheyStood) {
    struct Case {
        std::string_view text;
        std::string_view expected;
    };
    // The first scalar value of the first document gets the text "new".
    for (const Case& c : std::vector<Case>{
             {"a:   1   # one\nb: 2\n", "a:   new   # one\nb: 2\n"},
             {"a: 1\rb: 2\r", "a: new\rb: 2\r"},
             {"- [x, 'y']\n", "- [new, 'y']\n"},
             {"a: \"q\\\n  r\"\nb: 2\n", "a: new\nb: 2\n"},
             {"%YAML 1.1\n--- &a yes\n...\n", "%YAML 1.1\n--- &a new\n...\n"},
         }) {
        std::vector<YamlNode> roots = compose(c.text);
        YamlNode* at = &roots[0];
        while (!at->is(NodeKind::Scalar))
            at = at->is(NodeKind::Mapping) ? &at->pairs()[0].value : &at->items()[0];
        rewrite(*at, "new");
        EXPECT_EQ(splice(c.text, roots), std::string(c.expected)) << c.text;
    }
}

TEST(Splice, NewEntriesUseTheSourcesLineBreak) {
    const std::string text = "a:\r\n  b: 1\r\nc: 2";
    std::vector<YamlNode> roots = compose(text);
    YamlNode value = YamlNode::scalar("v", ScalarStyle::Plain);
    value.comments.modified = true;
    roots[0].pairs()[0].value.pairs().emplace_back(plain("n"), value);
    roots[0].pairs().emplace_back(plain("m"), value);
    EXPECT_EQ(splice(text, roots), "a:\r\n  b: 1\r\n  n: v\r\nc: 2\r\nm: v");
}

TEST(Splice, ChangesWithoutAPlaceOfTheirOwnAreRefused) {
    // A comment set on an item of a flow collection at the root: nothing
    // around it can be written anew alone.
    std::vector<YamlNode> roots = compose("[a, b]\n");
    YamlNode& a = roots[0].items()[0];
    a.comments.mutable_inline_comment() = stored_comment("c");
    a.comments.inline_changed = a.comments.modified = true;
    EXPECT_EQ(splice("[a, b]\n", roots), std::nullopt);

    // A new entry after one made of "?" alone.
    const std::string text = "k: 1\n?\n";
    roots = compose(text);
    YamlNode value = YamlNode::scalar("v", ScalarStyle::Plain);
    value.comments.modified = true;
    roots[0].pairs().emplace_back(plain("n"), value);
    EXPECT_EQ(splice(text, roots), std::nullopt);
}

TEST(Splice, AnIncludedFileIsItsOwnTextWithTheEditsInIt) {
    const std::string file = "# db\nport: 1   # default\n---\nsecond: doc\n";
    std::vector<YamlNode> roots = compose(file);
    // As an include root: the file's first document, its file id 0 here.
    YamlNode root = std::move(roots[0]);
    IncludeSource source;
    source.tag = "!include";
    source.target = "db.yaml";
    source.target_file_id = 0;
    root.mutable_source() = source;
    rewrite(root.pairs()[0].value, "2");
    EXPECT_EQ(render_file_text(root, file), "# db\nport: 2   # default\n---\nsecond: doc\n");
}

}  // namespace
}  // namespace quillmere::roundtrip

// The round-trip emitter on composed text: what an edit writes back, for
// the places where writing a tree naively would not read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "roundtrip/composer.h"
#include "roundtrip/emitter.h"
#include "support/tree_text.h"

namespace quillmere::roundtrip {
namespace {

struct Case {
    const char* name;
    const char* input;
    const char* output;  // with every leaf marked modified
};

std::string reemit(std::string_view input) {
    auto composed = parse_documents(input);
    EXPECT_TRUE(composed.ok()) << composed.error().message;
    if (!composed.ok()) return {};
    std::vector<YamlNode> roots = std::move(composed).value();
    for (YamlNode* leaf : testing::leaves_of(roots)) leaf->comments.modified = true;
    std::string out;
    render_documents(out, NullStyle::Empty, roots);
    return out;
}

TEST(RoundTripText, EditsWriteWhatReadsBack) {
    const std::vector<Case> cases = {
        {"anchored mapping item", "- &a\n  x: 1\n- *a\n", "- &a\n  x: 1\n- *a\n"},
        {"anchored key of a mapping item", "- &a x: 1\n- *a\n", "- &a x: 1\n- *a\n"},
        {"tagged sequence item", "- !t\n  - x\n", "- !t\n  - x\n"},
        {"alias key", "a: &x 1\n*x : 2\n", "a: &x 1\n*x : 2\n"},
        {"directive lines", "%YAML 1.2\n%TAG !e! tag:e.com,2000:\n---\n!e!x v\n",
         "%YAML 1.2\n%TAG !e! tag:e.com,2000:\n---\n!e!x v\n"},
        {"directives of a later document", "a\n...\n%YAML 1.2\n---\nb\n", "a\n...\n%YAML 1.2\n---\nb\n"},
        {"plain text with a line feed", "k: a\n\n  b\n", "k: \"a\\nb\"\n"},
        {"single-quoted text with a line feed", "k: 'a\n\n  b'\n", "k: \"a\\nb\"\n"},
        {"folded", "k: >\n  a\n  b\n\n  c\n", "k: >\n  a b\n\n  c\n"},
        {"literal starting with a space", "k: |2\n   a\n  b\n", "k: |2\n   a\n  b\n"},
        {"kept line feeds", "k: |+\n  a\n\nn: 1\n", "k: |+\n  a\n\nn: 1\n"},
        {"header comment", "k: |  # note\n  a\n", "k: |  # note\n  a\n"},
        {"head comment of a value", "a:\n  # c\n  x\n", "a:\n  # c\n  x\n"},
        {"comment after the key of a block collection", "a:   # c\n  b: 1\nl: !t &x # d\n- 1\n",
         "a:   # c\n  b: 1\nl: !t &x # d\n- 1\n"},
        {"comment after an explicit key of a block collection", "? a # c\n:\n  - 1\n", "a:\n  # c\n  - 1\n"},
        {"comments in a flow collection", "k: [a,  # one\n  b]  # two\n", "k: [\n    a,  # one\n    b\n  ]\n# two\n"},
        {"comment after a one-line flow collection", "k: [a, b]  # c\n", "k: [a, b]  # c\n"},
        {"comment after a null item", "- # empty\n- x\n", "- # empty\n- x\n"},
        {"key with properties after an empty value", "? a\n&x b: 1\n", "a:\n? &x b\n: 1\n"},
        {"tag with no content", "a: !t\n# c\nb: 1\n", "a:\n  # c\n  !t\nb: 1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = reemit(c.input);
        EXPECT_EQ(text, c.output);
        // It reads back as the input's data and writes itself again.
        auto input = parse_documents(c.input);
        auto output = parse_documents(text);
        ASSERT_TRUE(input.ok() && output.ok());
        EXPECT_EQ(testing::describe_documents(output.value()), testing::describe_documents(input.value()));
        EXPECT_EQ(testing::comments_of(text), testing::comments_of(c.input));
        EXPECT_EQ(reemit(text), text);
    }
}

}  // namespace
}  // namespace quillmere::roundtrip

// The path walk of document handles.
#include <gtest/gtest.h>

#include "roundtrip/composer.h"
#include "roundtrip/document_state.h"

namespace quillmere::roundtrip {
namespace {

DocumentState load(std::string_view text) {
    auto roots = parse_documents(text);
    EXPECT_TRUE(roots.ok());
    DocumentState state;
    state.documents = std::move(roots.value());
    return state;
}

Path path(std::initializer_list<std::variant<const char*, int>> steps) {
    Path out;
    for (const auto& step : steps) {
        if (step.index() == 0) {
            out.push_back(PathSegment::key(std::get<0>(step)));
        } else {
            out.push_back(PathSegment::index(static_cast<std::uint64_t>(std::get<1>(step))));
        }
    }
    return out;
}

TEST(ResolvePath, WalksKeysAndIndicesAndReportsStalePaths) {
    DocumentState state = load("'a': first\na: [x, {b: 1}]\n1: one\nr: &r {k: v}\ns: *r\n--- [z]\n");
    struct Case {
        std::size_t root;
        Path path;
        const char* text;  // null: stale
    } cases[] = {
        {0, path({"a", 1, "b"}), "1"},
        {0, path({"a", 0}), "x"},
        {0, path({"a", 2}), nullptr},       // past the end
        {0, path({"a", "0"}), nullptr},     // a key into a sequence
        {0, path({0}), nullptr},            // an index into a mapping
        {0, path({"1"}), "one"},            // keys match by text
        {0, path({"a", 0, "x"}), nullptr},  // into a scalar
        {0, path({"s", "k"}), nullptr},     // aliases are not followed
        {0, path({"r", "k"}), "v"},
        {1, path({0}), "z"},
        {2, path({}), nullptr},  // no such document
    };
    for (const Case& c : cases) {
        const YamlNode* node = resolve_path(state, c.root, c.path);
        if (c.text == nullptr) {
            EXPECT_EQ(node, nullptr) << c.root;
        } else {
            ASSERT_NE(node, nullptr) << c.text;
            EXPECT_EQ(node->text(), c.text);
        }
    }
    // Of two keys with the same text, the last entry wins, whatever its
    // style, as in the data.
    const YamlNode* last = resolve_path(state, 0, path({"a"}));
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->is(NodeKind::Sequence));
    EXPECT_EQ(resolve_path(state, 0, path({})), &state.documents[0]);
}

TEST(ResolvePath, AnEmptyStreamHasOnlyStalePaths) {
    DocumentState state = load("# only a comment\n");
    EXPECT_EQ(resolve_path(state, 0, path({})), nullptr);
}

}  // namespace
}  // namespace quillmere::roundtrip

// A document back to text: the stored input while nothing is marked, the
// re-emitted stream after an edit, and the "%YAML 1.2" header of the 1.1
// upgrade, which must never change what the text holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "roundtrip/composer.h"
#include "roundtrip/serialize.h"
#include "support/node_text.h"
#include "support/suite.h"
#include "support/tree_text.h"

namespace quillmere::roundtrip {
namespace {

DocumentState load(std::string_view text, bool upgraded = false) {
    auto roots = parse_documents(text);
    EXPECT_TRUE(roots.ok()) << text;
    DocumentState state;
    if (roots.ok()) state.documents = std::move(roots).value();
    state.source_bytes = std::string(text);
    state.upgraded = upgraded;
    return state;
}

TEST(Serialize, UnmarkedTextComesBackAsLoadedAndAnEditReemitsEveryDocument) {
    const std::string text = "\xEF\xBB\xBF# top\na:   1   # one\n...\nb: [x,  y]\n";
    DocumentState state = load(text);
    EXPECT_EQ(serialize_document(state), text);
    EXPECT_FALSE(root_file_modified(state));

    // A mark alone changes no text; content made anew is written in its
    // place, and everything else stays as it was.
    YamlNode& y = state.documents[1].pairs()[0].value.items()[1];
    y.comments.modified = true;
    EXPECT_TRUE(document_modified(state.documents[1]));
    EXPECT_FALSE(document_modified(state.documents[0]));
    EXPECT_TRUE(root_file_modified(state));
    EXPECT_EQ(serialize_document(state), text);
    y.mark_rewritten();
    y.text() = "z w";
    EXPECT_EQ(serialize_document(state), "\xEF\xBB\xBF# top\na:   1   # one\n...\nb: [x,  z w]\n");

    // A stream without documents gets no header, which would add one.
    for (const char* stream : {"", "# only a comment\n", "...\n"}) {
        DocumentState empty = load(stream);
        empty.upgraded = true;
        EXPECT_EQ(serialize_document(empty), stream);
    }
}

TEST(Serialize, MarksInsideIncludedContentReemitButLeaveTheRootFileAlone) {
    DocumentState state = load("a: 1\nb: {c: 2}\n");
    YamlNode& included = state.documents[0].pairs()[1].value;
    included.mutable_source() = IncludeSource{"!include", "b.yaml", 1};
    included.pairs()[0].value.comments.modified = true;
    EXPECT_TRUE(document_modified(state.documents[0]));
    EXPECT_FALSE(root_file_modified(state));
    state.documents[0].pairs()[0].value.comments.modified = true;
    EXPECT_TRUE(root_file_modified(state));
}

// A node as a document of its own reads as it does in place: the
// definitions of its aliases and the directive lines of its tags come with
// it, so the text composes alone.
TEST(SerializeNode, ANodeAloneReadsAsInPlace) {
    const struct {
        const char* text;
        std::size_t root;
        Path path;
        const char* output;
    } cases[] = {
        {"a: &x [1]\nb:\n  c: *x\n", 0, {PathSegment::key("b")}, "c: &x [1]\n"},
        {"%TAG !e! tag:e.com,2000:\n---\nb: [!e!x 1]\n", 0, {PathSegment::key("b")},
         "%TAG !e! tag:e.com,2000:\n---\n[!e!x 1]\n"},
        {"a\n...\n%YAML 1.1\n---\nb: {c: yes}\n", 1, {PathSegment::key("b")}, "%YAML 1.1\n---\n{c: yes}\n"},
        {"%YAML 1.1\n---\nb: 1\n", 0, {}, "%YAML 1.1\n---\nb: 1\n"},
        {"\xEF\xBB\xBF[a]\n", 0, {}, "\xEF\xBB\xBF[a]\n"},
    };
    for (const auto& c : cases) {
        const DocumentState state = load(c.text);
        const YamlNode* node = resolve_path(state, c.root, c.path);
        ASSERT_NE(node, nullptr) << c.text;
        const std::string out = serialize_node(state, c.root, c.path, *node);
        EXPECT_EQ(out, c.output) << c.text;
        EXPECT_TRUE(parse_documents(out).ok()) << out;
    }
}

TEST(VersionHeader, TakesThePlaceOfTheVersionLineAndKeepsTheDocuments) {
    const struct {
        const char* input;
        const char* output;
    } cases[] = {
        {"a: 1\n", "%YAML 1.2\n---\na: 1\n"},
        {"%YAML 1.1\n---\na: 1\n", "%YAML 1.2\n---\na: 1\n"},
        {"\xEF\xBB\xBF%YAML 1.1\n---\na\n", "\xEF\xBB\xBF%YAML 1.2\n---\na\n"},
        {"--- a\n", "%YAML 1.2\n--- a\n"},
        {"---\n", "%YAML 1.2\n---\n"},
        {"", "%YAML 1.2\n---\n"},
        // Comments before "---": no second "---", which would start an
        // empty document of its own.
        {"# about\n---\na: 1\n", "%YAML 1.2\n# about\n---\na: 1\n"},
        {"# about\na: 1\n", "%YAML 1.2\n---\n# about\na: 1\n"},
        // %TAG lines stay with their document.
        {"%YAML 1.1\n%TAG !e! tag:e.com,2000:\n---\n!e!x v\n", "%YAML 1.2\n%TAG !e! tag:e.com,2000:\n---\n!e!x v\n"},
        {"%TAG !e! tag:e.com,2000:\n%YAML 1.1\n---\n!e!x v\n", "%YAML 1.2\n%TAG !e! tag:e.com,2000:\n---\n!e!x v\n"},
        // Blank lines and comments before the directive.
        {"\n\n%YAML 1.1\n---\na\n", "%YAML 1.2\n\n\n---\na\n"},
        {"# c\r\n%YAML 1.1\r\n---\r\na\r\n", "%YAML 1.2\n# c\r\n---\r\na\r\n"},
        {"\r\r%TAG !m! m!\r---\r!m!x a\r", "%YAML 1.2\n\r\r%TAG !m! m!\r---\r!m!x a\r"},
        {"# c\r%YAML 1.1\r--- a", "%YAML 1.2\n# c\r--- a"},
        // Only the first document's directives are looked at.
        {"a\n...\n%YAML 1.1\n---\nb\n", "%YAML 1.2\n---\na\n...\n%YAML 1.1\n---\nb\n"},
        // "..." before the first document: the header stands first, and the
        // "..." lines go, as after it they would end a document.
        {"...\n# c\n--- a\n", "%YAML 1.2\n# c\n--- a\n"},
        {"# c\n...\na\n", "%YAML 1.2\n---\n# c\na\n"},
        {"...\n...\n%TAG !e! e:\n---\n!e!x a\n", "%YAML 1.2\n%TAG !e! e:\n---\n!e!x a\n"},
        {"...", "%YAML 1.2\n---\n"},
        // Without its line feed the version line stays.
        {"%YAML 1.1", "%YAML 1.2\n---\n%YAML 1.1"},
        // Byte-order marks opening later lines of the prefix go: after the
        // header's "---" they would be text. The text's own mark stays first.
        {"# c\n\xEF\xBB\xBF" "a: 1\n", "%YAML 1.2\n---\n# c\na: 1\n"},
        {"\r\xEF\xBB\xBF", "%YAML 1.2\n---\n\r"},
        // After blanks a mark is text, and stays.
        {" \xEF\xBB\xBF" "a\n", "%YAML 1.2\n---\n \xEF\xBB\xBF" "a\n"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" "a\n", "\xEF\xBB\xBF%YAML 1.2\n---\na\n"},
    };
    for (const auto& c : cases) {
        std::string text = c.input;
        apply_version_header(text);
        EXPECT_EQ(text, c.output) << c.input;
    }
}

// Whether the header leaves the documents of `input` as they were, event
// for event; false for a text that does not compose.
bool keeps_documents(const std::string& id, const std::string& input) {
    auto before = parse_documents(input);
    if (!before.ok()) return false;
    std::string text = input;
    apply_version_header(text);
    auto after = parse_documents(text);
    EXPECT_TRUE(after.ok()) << id << ": " << (after.ok() ? "" : after.error().message) << "\n" << text;
    if (after.ok()) {
        EXPECT_EQ(quillmere::testing::node_events(after.value()), quillmere::testing::node_events(before.value()))
            << id << "\n" << text;
    }
    return true;
}

// The header over every conformance case: the same documents as the text
// without it.
TEST(VersionHeader, NeverChangesTheDocumentsOfAConformanceCase) {
    const auto suite = quillmere::testing::load_suite();
    ASSERT_FALSE(suite.empty());
    int checked = 0;
    for (const auto& c : suite) checked += keeps_documents(c.id, c.input);
    EXPECT_GT(checked, 200);
}

// Texts the fuzz target found: properties before a block "?" at the start
// of the stream, behind a byte order mark or a line of blanks.
TEST(VersionHeader, KeepsAMappingWhosePropertiesComeBeforeItsFirstKey) {
    for (const char* input : {"!c ? : x", "\xEF\xBB\xBF!c ? : x\n", "\t\n&a ? : x\n", "! ? a: b\n"})
        EXPECT_TRUE(keeps_documents(input, input)) << input;
}

}  // namespace
}  // namespace quillmere::roundtrip

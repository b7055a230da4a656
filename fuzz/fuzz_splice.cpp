// Composes arbitrary valid UTF-8 text, edits its trees as the document
// API does (a leaf given new text, a mapping given a new entry, a comment
// or an anchor given to a node in place that has none), writes the stream back
// as its source with only the edited places written anew, and composes
// that text again. The second trees must hold the data, anchors and tags
// of the edited ones, and writing them unedited must give the same text
// back.
//
// The input's bytes pick the edits: its length which leaf, its first byte
// which kind of edit, its last byte which text the edit writes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf8.h"
#include "roundtrip/composer.h"
#include "roundtrip/document_state.h"
#include "roundtrip/serialize.h"
#include "roundtrip/splice.h"
#include "support/tree_text.h"

using namespace quillmere;
using roundtrip::DocumentState;
using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

namespace {

constexpr const char* kTexts[] = {"x", "a b", "", "1", "- y", "k: v", "#", "[z]", "'q'", "line\nbreak"};

void collect_mappings(YamlNode& node, std::vector<YamlNode*>& out) {
    if (node.is(NodeKind::Mapping)) {
        out.push_back(&node);
        for (NodePair& pair : node.pairs()) collect_mappings(pair.value, out);
    } else if (node.is(NodeKind::Sequence)) {
        for (YamlNode& item : node.items()) collect_mappings(item, out);
    }
}

void edit(std::vector<YamlNode>& roots, std::uint8_t kind, std::uint8_t which, std::size_t where) {
    const std::string text = kTexts[which % std::size(kTexts)];
    if (kind % 4 == 3) {
        // A new entry at the end of a mapping, as item assignment appends one.
        std::vector<YamlNode*> mappings;
        for (YamlNode& root : roots) collect_mappings(root, mappings);
        if (mappings.empty()) return;
        YamlNode value = YamlNode::scalar(text, ScalarStyle::DoubleQuoted);
        value.comments.modified = true;
        mappings[where % mappings.size()]->pairs().emplace_back(
            YamlNode::scalar("new" + std::to_string(where), ScalarStyle::Plain), std::move(value));
        return;
    }
    const std::vector<YamlNode*> leaves = testing::leaves_of(roots);
    if (leaves.empty()) return;
    YamlNode& leaf = *leaves[where % leaves.size()];
    if (kind % 4 == 0 && leaf.is(NodeKind::Scalar)) {
        leaf.mark_rewritten();
        leaf.text() = text;
        leaf.set_scalar_style(ScalarStyle::DoubleQuoted);
    } else if (kind % 4 == 1) {
        leaf.comments.mutable_inline_comment() = roundtrip::stored_comment(text.find('\n') == std::string::npos ? text : "c");
        leaf.comments.inline_spaces = 0;
        leaf.comments.inline_changed = true;
    } else if (!leaf.is(NodeKind::Alias) && !leaf.anchor()) {
        leaf.mutable_anchor() = "fz" + std::to_string(where);
        leaf.properties_changed = true;
    }
    leaf.comments.modified = true;
}

[[noreturn]] void fail(const char* what, std::string_view input, const std::string& text) {
    std::fprintf(stderr, "%s\n---- input\n%.*s\n---- written\n%s\n----\n", what, static_cast<int>(input.size()),
                 input.data(), text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (size == 0 || !is_valid_utf8(input)) return -1;
    auto first = roundtrip::parse_documents(input);
    if (!first.ok()) return 0;
    DocumentState state;
    state.documents = std::move(first).value();
    state.source_bytes = std::string(input);
    edit(state.documents, data[0], data[size - 1], size);
    const std::string expected = testing::describe_documents(state.documents);
    const std::string text = roundtrip::serialize_document(state);
    // Documents the splicer declines are written whole by the renderer,
    // which fuzz_roundtrip covers: this target checks spliced texts.
    std::string spliced;
    if (!roundtrip::splice_text(spliced, input, 0, state.documents, roundtrip::NullStyle::Empty)) return 0;
    auto again = roundtrip::parse_documents(text);
    if (!again.ok()) fail(again.error().message.c_str(), input, text);
    if (testing::describe_documents(again.value()) != expected) fail("the data differs", input, text);
    return 0;
}

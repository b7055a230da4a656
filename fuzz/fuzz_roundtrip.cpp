// Composes arbitrary valid UTF-8 text, marks leaves modified without
// changing them, writes the documents back with the round-trip emitter and
// composes that text again. The second trees must hold the same data,
// anchors and tags as the first, the text the same comments in the same
// order, and writing the second trees must give the same text again.
//
// The text's length picks what is marked: one leaf (unchanged block
// scalars are written from their source text) or every leaf (all of them
// written from their text).
//
// A tag with no content ("key: !!str" and nothing) stands where the next
// token does, on the next line, and takes in the comments on the way
// there, the one at the end of that line too. The emitter writes the ones
// above that line with the tag already, not yet the one at its end: a text
// with such a tag may move that comment in a later cycle, and must then
// settle within a few.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf8.h"
#include "roundtrip/composer.h"
#include "roundtrip/emitter.h"
#include "support/tree_text.h"

using namespace quillmere;
using roundtrip::NodeKind;
using roundtrip::YamlNode;

namespace {

bool has_bare_tag(const YamlNode& node) {
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (has_bare_tag(item)) return true;
    } else if (node.is(NodeKind::Mapping)) {
        for (const roundtrip::NodePair& pair : node.pairs())
            if (has_bare_tag(pair.key) || has_bare_tag(pair.value)) return true;
    }
    return node.tag() && (node.is(NodeKind::Null) || (node.is(NodeKind::Scalar) && node.text().empty()));
}

void mark(std::vector<YamlNode>& roots, std::size_t choice) {
    const std::vector<YamlNode*> leaves = testing::leaves_of(roots);
    if (leaves.empty()) return;
    if (choice % 2 == 0) {
        leaves[choice / 2 % leaves.size()]->comments.modified = true;
    } else {
        for (YamlNode* leaf : leaves) leaf->comments.modified = true;
    }
}

std::string emit(const std::vector<YamlNode>& roots) {
    std::string out;
    roundtrip::render_documents(out, roundtrip::NullStyle::Empty, roots);
    return out;
}

[[noreturn]] void fail(const char* what, std::string_view input, const std::string& text) {
    std::fprintf(stderr, "%s\n---- input\n%.*s\n---- written\n%s\n----\n", what, static_cast<int>(input.size()),
                 input.data(), text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (!is_valid_utf8(input)) return -1;
    auto first = roundtrip::parse_documents(input);
    if (!first.ok()) return 0;
    std::vector<YamlNode> roots = std::move(first).value();
    mark(roots, size);
    const std::string text = emit(roots);

    const std::string expected = testing::describe_documents(roots);
    const std::vector<std::string> comments = testing::comments_of(input);
    bool bare_tag = false;
    for (const YamlNode& root : roots) bare_tag = bare_tag || has_bare_tag(root);
    std::string current = text;
    for (int cycle = 0; cycle < 4; ++cycle) {
        auto composed = roundtrip::parse_documents(current);
        if (!composed.ok()) fail(composed.error().message.c_str(), input, current);
        std::vector<YamlNode> again = std::move(composed).value();
        if (testing::describe_documents(again) != expected) fail("the data differs", input, current);
        if (!roots.empty() && testing::comments_of(current) != comments) fail("the comments differ", input, current);
        mark(again, size);
        const std::string next = emit(again);
        if (next == current) return 0;
        if (!bare_tag) fail("a second cycle writes other bytes", input, current);
        current = next;
    }
    fail("the text does not settle", input, current);
}

// Composes arbitrary valid UTF-8 text, comments attached, and checks the
// trees: every node ends no earlier than it starts, its end line and
// column describe its end offset, raw source only on block scalars, and a
// copy is a full copy. The composer must fail exactly where the plain
// road's decoder fails for the text's grammar, with the same error; the
// decoder alone also fails on what only values can show (a text its core
// tag cannot read, an alias bomb).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf8.h"
#include "decode/decoder.h"
#include "roundtrip/composer.h"
#include "roundtrip/line_index.h"
#include "roundtrip/queries.h"

using namespace quillmere;
using namespace quillmere::roundtrip;

namespace {

// An error of the decoder's values rather than of the grammar.
bool is_value_error(const LocatedError& error) {
    return error.message.starts_with("cannot read ") || error.message.find("alias bomb") != std::string::npos;
}

// Line and column of every offset of a text, counted one byte at a time.
// A line that starts with a byte-order mark is noted: the mark is no
// column where it opens a document's prefix and text elsewhere, which only
// the scanner tells apart.
struct Positions {
    std::vector<LinePosition> at;
    std::vector<bool> marked_lines{false};

    explicit Positions(std::string_view text) : at(text.size() + 1) {
        const bool bom = text.size() > 2 && text.starts_with("\xEF\xBB\xBF");
        // A mark at the start of a line (for the first line, after the
        // text's own mark) may open a document's prefix.
        const auto opens_with_mark = [&](std::size_t from) { return text.substr(from, 3) == "\xEF\xBB\xBF"; };
        marked_lines[0] = opens_with_mark(bom ? 3 : 0);
        LinePosition here;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            at[i] = here;
            if (i == text.size() || (bom && i < 3)) continue;
            const char c = text[i];
            if (c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
                here = LinePosition{here.line + 1, 0};
                marked_lines.push_back(opens_with_mark(i + 1));
            } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
                ++here.column;
            }
        }
    }
};

void check(const YamlNode& node, std::string_view text, const Positions& positions, std::size_t& count) {
    ++count;
    if (node.end_offset < node.span.offset || node.end_offset > text.size()) std::abort();
    // Missing keys and values sit at position zero; every other node's
    // start and end are where counting puts them.
    const LinePosition start = positions.at[node.span.offset];
    const LinePosition end = positions.at[node.end_offset];
    const bool marked = positions.marked_lines[start.line] || positions.marked_lines[end.line];
    if (node.end_offset != 0 && !marked &&
        (start.line != node.span.line || start.column != node.span.column || end.line != node.end_line ||
         end.column != node.end_column))
        std::abort();
    const bool block_scalar = node.is(NodeKind::Scalar) && (node.scalar_style() == ScalarStyle::Literal ||
                                                            node.scalar_style() == ScalarStyle::Folded);
    if (node.comments.raw() && !block_scalar) std::abort();
    const bool collection = node.is(NodeKind::Sequence) || node.is(NodeKind::Mapping);
    if (!collection && node.style() != CollectionStyle::Block) std::abort();
    if (node.is(NodeKind::Sequence))
        for (const YamlNode& item : node.items()) check(item, text, positions, count);
    if (node.is(NodeKind::Mapping))
        for (const NodePair& pair : node.pairs()) {
            check(pair.key, text, positions, count);
            check(pair.value, text, positions, count);
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks keep-empty; the rest is the text.
    const bool keep_empty = data[0] & 1;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (!is_valid_utf8(text)) return -1;

    auto composed = compose_text(text, ComposeOptions{0, keep_empty});
    auto decoded = decode::decode_documents(text, decode::DecodeOptions{});
    if (!composed.ok()) {
        if (decoded.ok()) std::abort();
        const bool same = decoded.error().message == composed.error().message &&
                          decoded.error().span == composed.error().span;
        if (!same && !(is_value_error(decoded.error()) &&
                       decoded.error().span.offset <= composed.error().span.offset))
            std::abort();
        return 0;
    }
    if (!decoded.ok() && !is_value_error(decoded.error())) std::abort();

    const Positions positions(text);
    for (const YamlNode& root : composed.value()) {
        std::size_t count = 0;
        check(root, text, positions, count);
        if (count < 5000) {
            const YamlNode copy = clone_node(root);
            std::size_t copied = 0;
            check(copy, text, positions, copied);
            if (copied != count || subtree_modified(copy)) std::abort();
        }
    }
    return 0;
}

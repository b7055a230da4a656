// Where composed nodes end, for every parser builder that records
// positions: the composer and the annotating builder place their nodes
// alike, so that annotated values read straight from a text carry the
// positions of its round-trip tree.
//
// A node starts at its span. A scalar ends where the scanner recorded its
// end, an alias after its name, a bracketed flow collection after its
// closing bracket, any other collection at the furthest end of its
// children, and an empty node at its start; no node ends before it starts.
// The builders' node types only need span, end_offset, end_line and
// end_column.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/span.h"
#include "roundtrip/line_index.h"
#include "scanner/token.h"

namespace quillmere::roundtrip {

template <class Node>
void set_empty_end(Node& node) {
    node.end_offset = node.span.offset;
    node.end_line = node.span.line;
    node.end_column = node.span.column;
}

// The end of a node that starts at its span and ends at byte `end` of `text`.
template <class Node>
void set_end(Node& node, std::uint64_t end, std::string_view text, const LineIndex& lines) {
    if (end <= node.span.offset) {
        set_empty_end(node);
        return;
    }
    node.end_offset = end;
    const LinePosition position = lines.position_after(text, node.span, end);
    node.end_line = position.line;
    node.end_column = position.column;
}

// The end of a collection: after `end` when that is its closing bracket
// (`closing`), else where `furthest` (its child that ends last, or null)
// ends, and never before its start.
template <class Node>
void set_collection_end(Node& node, const Token* end, TokenKind closing, const Node* furthest) {
    if (end != nullptr && end->kind == closing) {
        node.end_offset = end->span.offset + 1;
        node.end_line = end->span.line;
        node.end_column = end->span.column + 1;
    } else if (furthest != nullptr && furthest->end_offset > node.span.offset) {
        node.end_offset = furthest->end_offset;
        node.end_line = furthest->end_line;
        node.end_column = furthest->end_column;
    } else {
        set_empty_end(node);
    }
}

}  // namespace quillmere::roundtrip

// Comment attachment: the scanner's comments and the text's blank lines
// become the layout fields of the composed nodes.
//
//     # about a                 key a: head ["about a"]
//     a: 1  # one               value 1: inline "one", inline_spaces 2
//
//     b: [x, y]  # pair         key b: blank_before 1
//                               value [x, y]: inline "pair"
//     # the end                 last root: foot ["the end"]
//
// Nodes are visited in source order, each before its children; comments
// are taken in source order. A comment on a line above a node is a head
// comment of the first node visited below it (for a mapping entry, the
// key). A comment after a node on the line where the node starts is its
// inline comment, unless a child visited earlier took it, and never that
// of a key or of an item of a flow collection that the comment follows
// (`[a, b]  # c` belongs to the collection). What is left after the last
// node is the foot of the last root.
#pragma once

#include <string_view>
#include <vector>

#include "roundtrip/ast.h"
#include "roundtrip/line_index.h"
#include "scanner/token.h"

namespace quillmere::roundtrip {

// Fills the comments and blank-line counts of `roots` and the nodes below
// them from `comments` (in source order, texts moved out); `lines` is the
// line index of `text`. A blank line is one that holds only white space.
// Without roots the comments are dropped.
void attach_comments(std::string_view text, const LineIndex& lines, std::vector<YamlNode>& roots,
                     std::vector<ScannedComment> comments);

}  // namespace quillmere::roundtrip

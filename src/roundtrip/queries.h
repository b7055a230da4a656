// Read-only questions about round-trip trees, asked by comment attachment,
// the emitter, the annotated classes and the document API:
//
//     is_include_tag("!include_dir_named")  -> true
//     content_end(<'a' at 2:5 written 'a'>)  -> (2, 8), after the quote
//     subtree_modified(root)                 -> whether an edit touched the
//                                               root's own file below it
//
// Nothing here changes a tree. The walks recurse through the stack guard,
// so trees of any depth (edits can nest past the composer's limit) are safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

// A mapping or sequence in block style with entries: an empty one is
// written in flow style.
bool is_block_collection(const YamlNode& node);
// A literal or folded scalar.
bool is_block_scalar(const YamlNode& node);

// Whether `tag` is one of the include directives, byte for byte.
bool is_include_tag(const std::optional<std::string>& tag);

// The last provenance of a chain (IncludeSource::inner): what produced
// the node's content.
const IncludeSource& innermost_source(const IncludeSource& source);

// The last !include of a chain, whose file holds the node's content (or,
// when that file's root is another directive, the directive).
const IncludeSource& last_include(const IncludeSource& source);

// The text a node is written in when its document is saved: the root file
// or an included file (by file id), or content a directive produced, which
// is written as its directive and never as itself (kProducedContent with
// the id of the file the node was read from). Each file is read on its
// own, so an alias stands for an anchor of its own text only:
//
//     main.yaml:  a: &x 1              a, b, c: text 0 (main.yaml)
//                 b: !include b.yaml   b's content: text 1 (b.yaml)
//                 c: *x                c's alias means a, whatever b.yaml defines
using TextKey = std::uint64_t;
inline constexpr TextKey kProducedContent = TextKey(1) << 32;

struct TextPlace {
    bool produced = false;
    std::uint32_t file_id = 0;
};

// Where the content of `node` is written, `node` standing in `around` (a
// document root stands in TextPlace{}): an included file's root holds the
// content of the last file of its chain.
TextPlace place_within(const YamlNode& node, TextPlace around);

// The text of `node`, whose content is written at `place`.
inline TextKey text_key(const YamlNode& node, TextPlace place) {
    return place.produced ? kProducedContent | node.span.file_id : place.file_id;
}

// How many levels deep `node`'s subtree nests, the node itself counting
// one (a scalar: 1; [[1]]: 3), keys included. Without recursion.
std::uint64_t nesting_levels(const YamlNode& node);

struct ContentEnd {
    std::uint32_t line = 0;
    std::uint32_t column = 0;  // in code points

    friend bool operator==(const ContentEnd&, const ContentEnd&) = default;
    friend auto operator<=>(const ContentEnd&, const ContentEnd&) = default;
};

// Where the node's text really ends, 0-based: after the closing quote of a
// quoted scalar, after the name of an alias, after the closing bracket of
// a flow collection. That is the node's recorded end position; spacing
// measured from it (the blanks before an inline comment) stays the same
// however often a tree is written and read back.
inline ContentEnd content_end(const YamlNode& node) { return {node.end_line, node.end_column}; }

// Whether an edit changed anything below `node` in the node's own file:
// nodes that a directive produced (`source` set) are boundaries whose
// content belongs to another file or to the directive; what is theirs in
// this file is the directive's comments (IncludeSource::comments_edited).
bool subtree_modified(const YamlNode& node);

// The comments written with `node` in the text that holds it: its own,
// except for an included file's root, whose own comments are its file's
// and whose directive's (none when it had none) stand here.
const Comments* placed_comments(const YamlNode& node);

// The same with `node` itself never a boundary: whether the node's own
// mark is set or an edit changed anything below it in its file. For a
// document root, whether its file changed; for an include root, whether
// the included file did.
bool content_modified(const YamlNode& node);

// The same for a mapping entry: the key counts whatever its source; the
// value is a boundary when a directive produced it.
bool pair_modified_below(const NodePair& pair);

}  // namespace quillmere::roundtrip

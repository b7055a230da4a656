// The round-trip emitter: a YamlNode tree back to YAML text.
//
// It writes one document root (or any node, as a document of its own) and
// keeps what the tree recorded of the source: directive lines, comments
// above, after and below nodes, blank lines, the blanks before inline
// comments and after indicators, scalar quoting, flow or block layout,
// anchors and tags as written, the source text of unchanged block scalars,
// and directive-produced nodes in their directive form:
//
//     # servers                       # servers
//     hosts: &h [a, b]   # two   ->   hosts: &h [a, b]   # two
//     db: !include db.yaml            db: !include db.yaml
//     note: |                         note: |
//       kept as written                 kept as written
//
// Whatever the tree holds, the text reads back to the same values,
// anchors, tags and comments in the same order, and a tree read back from
// the text is written as the same text again. Where a node's recorded
// style cannot carry its content in its place (a line feed in a plain
// scalar, a block scalar inside a flow collection, a plain string with a
// "," inside brackets, a new one with a ":" or "?" there), it is written
// double-quoted instead.
//
// The caller joins documents, adds "---" between them and a byte order mark
// in front, and decides when the loaded text can be returned unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "encode/emitter.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

using encode::NullStyle;

// Appends `root` as one document: its "%YAML" and "%TAG" lines and "---"
// when it had them ("..." first when they follow another document), its
// content and its comments, ending with a line feed.
void render_document(std::string& out, NullStyle null_style, const YamlNode& root);

// Appends the documents of a stream as a document re-emits them: a byte
// order mark when the first has one, "---" before every later one that
// did not start with it and has no directive lines (which end the
// document before and start their own).
void render_documents(std::string& out, NullStyle null_style, std::span<const YamlNode> roots);

// The places of a document that the splicing writer renders anew, each as
// the document would be rendered there; all but the flow text end with a
// line break. What follows the ":" of a block mapping entry whose key
// stands at `indent`:
std::string render_value_text(const YamlNode& value, std::uint64_t indent, NullStyle null_style);
// What follows the "-" of a block sequence item at `indent`:
std::string render_item_text(const YamlNode& item, std::uint64_t indent, NullStyle null_style);
// Entries of a block mapping at `indent`, the first one indented too:
std::string render_entries_text(std::span<const NodePair> pairs, std::uint64_t indent, NullStyle null_style);
// A node inside a flow collection, on one line:
std::string render_flow_text(const YamlNode& node, NullStyle null_style);
// A value in block context as its properties and content alone, on one
// line, for a place whose padding and inline comment stay; none when it
// needs more (a block collection or scalar, comments above it, nothing):
std::optional<std::string> render_inline_text(const YamlNode& value, std::uint64_t indent, NullStyle null_style);
// A document root at `indent`, its first line without the indentation
// (the place has it), without directives, marker and comments above:
std::string render_root_text(const YamlNode& root, std::uint64_t indent, NullStyle null_style);

// `node` as the text of a file of its own: the content behind an include
// root rather than its directive, a byte order mark when the node has one,
// nulls written "null". For an include root whose chain goes on
// (IncludeSource::inner), the text of the chain's last included file: its
// content, or the directive that file's root is. With `file_text`, the
// file as it was read, the file's documents after the first (which an
// include does not hold) are written after it.
std::string render_file_text(const YamlNode& node, std::optional<std::string_view> file_text = std::nullopt);

// The comment in the header line of a block scalar as its source text has
// it ("| # note": " note", 1 blank before the "#"); none for other nodes.
struct HeaderComment {
    std::string_view written;  // after the "#"
    std::uint32_t gap = 0;     // blanks before the "#"
};
std::optional<HeaderComment> block_scalar_header_comment(const YamlNode& node);

// (file id, text) of an included file.
using IncludeText = std::pair<std::uint32_t, std::string>;

// Appends, in pre-order, the included files below `node` (itself
// included) whose content changed, each rendered anew. `file_texts` holds
// the texts as read, indexed by file id, for the files' other documents.
// Of an include chain only the last file can change: the others hold the
// next directive.
void collect_modified_includes(const YamlNode& node, std::span<const std::optional<std::string>> file_texts,
                               std::vector<IncludeText>& out);

// Appends, in pre-order, every included file below `node`, each file of
// an include chain too: the text as read (from `file_texts`) while its
// content is unchanged, else rendered anew.
void collect_include_texts(const YamlNode& node, std::span<const std::optional<std::string>> file_texts,
                           std::vector<IncludeText>& out);

}  // namespace quillmere::roundtrip

// The splicing writer: an edited document written back as its source text
// with only the places that edits changed written anew.
//
// Every composed node knows where its text stands in its source (from its
// first property through its span to its end). An edit either gives a
// node new content (the new node is not in place and keeps the region of
// the text it replaced), appends entries to a mapping (keys that took no
// place), or sets the anchor, inline comment or head comments of a node
// that stays in place (a change bit on it). The writer walks the nodes in
// place, copies the source up to each changed place, writes that place by
// the round-trip emitter's rules at the indentation the place has, and
// copies on:
//
//     # ports                          # ports
//     web:    8080   # public    ->    web:    9090   # public
//     db:                              db:
//         host:  a                         host:  a
//                                          user: admin
//
// after doc["web"] = 9090 and doc["db"]["user"] = "admin". Everything
// between the changed places (comments with their own text and column,
// blank lines, markers, directives, line breaks, trailing blanks) and the
// text of every unchanged node comes back byte for byte; text that edits
// make uses the source's line break.
//
// A change that meets a layout the writer does not rewrite in place (a
// comment set inside a flow collection, an anchor given to a mapping that
// shares its line with a dash, ...) makes it give up: the caller then
// renders the document by the emitter's rules alone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "encode/emitter.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

// Appends `text` (the source of file `file_id`) with the edits below
// `roots`, that text's documents in order, and returns true; returns false
// with `out` as it was when some change cannot be written in place. For
// an included file, `file_root` is the include root that holds the file's
// first document: there it stands for its content, not its directive.
[[nodiscard]] bool splice_text(std::string& out, std::string_view text, std::uint32_t file_id,
                               std::span<const YamlNode> roots, encode::NullStyle null_style,
                               const YamlNode* file_root = nullptr);

}  // namespace quillmere::roundtrip

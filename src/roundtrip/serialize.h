// A round-trip document back to text: the whole stream, unchanged or
// re-emitted, with the "%YAML 1.2" header of an upgraded load.
//
// While no node carries a modification mark, the text is the one the
// document was loaded from, byte for byte (as UTF-8). After an edit every
// document is rendered again by the round-trip emitter:
//
//     a: 1   # one          loaded, nothing edited   -> the same bytes
//     ...                   doc["b"] = 2 (the second
//     b: x                  document, a mark set)    -> "a: 1   # one\n"
//                                                       "---\n" "b: 2\n"
//
// Under the 1.1 upgrade a text that holds a document gets a "%YAML 1.2"
// line in front, in place of its own "%YAML" line, and a "---" when its
// first document had none, so that the header reads back with the same
// documents; a text without documents stays without.
#pragma once

#include <string>

#include "roundtrip/ast.h"
#include "roundtrip/document_state.h"
#include "roundtrip/path.h"

namespace quillmere::roundtrip {

// Whether `node` or any node below it, included content too, carries the
// modification mark, or the comments of its directive were edited.
// Stops at the first mark.
bool document_modified(const YamlNode& node);

// Whether the root file must be written again: an edit changed some
// document outside the content of its included files.
bool root_file_modified(const DocumentState& state);

// The stream's text: the stored input while nothing is marked, else every
// document re-emitted; under `upgraded` with the "%YAML 1.2" header when
// there is a document.
std::string serialize_document(const DocumentState& state);

// The text of `node`, the node at `path` from state.documents[root], as a
// document of its own that reads alone as the node reads in place: the
// directive lines its tags are read by (those of the nearest node on the
// path that has some, the document root's as a rule) before it, and each
// definition that an alias in it stands for and that lies outside it
// copied in at the first such alias (standalone_copy). Always rendered
// anew, with the document's null style.
std::string serialize_node(const DocumentState& state, std::size_t root, const Path& path, const YamlNode& node);

// Puts the "%YAML 1.2" header in front of the text of a stream that holds
// a document (after a byte order mark). Before the first document's
// content only blank lines, comments, "..." lines and the document's
// directive lines can stand; the first "%YAML" line and the "..." lines,
// which after the header would end a document, are dropped, and "---"
// follows the header when the first document did not start with one.
// Comments, "%TAG" lines and blank lines keep their places, so the text
// reads back as the same documents:
//
//     # about            %YAML 1.2
//     %YAML 1.1    ->    # about
//     %TAG ! !e-         %TAG ! !e-
//     ---                ---
void apply_version_header(std::string& text);

}  // namespace quillmere::roundtrip

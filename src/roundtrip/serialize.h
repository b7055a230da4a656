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
// Under the 1.1 upgrade the text gets a "%YAML 1.2" line in front, in
// place of its own "%YAML" line, and a "---" when its first document had
// none, so that the header reads back with the same documents.
#pragma once

#include <string>

#include "roundtrip/ast.h"
#include "roundtrip/document_state.h"

namespace quillmere::roundtrip {

// Whether `node` or any node below it, included content too, carries the
// modification mark, or the comments of its directive were edited.
// Stops at the first mark.
bool document_modified(const YamlNode& node);

// Whether the root file must be written again: an edit changed some
// document outside the content of its included files.
bool root_file_modified(const DocumentState& state);

// The stream's text: the stored input while nothing is marked, else every
// document re-emitted; under `upgraded` with the "%YAML 1.2" header.
std::string serialize_document(const DocumentState& state);

// Puts the "%YAML 1.2" header on the text of a stream. Before the first
// document's content only blank lines, comments, "..." lines and the
// document's directive lines can stand; the first document's "%YAML" line
// is dropped, "%YAML 1.2" goes where its directives start (in front, after
// a byte order mark, unless a "..." line comes first), and "---" after it
// when the first document did not start with one. Comments, "%TAG" lines
// and blank lines keep their places, so the text reads back as the same
// documents:
//
//     # about            %YAML 1.2
//     %YAML 1.1    ->    # about
//     %TAG ! !e-         %TAG ! !e-
//     ---                ---
void apply_version_header(std::string& text);

}  // namespace quillmere::roundtrip

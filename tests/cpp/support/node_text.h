// Text forms of round-trip trees for table-driven tests.
//
// describe_node:  a  'a'  "a"  |"a\n"  >"a\n"  *x  ()  (a Null)
//                 [a, b] and {k: v} for flow collections,
//                 seq(a, b) and map(k: v) for block ones,
//                 properties in front: &x !t a
// node_events:    the yaml-test-suite event lines of a stream of roots,
//                 tags expanded by each document's %TAG lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "roundtrip/composer.h"

namespace quillmere::testing {

std::string describe_node(const roundtrip::YamlNode& node);

// Composes `text`; gives the roots joined by " | ", or "error: message
// @line:column" (1-based).
std::string compose_to_text(std::string_view text, bool keep_empty = false);

// The node a path leads to from the roots: steps separated by '.', a
// number for a sequence item, kN or vN for the key or value of pair N; a
// first step dN picks root N, else the path starts at the last root.
const roundtrip::YamlNode& node_at(const std::vector<roundtrip::YamlNode>& roots, std::string_view path);

// One line per event: +STR, +DOC, +MAP {} &a <tag>, =VAL :text, =ALI *a,
// ... -DOC, -STR; document markers are not shown.
std::string node_events(const std::vector<roundtrip::YamlNode>& roots);

// The same lines from a test.event file, with the document markers dropped.
std::string normalize_events(std::string_view events);

}  // namespace quillmere::testing

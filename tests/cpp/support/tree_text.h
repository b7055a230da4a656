// What a round trip of a tree must keep, as text for comparisons.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "roundtrip/ast.h"

namespace quillmere::testing {

// The data of a tree as the document API reads it (YAML 1.2 core rules),
// with every anchor and tag, in document order; styles and layout are
// left out:
//
//     {"a": &x i:1, "b": [*x, !t "s"], "c": null}
std::string describe_tree(const roundtrip::YamlNode& root);
// The roots of a stream, joined by " | ".
std::string describe_documents(std::span<const roundtrip::YamlNode> roots);

// The leaves (scalars, aliases, nulls, keys included) of a stream, in
// document order.
std::vector<roundtrip::YamlNode*> leaves_of(std::vector<roundtrip::YamlNode>& roots);

// Every comment of a YAML text in order: the scanner's comments and those
// in the header lines of block scalars. Empty when the text does not scan.
std::vector<std::string> comments_of(std::string_view text);

}  // namespace quillmere::testing

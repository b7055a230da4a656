// Hand-built round-trip trees (YamlNode) for tests, and a tree's data as a Value.
//
//     map({{scalar("a", {0, 0}), scalar("1", {0, 3})}})      a: 1
//     anchored("x", seq({scalar("1", {1, 4})}, {1, 3}))      &x [1]
//
// Positions are 0-based lines and columns; offsets stay 0.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/arena.h"
#include "model/value.h"
#include "resolver/resolver.h"
#include "roundtrip/ast.h"

namespace quillmere::testing {

using roundtrip::YamlNode;

struct At {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
};

YamlNode scalar(std::string text, At at = {}, ScalarStyle style = ScalarStyle::Plain);
YamlNode quoted(std::string text, At at = {});
YamlNode null_node(At at = {});
YamlNode alias(std::string name, At at = {});
YamlNode seq(std::vector<YamlNode> items, At at = {});
YamlNode map(std::vector<std::pair<YamlNode, YamlNode>> pairs, At at = {});
YamlNode anchored(std::string anchor, YamlNode node);
YamlNode tagged(std::string tag, YamlNode node);

// The tree's data as the plain road would hold it: scalars resolved under
// `mode`, custom tags as Tagged, aliases as the text "*name".
Value tree_to_value(const YamlNode& node, resolver::ResolveMode mode, Arena& arena);

}  // namespace quillmere::testing

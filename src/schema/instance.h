// The instance that a schema judges: an alias-free copy of one document.
//
// A schema check needs the value behind every alias, and reports the
// positions of the nodes it judges. The copy replaces each alias by a copy
// of the node its anchor named where the alias was written, placed at the
// alias's own position; everything inside that copy keeps the positions of
// the anchored definition:
//
//     base: &b {x: 1}        ->   base: {x: 1}
//     use: *b                     use: {x: 1}     (the mapping at *b's position,
//                                                  x at line 1 of the text)
//
// An anchor names the node it was last given to before the alias, as on
// the plain road, so an alias never refers to a node that encloses it and
// expansion always ends. Expansion is still bounded: an alias followed more
// than 100 levels deep, or any node copied through aliases beyond a budget
// of 1,000,000, becomes a null at that node's position. The document's own
// nodes are copied whatever their number.
#pragma once

#include <cstdint>

#include "roundtrip/anchors.h"
#include "roundtrip/ast.h"

namespace quillmere::schema {

using roundtrip::AliasTargets;
using roundtrip::YamlNode;

inline constexpr std::uint32_t kMaxAliasDepth = 100;
inline constexpr std::uint64_t kAliasCopyBudget = 1'000'000;

// The alias-free copy of `node`, `depth` aliases deep, each alias replaced
// by what `targets` (built over the node's document, unpreceded aliases
// standing for nothing) says it stands for;
// `budget` counts the nodes that copying through aliases may still make.
// Stack-guarded.
YamlNode expand_aliases_for_schema(const YamlNode& node, const AliasTargets& targets, std::uint32_t depth,
                                   std::uint64_t& budget);

}  // namespace quillmere::schema

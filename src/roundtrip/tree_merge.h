// Merge keys on a tree: "<<: *base" and "<<: [*a, *b]" pull entries into a
// mapping, by the same rules as the plain road's merge pass.
//
// The pass works in place on an alias-free tree (aliases already replaced
// by copies of their anchored nodes), so a merge source is an ordinary
// mapping node below the "<<" key:
//
//     base: {x: 1, y: 2}
//     m: {<<: {x: 1, y: 2}, y: 3}   ->  m: {y: 3, x: 1}
//
// Explicit pairs come first and always win; among merge sources the first
// to bring a key wins; a source that is no mapping, null or sequence of
// them stays behind as an ordinary "<<" pair. Keys are the same when the
// plain road would see the same key, so the plain road's key set decides.
// Merged nodes are moved, never copied, and keep their own positions.
#pragma once

#include "resolver/resolver.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

// Applies every merge below and including `node`. Merges are not applied
// inside keys. A "<<" pair left over keeps its key's position, as a quoted
// "<<" that no later pass reads as a merge key again. Stack-guarded.
void resolve_tree_merge_keys(YamlNode& node, resolver::ResolveMode mode);

}  // namespace quillmere::roundtrip

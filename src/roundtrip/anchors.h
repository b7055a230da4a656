// Anchors and aliases of round-trip trees.
//
// An Alias node holds only a name; the tree is never resolved in place.
// Whoever needs the value behind an alias asks an AnchorTable, which maps
// each anchor name that some alias uses to a copy of the defining node with
// every alias inside it already replaced:
//
//     base: &b {x: 1, y: *p}       table: b -> {x: 1, y: 2}
//     port: &p 2                          p -> 2
//     use: *b
//
// The first definition of a name, in the order of the documents and then
// pre-order within each, is the one every alias of that name means, in
// every document of the stream. Expansion is bounded: a chain of more than
// 100 aliases inside aliases, or more than 1,000,000 copied nodes for the
// whole table, yields nulls where the copy is cut off, so an alias bomb
// costs bounded memory. The table expands a name when the first alias that
// uses it is met in document order, so which copies are cut off depends
// only on the text, and anchors that no alias uses cost nothing.
//
// The path queries find anchors and aliases by the paths of the document
// API (path.h); the detached copy turns an alias into an independent node.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/hash.h"
#include "roundtrip/ast.h"
#include "roundtrip/path.h"

namespace quillmere::roundtrip {

inline constexpr std::uint64_t kAliasExpansionBudget = 1'000'000;
inline constexpr std::uint32_t kAliasExpansionDepth = 100;

// Anchor name -> the first node in the tree that defines it. Borrows the
// tree (names and nodes), which must stay unchanged while the index lives.
using AnchorIndex = std::unordered_map<std::string_view, const YamlNode*, SeededHash, TextEqual>;

class AnchorTable {
public:
    // The alias-expanded copy for `name`, or null when no alias of the
    // trees uses a name that some node defines.
    const YamlNode* find(std::string_view name) const;
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

private:
    friend AnchorTable build_anchor_table(std::span<const YamlNode> roots);
    std::unordered_map<std::string, YamlNode, SeededHash, TextEqual> entries_;
};

// The table of all documents of one stream, under one budget.
AnchorTable build_anchor_table(std::span<const YamlNode> roots);

// Adds the anchors of `node`'s subtree that `index` does not hold yet.
void collect_anchors(const YamlNode& node, AnchorIndex& index);

// A copy of `node` with every alias replaced by a copy of its definition.
// Scalars and nulls are copied exactly; collections keep their span and
// tag, end where they start, become Block and lose anchor, comments and
// provenance. An unknown alias, a chain deeper than kAliasExpansionDepth or
// a spent budget gives a bare Null at the node's position. Each copied node
// takes one from `budget`.
YamlNode expand_copy(const YamlNode& node, const AnchorIndex& index, std::uint32_t depth, std::uint64_t& budget);

// The copy that replaces an alias when it is detached: every node keeps its
// span, tag, style, comments and provenance, loses its anchor and flags,
// and ends where it starts. An unknown alias becomes a Null that keeps the
// alias's tag and comments. Limits as for expand_copy.
YamlNode detach_copy(const YamlNode& node, const AnchorIndex& index, std::uint32_t depth, std::uint64_t& budget);

// Calls `visitor` on each child of `node` that a path can address, with
// `path` extended by the child's step: the items of a sequence, and the
// values of a mapping's Scalar keys. It stops when the visitor returns
// true and says so. Keys, and values behind other keys, are skipped.
bool walk_with_path(const YamlNode& node, Path& path,
                    const std::function<bool(const YamlNode& child, Path& path)>& visitor);

// Path of the first node in the first document that carries `name`, in
// pre-order over the addressable nodes; none when there is none.
std::optional<Path> anchor_path(std::span<const YamlNode> roots, std::string_view name);

// When `path` leads from the first document's root to an Alias, the path of
// the definition it refers to (as anchor_path finds it); none otherwise.
std::optional<Path> alias_target_path(std::span<const YamlNode> roots, const Path& path);

// Paths, relative to `node`, of every Alias named `name` at or below it, in
// document order.
std::vector<Path> alias_paths(const YamlNode& node, std::string_view name);

// (name, path relative to `node`) of every anchored node at or below it, in
// pre-order; a name defined twice appears twice.
std::vector<std::pair<std::string, Path>> list_anchors(const YamlNode& node);

}  // namespace quillmere::roundtrip

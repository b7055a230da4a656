// Anchors and aliases of round-trip trees.
//
// An Alias node holds only a name; the tree is never resolved in place.
// AliasTargets says which node each alias stands for, as the plain road
// reads the text (the latest definition of its name complete before it);
// the reads of values (tree_values.h), the node queries and the detached
// copy go through it.
//
// An AnchorTable maps each anchor name that some alias uses to a copy of
// the name's first definition (in the order of the documents, then
// pre-order) with every alias inside it already replaced:
//
//     base: &b {x: 1, y: *p}       table: b -> {x: 1, y: 2}
//     port: &p 2                          p -> 2
//     use: *b
//
// Expansion is bounded: a chain of more than 100 aliases inside aliases,
// or more than 1,000,000 copied nodes for the whole table, yields nulls
// where the copy is cut off, so an alias bomb costs bounded memory. The
// table expands a name when the first alias that uses it is met in
// document order, so which copies are cut off depends only on the text,
// and anchors that no alias uses cost nothing.
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
#include <unordered_set>
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

// The node each alias of the trees stands for, as the plain road reads the
// text: the latest definition of its name that is complete before the
// alias, in document order over all the trees (pre-order, keys before
// values), in the alias's own file (an included file is read on its own:
// queries.h, TextKey). An anchor takes effect where its node ends, so
//
//     a: &x 1            the aliases of b and inside c mean a (c is not
//     b: *x              complete where its own alias stands); the alias
//     c: &x {k: *x}      of d means c, which reads as {k: 1}
//     d: *x
//
// An alias with no such definition (a composed text has none; one inside
// its own anchored node would be one) stands for the first definition of
// its name in pre-order, or for nothing when the caller asks so. Built in
// one pass over the trees, which must stay unchanged while it lives.
class AliasTargets {
public:
    enum class Unpreceded { FirstDefinition, Nothing };
    explicit AliasTargets(std::span<const YamlNode> roots, Unpreceded unpreceded = Unpreceded::FirstDefinition);
    // The definition `alias` stands for; null when its name is defined
    // nowhere or `alias` is not an alias of the trees.
    const YamlNode* find(const YamlNode& alias) const;
    bool empty() const { return targets_.empty(); }

private:
    std::unordered_map<const YamlNode*, const YamlNode*> targets_;
};

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
// alias's tag and comments. Each alias is replaced by the definition it
// stands for in `targets`. Limits as for expand_copy.
YamlNode detach_copy(const YamlNode& node, const AliasTargets& targets, std::uint32_t depth, std::uint64_t& budget);

// A copy of `node`, a node of `roots`, that reads alone as it reads in
// place: an alias that stands for a definition outside `node` is, at the
// first alias of that definition in document order, replaced by a copy of
// the definition, anchor included and its own aliases treated alike, and
// keeps the alias's comments; the later aliases of the definition stay
// aliases of that copy. Everything else is copied as it is. Linear in
// `node` and the definitions copied.
//
//     a: &x 1      the copy of b: {c: &x 1, d: *x}
//     b: {c: *x, d: *x}
YamlNode standalone_copy(const YamlNode& node, std::span<const YamlNode> roots);

// Calls `visitor` on each child of `node` that a path can address, with
// `path` extended by the child's step: the items of a sequence, and the
// values that Key steps name (addressable_entries). It stops when the
// visitor returns true and says so. Keys, and values behind other keys or
// behind a key that a later entry repeats, are skipped.
bool walk_with_path(const YamlNode& node, Path& path,
                    const std::function<bool(const YamlNode& child, Path& path)>& visitor);

// Path of the first node in the first document that carries `name`, in
// pre-order over the addressable nodes; none when there is none.
std::optional<Path> anchor_path(std::span<const YamlNode> roots, std::string_view name);

// The path in `roots[root]` of the definition that `alias`, a node of the
// trees, stands for (as AliasTargets reads it); none when `alias` is not an
// Alias with a definition, or the definition is not addressable in that
// document.
std::optional<Path> alias_target_path(std::span<const YamlNode> roots, std::size_t root, const YamlNode& alias);

// Paths, relative to `node`, of every Alias at or below it that stands for
// `definition`, in document order.
std::vector<Path> alias_paths(const YamlNode& node, const YamlNode& definition, const AliasTargets& targets);

// Path from `root` to `node` when `node` is `root` or an addressable node
// below it (an item, or the value of a Scalar key); none otherwise.
std::optional<Path> path_to_node(const YamlNode& root, const YamlNode& node);

// (name, path relative to `node`) of every anchored node at or below it, in
// pre-order; a name defined twice appears twice.
std::vector<std::pair<std::string, Path>> list_anchors(const YamlNode& node);

}  // namespace quillmere::roundtrip

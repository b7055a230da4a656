// What a tree scalar means: the resolver applied to a YamlNode.
//
// The tree keeps scalars as written; the meaning is settled when a pass
// needs it, under the load's ResolveMode, with the node's text, "quoted"
// for every style but plain, and its tag as written:
//
//     Scalar "5" Plain                 ->  Int 5
//     Scalar "5" SingleQuoted          ->  Str
//     Scalar "yes" Plain, Yaml11       ->  Bool true
//     Null with tag "!!str"            ->  Str (the empty text under its tag)
//     Scalar "<<" Plain                ->  Merge
//
// A text that its explicit core tag cannot read ("!!int abc") is Invalid,
// which the plain road refuses; the passes here read it as a string.
#pragma once

#include <string>
#include <string_view>

#include "resolver/resolver.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

// The reading of a Scalar node, or of a Null node (untagged: Null; tagged:
// the empty text resolved by its tag, as the plain road reads "a: !!str").
// Any other node reads as Null.
resolver::ResolvedScalar resolve_node_scalar(const YamlNode& node, resolver::ResolveMode mode);

// The text of a node that reads as BigInt, as the plain road keeps it: the
// text as written, or for an integer written in another base than ten its
// decimal digits (made in `storage`).
std::string_view node_big_integer_text(const YamlNode& node, resolver::ResolveMode mode, std::string& storage);

// A mapping key that carries out a merge: a scalar that reads as Merge, or
// an empty key under a tag that reads so.
bool is_merge_key(const YamlNode& key, resolver::ResolveMode mode);

}  // namespace quillmere::roundtrip

// Checks of composed round-trip trees, and the YAML 1.1 to 1.2 upgrade.
//
// A round-trip tree keeps every mapping pair, repeated keys included, so
// duplicates are found by comparing canonical key texts: two keys are the
// same when they become one entry of a Python dict, an alias standing for
// the node it refers to.
//
//     {1: a, 1.0: b}           duplicate (1 == 1.0)
//     {true: a, 1: b}          duplicate (True == 1)
//     {"1": a, 1: b}           two keys
//     {yes: a, true: b}        duplicate under the 1.1 rules only
//     {&x k: a, *x : b}        duplicate (*x is k)
//
// The 1.1 warnings name every plain scalar that the 1.1 and 1.2 rules read
// as different types, and the upgrade rewrites such scalars so that they
// read under the 1.2 rules as they did under the 1.1 rules:
//
//     yes -> true   010 -> 8   1:30 -> 90   1_000.5 -> 1000.5   0o17 -> "0o17"
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/located_error.h"
#include "resolver/resolver.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

using resolver::ResolveMode;

// The first repeated key of `tree` in document order, as "duplicate mapping
// key: {}" at the repeated key, or none. Merge keys never count.
std::optional<LocatedError> first_duplicate_key(const YamlNode& tree, ResolveMode mode);
std::optional<LocatedError> check_duplicate_keys(std::span<const YamlNode> roots, ResolveMode mode);

// One warning per repeated key, with the repeated key's position.
void duplicate_key_warnings(const YamlNode& tree, ResolveMode mode, std::vector<std::string>& warnings);
std::vector<std::string> collect_duplicate_key_warnings(std::span<const YamlNode> roots, ResolveMode mode);

// One warning per scalar that the 1.1 rules of `mode` read as another type
// than the 1.2 rules do (none under Core12).
void yaml11_warnings(const YamlNode& tree, ResolveMode mode, std::vector<std::string>& warnings);
std::vector<std::string> collect_yaml11_warnings(std::span<const YamlNode> roots, ResolveMode mode);

// Rewrites the plain scalars of `tree` in place so that the 1.2 rules read
// them as `mode` did, marking each rewritten node modified.
void upgrade_1_1(YamlNode& tree, ResolveMode mode);

// The upgrade of a whole stream: every tree rewritten, and the "%YAML"
// line of every document dropped, as the documents now read by the 1.2
// rules. A later document that had one is marked modified, so that it is
// written without it; the first one's gives way to the "%YAML 1.2" header
// that serialisation puts in front.
void upgrade_stream_1_1(std::span<YamlNode> roots, ResolveMode mode);

}  // namespace quillmere::roundtrip

// The results of loads built from round-trip trees: plain, as the plain
// road builds them, or annotated with where every value came from.
//
// The directive road composes the text into YamlNode trees and resolves
// its directives in them; the annotated road composes it so that values
// can carry positions. Either way the result is the plain road's data for
// the same text and options: scalars resolve alike (tags expanded by the
// document's %TAG handles), custom tags go to the caller's tag callables,
// merge keys are applied, collection keys become tuples, and a repeated key
// keeps its first position and its last value:
//
//     base: &b {x: 1, y: 2}        {"base": {"x": 1, "y": 2},
//     m: {<<: *b, y: 3}             "m": {"y": 3, "x": 1}}
//
// Annotated, every mapping is a QuillmereAnnotatedDict, every sequence a
// QuillmereAnnotatedList, every string (with annotate_numbers every int
// and float too) an instance of the package's annotated scalar classes,
// each carrying its file, 1-based start and end lines and columns, byte
// range and the directive or custom tag that produced it; they compare
// equal to their plain values. For "a: b" the value is made by
//
//     QuillmereAnnotatedStr("b", 1, 4, None, 1, 5, "plain", None, None, 3, 4)
//
// Values merged into a mapping keep the positions of where they are
// written. An alias is the very object made for its anchor, which carries
// the anchor's positions.
#pragma once

#include <Python.h>

#include <span>
#include <string>

#include "py/ref.h"
#include "resolver/resolver.h"
#include "results/convert/custom_tags.h"
#include "results/tree_values.h"
#include "roundtrip/ast.h"

namespace quillmere::results {

// The plain result of one document root. Null with the Python error set:
// a tag callable's exception, QuillmereDecodeError for a key Python cannot
// hash, QuillmereParseError for an unknown alias or a text that its core
// tag cannot read, a signal's exception.
py::ref tree_to_python(const roundtrip::YamlNode& node, resolver::ResolveMode mode, const DecodeContext& context,
                       std::span<const std::string> file_names, AliasCache& cache);

// The annotated result of one document root. `file_names` are the paths of
// the load's sources by file_id (empty without directives: no value then
// has a file). Errors as for tree_to_python, and those of looking up and
// calling the annotated scalar classes.
py::ref annotate_tree(const roundtrip::YamlNode& node, std::span<const std::string> file_names,
                      resolver::ResolveMode mode, const DecodeContext& context, bool annotate_numbers,
                      AliasCache& cache);

}  // namespace quillmere::results

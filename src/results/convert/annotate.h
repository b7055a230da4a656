// Annotated results straight from the text: the parser's third builder.
//
// The annotated road needs, of every node, its value and where it was
// written; a text that no directive reshapes needs no round-trip tree for
// that. This builder takes the parser's steps (the grammar of the plain
// road's decoder and of the composer) and makes the Python objects of the
// result at once, each annotated with its place:
//
//     a: [b, *x]      ->  QuillmereAnnotatedDict at 1:1
//                           "a"  QuillmereAnnotatedStr at 1:1
//                           [..] QuillmereAnnotatedList at 1:4
//
// What it makes is what annotate_tree makes of the composed tree: the same
// values (the plain road's data), the same positions (the composer's rules
// for where nodes start and end), the same provenance. It also fails as
// the plain road's decoder fails on the same text: its syntax errors, its
// text that a core tag cannot read, its alias budget. An alias is the very
// object made for its anchor.
//
// The interpreter lock is held throughout: the objects are made as the
// text is read.
#pragma once

#include <Python.h>

#include <span>
#include <string>
#include <string_view>

#include "py/ref.h"
#include "resolver/resolver.h"
#include "results/convert/custom_tags.h"

namespace quillmere::results {

struct AnnotateOptions {
    resolver::ResolveMode mode = resolver::ResolveMode::Core12;
    bool annotate_numbers = false;
    // By file_id: the root text is source 0 (its name, or none).
    std::span<const std::string> file_names;
};

// The annotated value of the first document, None for a stream without
// one; null with the Python error set.
py::ref annotate_first_document(std::string_view text, const AnnotateOptions& options, const DecodeContext& context);

// The annotated value of every document, as a list.
py::ref annotate_documents(std::string_view text, const AnnotateOptions& options, const DecodeContext& context);

}  // namespace quillmere::results

// Custom tags on the way to Python: the caller's tag callables, or a
// QuillmereTag that keeps the tag.
//
// Every road that builds results (from Value trees, from round-trip trees,
// straight from the parser) converts a tagged node's value first and then
// hands it here with its tag:
//
//     loads("p: !point [1, 2]", tags={"!point": tuple})     tags["!point"]([1, 2])
//     loads("p: !point [1, 2]", tag_handler=f)               f("!point", [1, 2])
//     loads("p: !point [1, 2]", option=OPT_PASSTHROUGH_TAG)  QuillmereTag("!point", [1, 2])
//     loads("p: !point [1, 2]")                              [1, 2]
#pragma once

#include <Python.h>

#include <string_view>

#include "py/ref.h"

namespace quillmere::results {

// The per-call settings for custom tags; borrowed from the load call, which
// holds the objects for as long as the context is used.
struct DecodeContext {
    PyObject* tags = nullptr;         // dict of tag text -> callable, or null
    PyObject* tag_handler = nullptr;  // callable(tag, value), or null
    bool passthrough_tag = false;     // OPT_PASSTHROUGH_TAG
};

// The custom-tag dispatch for an already converted `value`: the `tags`
// entry, else `tag_handler`, else a QuillmereTag under passthrough, else
// the value itself.
py::ref tagged_to_python(std::string_view tag, PyObject* value, const DecodeContext& context);

}  // namespace quillmere::results

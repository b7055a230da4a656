// Value to Python: the conversion of decoded documents.
//
// The fast load roads decode YAML text into Value trees (the lock released)
// and hand each finished document to `value_to_python`, which builds the
// object graph the caller gets back:
//
//     Null -> None        Bool -> bool        Int -> int      BigInt -> int (or str)
//     Float -> float      String -> str       Sequence -> list
//     Mapping -> dict     (String keys: one str per distinct text and
//                          document, interned where that leaves it mortal,
//                          and then the short ones kept for later loads;
//                          Sequence and Mapping keys: tuples)
//     Tagged -> whatever the caller's tag callables make of the converted value
//
// Every step into a child goes through with_stack_guard, so a document of
// any depth that the decoder accepts converts on any thread, and pending
// signals are checked every few thousand nodes (ffi/signals.h).
#pragma once

#include <Python.h>

#include <string_view>

#include "model/value.h"
#include "ffi/ref.h"

namespace quillmere::ffi {

// The per-call settings for custom tags; borrowed from the load call, which
// holds the objects for as long as the context is used.
struct DecodeContext {
    PyObject* tags = nullptr;         // dict of tag text -> callable, or null
    PyObject* tag_handler = nullptr;  // callable(tag, value), or null
    bool passthrough_tag = false;     // OPT_PASSTHROUGH_TAG
};

// The Python object for one document, with its own key cache; null with
// the Python error set on failure.
py::ref value_to_python(const Value& value, const DecodeContext& context);

// The custom-tag dispatch for an already converted `value`: the `tags`
// entry, else `tag_handler`, else a QuillmereTag under passthrough, else
// the value itself.
py::ref tagged_to_python(std::string_view tag, PyObject* value, const DecodeContext& context);

// A decimal integer text (underscores allowed) as int; when it is no
// decimal integer, or has more digits than the interpreter's limit for
// converting text to int, the text without underscores as str.
py::ref big_int_to_python(std::string_view text);

}  // namespace quillmere::ffi

// QuillmereTag: a custom-tagged YAML value that no tag callable handled.
//
// Under OPT_PASSTHROUGH_TAG loading returns one in place of dropping the
// tag, and dumps writes one back as the tag followed by its value:
//
//     loads("!point [1, 2]", option=OPT_PASSTHROUGH_TAG)
//         -> QuillmereTag('!point', ...)   with .tag "!point", .value [1, 2]
//
// An immutable pair of the tag text (owned UTF-8) and any Python object,
// known to the garbage collector.
#pragma once

#include <Python.h>

#include <string_view>

#include "py/borrow.h"
#include "py/ref.h"

namespace quillmere::results {

struct TagObject {
    PyObject_HEAD
    char* tag;  // owned, PyMem_Malloc'ed, NUL-terminated
    Py_ssize_t tag_size;
    PyObject* value;  // strong reference; null once the collector has cleared the tag
    py::BorrowFlag borrow;
};

// A new instance of `type` (the QuillmereTag type) holding a copy of `tag`
// and a new reference to `value`; null with the error set on failure.
py::ref new_tag_object(PyTypeObject* type, std::string_view tag, PyObject* value);

// The QuillmereTag type (borrowed) from its cell, or null with the internal
// fault set (py/types/types.h); and its creator, for the exec step.
PyTypeObject* tag_type();
PyObject* create_tag_type();

}  // namespace quillmere::results

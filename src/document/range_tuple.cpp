#include "document/range_tuple.h"

namespace quillmere::document {

using roundtrip::YamlNode;

py::ref range_tuple(const YamlNode& node) {
    const unsigned long long parts[4] = {
        node.span.line + 1ULL,
        node.span.column + 1ULL,
        node.end_line + 1ULL,
        node.end_column + 1ULL,
    };
    py::ref tuple = py::ref::steal(PyTuple_New(4));
    if (!tuple) return {};
    for (Py_ssize_t i = 0; i < 4; ++i) {
        // PyTuple_SET_ITEM steals the new int.
        PyObject* number = PyLong_FromUnsignedLongLong(parts[i]);
        if (number == nullptr) return {};
        PyTuple_SET_ITEM(tuple.get(), i, number);
    }
    return tuple;
}

}  // namespace quillmere::document

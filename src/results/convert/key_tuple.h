// Collections used as mapping keys become nested tuples: a sequence the
// tuple of its items, a mapping the tuple of its (key, value) pairs. The
// plain road's Value trees and the round-trip trees share this shape;
// `element` converts one child (and guards the stack), returning a new
// reference or null with the Python error set.
#pragma once

#include <Python.h>

#include <cstddef>

#include "py/ref.h"

namespace quillmere::results {

template <class Items, class Element>
py::ref items_key_tuple(const Items& items, Element&& element) {
    py::ref tuple = py::ref::steal(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
    if (!tuple) return {};
    for (std::size_t i = 0; i < items.size(); ++i) {
        py::ref item = element(items[i]);
        if (!item) return {};
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item.release());  // stolen
    }
    return tuple;
}

template <class Pairs, class Element>
py::ref pairs_key_tuple(const Pairs& pairs, Element&& element) {
    py::ref tuple = py::ref::steal(PyTuple_New(static_cast<Py_ssize_t>(pairs.size())));
    if (!tuple) return {};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        py::ref key = element(pairs[i].key);
        if (!key) return {};
        py::ref item = element(pairs[i].value);
        if (!item) return {};
        PyObject* entry = PyTuple_Pack(2, key.get(), item.get());
        if (!entry) return {};
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), entry);  // stolen
    }
    return tuple;
}

}  // namespace quillmere::results

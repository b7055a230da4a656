// The wrapper around every entry point from Python.
//
// No C++ exception may unwind into the interpreter. Module functions,
// methods, getters and slots run their body through `guarded`, which turns
// an escaping exception into a raised Python exception carrying its message
// (MemoryError for an allocation failure, SystemError for anything else);
// deallocation bodies run through `guarded_unraisable`, which reports such a
// fault through the interpreter's unraisable-exception hook instead.
//
// A walk that ran out of memory on a fresh stack (common/stack_guard.h)
// leaves a record on the thread instead of an exception; `guarded` takes it
// when the body returns, drops whatever the body made of the cut-short walk
// and raises MemoryError. So the record never outlives the call that made it.
// A call that Python code makes while an enclosing call's walk is cut short
// (a finalizer that runs as that walk's objects are released) sees nothing
// of the enclosing record, which is put back when it returns; deallocation
// bodies leave the record alone.
//
// `as_method` gives a fast-call entry point the function type that a
// PyMethodDef holds.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <type_traits>

#include "common/stack_guard.h"
#include "py/errors.h"

namespace quillmere::py {

namespace detail {

// The body's result, or `failure` with an escaping exception raised.
template <class R, class F>
R catch_exceptions(R failure, F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_fault(e.what());
    } catch (...) {
        raise_fault("unexpected C++ exception");
    }
    return failure;
}

}  // namespace detail

template <class R, class F>
R guarded(R failure, F&& body) noexcept {
    NestedWalkScope scope;
    R result = detail::catch_exceptions(failure, static_cast<F&&>(body));
    if (!take_out_of_memory()) return result;
    if constexpr (std::is_same_v<R, PyObject*>) Py_XDECREF(result);
    PyErr_Clear();
    PyErr_NoMemory();
    return failure;
}

// Takes the record of a walk that ran out of memory, as `guarded` would, for
// a caller that would otherwise go on with the walk's cut-short result: true
// with MemoryError raised when there is one.
inline bool raise_if_out_of_memory() {
    if (!take_out_of_memory()) return false;
    PyErr_NoMemory();
    return true;
}

template <class F>
PyObject* guarded(F&& body) noexcept {
    return guarded(static_cast<PyObject*>(nullptr), static_cast<F&&>(body));
}

template <class F>
void guarded_unraisable(PyObject* obj, F&& body) noexcept {
    const bool failed = detail::catch_exceptions(false, [&] {
        body();
        return true;
    }) == false;
    if (failed) PyErr_WriteUnraisable(obj);
}

// A PyMethodDef entry point of the fast-call-with-keywords shape.
using FastFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

inline PyCFunction as_method(FastFunction fn) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace quillmere::py

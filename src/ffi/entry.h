// The wrapper around every entry point from Python.
//
// No C++ exception may unwind into the interpreter. Module functions,
// methods, getters and slots run their body through `guarded`, which turns
// an escaping exception into a raised Python exception carrying its message
// (MemoryError for an allocation failure, SystemError for anything else);
// deallocation bodies run through `guarded_unraisable`, which reports such a
// fault through the interpreter's unraisable-exception hook instead.
#pragma once

#include <Python.h>

#include <exception>
#include <new>

#include "ffi/errors.h"

namespace quillmere::ffi {

template <class R, class F>
R guarded(R failure, F&& body) noexcept {
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

template <class F>
PyObject* guarded(F&& body) noexcept {
    return guarded(static_cast<PyObject*>(nullptr), static_cast<F&&>(body));
}

template <class F>
void guarded_unraisable(PyObject* obj, F&& body) noexcept {
    const bool failed = guarded(false, [&] {
        body();
        return true;
    }) == false;
    if (failed) PyErr_WriteUnraisable(obj);
}

}  // namespace quillmere::ffi

// py::ref: the one owning reference to a Python object on the Python side.
//
// Conventions of every function in src/py, src/results, src/document and
// src/module: parameters are borrowed (`PyObject*` or `const py::ref&`),
// results are owned (`py::ref`). A ref is made explicitly, either by
// stealing a new reference that a C-API call returned or by borrowing an
// existing one (which takes a new reference):
//
//     py::ref s = py::ref::steal(PyUnicode_FromString("a"));   // owns the new str
//     py::ref t = py::ref::borrow(Py_None);                    // Py_INCREF(None)
//     PyList_SET_ITEM(list, 0, s.release());                   // the list steals it
//
// It is move-only, never converts to `PyObject*` on its own (`get()` borrows
// the pointer, `release()` hands the reference over) and releases what it
// holds when it goes out of scope. A null ref means "no object": almost
// always a Python error is then set.
#pragma once

#include <Python.h>

#include <utility>

namespace quillmere::py {

class ref {
public:
    ref() noexcept = default;
    ref(const ref&) = delete;
    ref& operator=(const ref&) = delete;
    ref(ref&& other) noexcept : obj_(other.obj_) { other.obj_ = nullptr; }
    ref& operator=(ref&& other) noexcept {
        if (this != &other) {
            PyObject* old = obj_;
            obj_ = other.obj_;
            other.obj_ = nullptr;
            Py_XDECREF(old);
        }
        return *this;
    }
    ~ref() { Py_XDECREF(obj_); }

    // Takes over a new reference (null allowed).
    [[nodiscard]] static ref steal(PyObject* obj) noexcept { return ref(obj); }
    // Takes a new reference to a borrowed object (null allowed).
    [[nodiscard]] static ref borrow(PyObject* obj) noexcept {
        Py_XINCREF(obj);
        return ref(obj);
    }

    PyObject* get() const noexcept { return obj_; }
    // Hands the reference to the caller, for APIs that steal.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
    void reset() noexcept { Py_CLEAR(obj_); }

    explicit operator bool() const noexcept { return obj_ != nullptr; }

private:
    explicit ref(PyObject* obj) noexcept : obj_(obj) {}
    PyObject* obj_ = nullptr;
};

// A new reference to None, True or False.
inline ref none() { return ref::borrow(Py_None); }
inline ref boolean(bool b) { return ref::borrow(b ? Py_True : Py_False); }

}  // namespace quillmere::py

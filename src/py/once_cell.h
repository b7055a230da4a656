// OnceCell: a process-wide slot for one Python object, filled on first use.
//
// The module keeps its type objects, the package's exception classes and the
// annotated scalar classes in cells like this one. Every request comes with
// the interpreter lock held; filling may run Python code (an import, type
// creation) that lets other threads in, so the cell tracks who is filling it:
//
//   - filled: the stored object is returned at once;
//   - being filled by another thread: wait for that thread with the
//     interpreter lock released, then look again (the filler needs the lock
//     to finish, so holding it while waiting would deadlock);
//   - being filled by this very thread (the fill ran Python code that asked
//     for the same cell, for instance package import code calling loads):
//     run the fill again, nested; whichever fill finishes first is stored
//     and the other result is dropped, so nothing ever waits on itself.
//
// A fill that fails leaves the cell empty, with its Python error set, and
// the next request tries again. Once filled, a cell is never emptied: the
// stored reference lives until the process ends.
#pragma once

#include <Python.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "py/ref.h"

namespace quillmere::py {

class OnceCell {
public:
    OnceCell() = default;
    OnceCell(const OnceCell&) = delete;
    OnceCell& operator=(const OnceCell&) = delete;

    // The stored object (borrowed), filling the cell with `fill()` first
    // when it is empty. `fill` returns a new reference, or null with a
    // Python error set; then the result is null with that error.
    template <class Fill>
    PyObject* get(Fill&& fill) {
        if (PyObject* value = value_.load(std::memory_order_acquire)) return value;
        return get_slow(fill);
    }

    // The stored object, or null when the cell is empty.
    PyObject* peek() const { return value_.load(std::memory_order_acquire); }

private:
    template <class Fill>
    PyObject* get_slow(Fill& fill) {
        const auto self = std::this_thread::get_id();
        bool owner = false;
        for (;;) {
            std::unique_lock lock(mutex_);
            if (PyObject* value = value_.load(std::memory_order_acquire)) return value;
            if (!filling_) {
                filling_ = true;
                filler_ = self;
                owner = true;
                break;
            }
            if (filler_ == self) break;  // nested fill on this thread
            lock.unlock();
            wait_for_filler();
        }

        py::ref made = fill();

        py::ref surplus;
        PyObject* result;
        {
            std::lock_guard lock(mutex_);
            PyObject* stored = value_.load(std::memory_order_acquire);
            if (!stored && made) {
                stored = made.release();  // the cell owns it from here on
                value_.store(stored, std::memory_order_release);
            } else {
                surplus = std::move(made);
            }
            result = stored;
            if (owner) {
                filling_ = false;
                filled_.notify_all();
            }
        }
        // A fill that lost the race is released outside the lock, since its
        // deallocation may run Python code.
        surplus.reset();
        if (result && PyErr_Occurred()) PyErr_Clear();  // only a losing fill can have failed
        return result;
    }

    // Waits without the interpreter lock until no thread is filling.
    void wait_for_filler() {
        Py_BEGIN_ALLOW_THREADS
        {
            std::unique_lock lock(mutex_);
            filled_.wait(lock, [this] { return !filling_ || value_.load(std::memory_order_acquire); });
        }
        Py_END_ALLOW_THREADS
    }

    std::atomic<PyObject*> value_{nullptr};
    std::mutex mutex_;
    std::condition_variable filled_;
    bool filling_ = false;
    std::thread::id filler_{};
};

}  // namespace quillmere::py

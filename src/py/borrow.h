// The borrow flag of the module's instances.
//
// A signed word per instance: 0 free, a positive count of shared borrows,
// -1 while one exclusive borrow is held. It is changed atomically, so a read
// that runs while the object is being mutated (or a mutation during any
// other use, for instance from Python code that a conversion calls) is
// refused with a RuntimeError instead of seeing a half-changed object.
#pragma once

#include <Python.h>

#include <atomic>

namespace quillmere::py {

using BorrowFlag = std::atomic<Py_ssize_t>;

class Borrow {
public:
    // A shared borrow; refused while an exclusive one is held, with
    // RuntimeError "Already mutably borrowed".
    static Borrow shared(BorrowFlag& flag) {
        Py_ssize_t seen = flag.load(std::memory_order_relaxed);
        while (seen >= 0) {
            if (flag.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire)) return Borrow(&flag, false);
        }
        PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
        return Borrow(nullptr, false);
    }
    // An exclusive borrow; refused while any borrow is held, with
    // RuntimeError "Already borrowed".
    static Borrow exclusive(BorrowFlag& flag) {
        Py_ssize_t expected = 0;
        if (flag.compare_exchange_strong(expected, -1, std::memory_order_acquire)) return Borrow(&flag, true);
        PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        return Borrow(nullptr, false);
    }

    // No borrow: a placeholder for one not taken because an earlier one was
    // refused (its error is already set).
    static Borrow none() { return Borrow(nullptr, false); }

    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    Borrow(Borrow&& other) noexcept : flag_(other.flag_), exclusive_(other.exclusive_) { other.flag_ = nullptr; }
    ~Borrow() {
        if (!flag_) return;
        if (exclusive_) {
            flag_->store(0, std::memory_order_release);
        } else {
            flag_->fetch_sub(1, std::memory_order_release);
        }
    }

    bool ok() const { return flag_ != nullptr; }

private:
    Borrow(BorrowFlag* flag, bool exclusive) : flag_(flag), exclusive_(exclusive) {}
    BorrowFlag* flag_;
    bool exclusive_;
};

}  // namespace quillmere::py

// Releasing the interpreter lock for a stretch of engine work.
//
//     {
//         GilRelease unlocked;          // no Python object may be touched here
//         result = decode_documents(text, options);
//     }                                 // the lock is taken again, also when unwinding
#pragma once

#include <Python.h>

namespace quillmere::py {

class GilRelease {
public:
    GilRelease() : state_(PyEval_SaveThread()) {}
    GilRelease(const GilRelease&) = delete;
    GilRelease& operator=(const GilRelease&) = delete;
    ~GilRelease() { PyEval_RestoreThread(state_); }

private:
    PyThreadState* state_;
};

}  // namespace quillmere::py

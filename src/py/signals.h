// Signal checks during long conversions.
//
// A conversion between Python objects and Value trees runs C code only, for
// as long as its input is large, and the interpreter runs its signal
// handlers only between Python instructions. Each conversion therefore asks
// for them itself every few thousand nodes, so that Ctrl-C (the handler's
// KeyboardInterrupt) ends a long loads or dumps promptly; the conversion
// then fails like any other and releases what it made.
#pragma once

#include <Python.h>

#include <cstdint>

namespace quillmere::py {

class SignalCheck {
public:
    // Counts one node; false, with the handler's exception set, when a
    // signal handler raised. Handlers are Python code: a caller that must
    // not run any just now tests `due` first.
    bool tick() {
        if (--countdown_ != 0) return true;
        countdown_ = kInterval;
        return PyErr_CheckSignals() == 0;
    }
    // Whether one of the next two ticks (a key's and its value's) checks.
    bool due() const { return countdown_ <= 2; }

private:
    // Nodes between checks: the check is cheap, a node takes tens of
    // nanoseconds, so a pending signal waits well under a millisecond.
    static constexpr std::uint32_t kInterval = 4096;
    std::uint32_t countdown_ = kInterval;
};

}  // namespace quillmere::py

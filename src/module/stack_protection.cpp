// Python's own stack watch, kept in step with the engine's fresh stacks.
//
// From 3.14 on, CPython decides that the C stack is about to overflow by
// comparing the stack pointer with the bounds of the thread's stack. A
// conversion that calls Python code (a tag callable, `default`) from deep
// inside a walk may be running on one of the stacks that with_stack_guard
// maps, far outside those bounds. Where the interpreter offers
// PyUnstable_ThreadState_SetStackProtection (3.14.1 and later; looked up at
// run time, since 3.14.0 lacks it), every switch onto a fresh stack and back
// tells it which stack the thread is on. Walks that run without the
// interpreter lock have no thread state and need no telling.
#include <Python.h>
#include <dlfcn.h>

#include <cstddef>

#include "common/stack_guard.h"
#include "module/functions.h"

namespace quillmere::module {

#if PY_VERSION_HEX >= 0x030E0000

namespace {

using SetProtection = int (*)(PyThreadState*, void*, std::size_t);
using ResetProtection = void (*)(PyThreadState*);

SetProtection set_protection = nullptr;
ResetProtection reset_protection = nullptr;

void stack_entered(void* base, std::size_t size) {
    PyThreadState* tstate = PyThreadState_GetUnchecked();
    if (tstate == nullptr) return;
    if (set_protection(tstate, base, size) < 0) PyErr_Clear();
}

void stack_left(void* base, std::size_t size) {
    PyThreadState* tstate = PyThreadState_GetUnchecked();
    if (tstate == nullptr) return;
    if (base == nullptr) {
        reset_protection(tstate);
    } else if (set_protection(tstate, base, size) < 0) {
        PyErr_Clear();
    }
}

}  // namespace

void install_stack_protection_hooks() {
    set_protection = reinterpret_cast<SetProtection>(dlsym(RTLD_DEFAULT, "PyUnstable_ThreadState_SetStackProtection"));
    reset_protection =
        reinterpret_cast<ResetProtection>(dlsym(RTLD_DEFAULT, "PyUnstable_ThreadState_ResetStackProtection"));
    if (set_protection && reset_protection) set_fresh_stack_hooks(FreshStackHooks{stack_entered, stack_left});
}

#else

// Before 3.14 the interpreter counts C recursion instead of watching the
// stack, so fresh stacks are invisible to it.
void install_stack_protection_hooks() {}

#endif

}  // namespace quillmere::module

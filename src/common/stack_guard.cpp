// Fresh stacks for deep recursion.
//
// The limit of the thread's own stack comes from pthread_getattr_np, read
// once per thread. A fresh stack is an anonymous mapping with a guard page at
// its low end; the walk switches onto it with swapcontext and back when the
// body returns. While it runs, the thread's limit is the fresh stack's, so
// nested guards measure against the stack they are really on. A mapping
// that fails is the walk's out-of-memory failure, recorded per thread until
// the walk's caller takes it.
//
// Released stacks are kept per thread for reuse, because a walk that hovers
// around a threshold would otherwise map and unmap a stack (and fault in its
// pages) for every sibling; once the walk is back on the thread's own stack,
// all but one are unmapped.
#include "common/stack_guard.h"

#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <utility>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QM_ASAN 1
#endif

#ifdef QM_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace quillmere::detail {
namespace {

std::uintptr_t thread_stack_limit() {
    pthread_attr_t attr;
    void* addr = nullptr;
    std::size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        pthread_attr_getstack(&attr, &addr, &size);
        pthread_attr_destroy(&attr);
    }
    if (addr == nullptr) {
        // Unknown bounds: assume the smallest common thread stack below here.
        auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
        return here - 256 * 1024;
    }
    // The lowest page of a thread stack is usually its guard page.
    return reinterpret_cast<std::uintptr_t>(addr) + static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
}

constexpr int kMaxSpareStacks = 4;

struct SpareStacks {
    void* bases[kMaxSpareStacks] = {};
    int count = 0;
    int in_use = 0;  // fresh stacks the thread is running on, nested
    ~SpareStacks() { trim(0); }
    void trim(int keep) {
        while (count > keep) munmap(bases[--count], kFreshStackSize);
    }
};

thread_local SpareStacks t_spare;

struct Trampoline {
    void (*fn)(void*) noexcept;
    void* context;
    ucontext_t caller;
    void* stack = nullptr;
    std::uintptr_t saved_limit = 0;
    Trampoline* saved_trampoline = nullptr;
#ifdef QM_ASAN
    void* fake_stack = nullptr;
    const void* caller_bottom = nullptr;
    std::size_t caller_size = 0;
#endif
};

thread_local Trampoline* t_trampoline = nullptr;

thread_local bool t_out_of_memory = false;

FreshStackHooks g_hooks;

void trampoline_entry() {
    Trampoline* t = t_trampoline;
#ifdef QM_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &t->caller_bottom, &t->caller_size);
#endif
    if (g_hooks.entered) g_hooks.entered(t->stack, kFreshStackSize);
    t->fn(t->context);
    if (g_hooks.left) {
        // The walk goes back to the stack it came from: a fresh one when this
        // guard was nested in another, or the thread's own.
        const Trampoline* outer = t->saved_trampoline;
        g_hooks.left(outer ? outer->stack : nullptr, outer ? kFreshStackSize : 0);
    }
#ifdef QM_ASAN
    __sanitizer_start_switch_fiber(nullptr, t->caller_bottom, t->caller_size);
#endif
    // Returning resumes uc_link, the caller's context.
}

// A stack, or null when none can be mapped.
void* map_stack() {
    if (t_spare.count > 0) {
        ++t_spare.in_use;
        return t_spare.bases[--t_spare.count];
    }
    void* base = mmap(nullptr, kFreshStackSize, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    if (mprotect(base, static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), PROT_NONE) != 0) {
        munmap(base, kFreshStackSize);
        return nullptr;
    }
    ++t_spare.in_use;
    return base;
}

void release_stack(void* base) {
    --t_spare.in_use;
    if (t_spare.count < kMaxSpareStacks)
        t_spare.bases[t_spare.count++] = base;
    else
        munmap(base, kFreshStackSize);
    if (t_spare.in_use == 0) t_spare.trim(1);
}

}  // namespace

bool out_of_memory() { return t_out_of_memory; }
void note_out_of_memory() { t_out_of_memory = true; }

std::uintptr_t read_stack_limit() {
    stack_limit_slot() = thread_stack_limit();
    return stack_limit_slot();
}

bool run_on_fresh_stack(void (*fn)(void*) noexcept, void* context) {
    // Everything that must survive the switch lives in `t`, whose address is
    // taken, so that swapcontext cannot clobber it.
    Trampoline t{fn, context, {}};
    t.stack = map_stack();
    if (t.stack == nullptr) {
        note_out_of_memory();
        return false;
    }
    t.saved_limit = current_stack_limit();
    t.saved_trampoline = t_trampoline;

    ucontext_t callee;
    getcontext(&callee);
    callee.uc_stack.ss_sp = t.stack;
    callee.uc_stack.ss_size = kFreshStackSize;
    callee.uc_link = &t.caller;
    makecontext(&callee, trampoline_entry, 0);

    t_trampoline = &t;
    stack_limit_slot() = reinterpret_cast<std::uintptr_t>(t.stack) + static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
#ifdef QM_ASAN
    __sanitizer_start_switch_fiber(&t.fake_stack, t.stack, kFreshStackSize);
#endif
    swapcontext(&t.caller, &callee);
#ifdef QM_ASAN
    __sanitizer_finish_switch_fiber(t.fake_stack, nullptr, nullptr);
#endif
    stack_limit_slot() = t.saved_limit;
    t_trampoline = t.saved_trampoline;
    release_stack(t.stack);
    return true;
}

}  // namespace quillmere::detail

namespace quillmere {

bool take_out_of_memory() { return std::exchange(detail::t_out_of_memory, false); }

void set_fresh_stack_hooks(FreshStackHooks hooks) { detail::g_hooks = hooks; }

}  // namespace quillmere

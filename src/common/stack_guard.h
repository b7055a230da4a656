// with_stack_guard: run a step of a recursive walk with enough native stack.
//
// Every recursive walk of the engine and of the Python front calls its next
// level through with_stack_guard. While more than 100 KiB of the current
// stack remain, the body runs directly, at the cost of one comparison. When
// 100 KiB or less remain, the body runs on a freshly mapped 32 MiB stack and
// its result is handed back as if it had been called directly; deeper levels
// measure against the new stack, so a walk can go on as deep as memory
// allows.
//
// Running out of memory there never ends the process. A fresh stack that
// cannot be mapped, or an allocation failure (std::bad_alloc) that ends a
// body running on one, is caught on the stack where it happened (no
// exception can travel from one stack to another) and handed back as a
// value in two parts:
//
//   - the guarded call returns the failure value of its result type
//     (`StackFailure<R>`): an error for a Result, value-initialised
//     otherwise (a null reference, an empty optional, 0, false, nothing);
//   - the thread records that its walk ran out of memory. From then on
//     every guarded call that would need a fresh stack returns the failure
//     value at once, so the walk unwinds without further work, until the
//     caller at the top of the walk takes the record with
//     `take_out_of_memory()` and reports the failure in place of the
//     walk's result.
//
// A body may not throw anything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "common/result.h"

namespace quillmere {

inline constexpr std::size_t kStackReserve = 100 * 1024;
inline constexpr std::size_t kFreshStackSize = 32u * 1024 * 1024;

// What a guarded call returns when its walk ran out of memory.
template <class R>
struct StackFailure {
    static R value() { return R{}; }
};
template <>
struct StackFailure<void> {
    static void value() {}
};
template <class T, class E>
struct StackFailure<Result<T, E>> {
    static Result<T, E> value() { return make_err(E{}); }
};

// True when a walk on this thread ran out of memory on a fresh stack since
// the last call; the record is cleared.
[[nodiscard]] bool take_out_of_memory();

namespace detail {
void note_out_of_memory();
}  // namespace detail

// For a walk that may start inside another one (code that an enclosing walk
// calls back into starts a walk of its own): the enclosing walk's record is
// set aside for the scope's life and put back at its end, so that each walk
// takes only its own.
class NestedWalkScope {
public:
    NestedWalkScope() : enclosing_(take_out_of_memory()) {}
    NestedWalkScope(const NestedWalkScope&) = delete;
    NestedWalkScope& operator=(const NestedWalkScope&) = delete;
    ~NestedWalkScope() {
        if (enclosing_) detail::note_out_of_memory();
    }

private:
    bool enclosing_;
};

namespace detail {

// Lowest usable address of the stack the current thread is running on; 0
// until the thread's first guarded call reads its bounds. A function-local
// thread_local with a constant initializer is reached directly, without the
// wrapper calls that an `extern thread_local` costs.
inline std::uintptr_t& stack_limit_slot() {
    static thread_local std::uintptr_t limit __attribute__((tls_model("initial-exec"))) = 0;
    return limit;
}
std::uintptr_t read_stack_limit();

inline std::uintptr_t current_stack_limit() {
    const std::uintptr_t limit = stack_limit_slot();
    return limit != 0 ? limit : read_stack_limit();
}

inline bool stack_is_low() {
    auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    return here - current_stack_limit() <= kStackReserve;
}

// Whether the thread's walk has run out of memory (not cleared).
bool out_of_memory();

// Runs fn(context) on a fresh stack and returns when it has returned; false,
// with nothing run and the failure noted, when no stack could be mapped.
bool run_on_fresh_stack(void (*fn)(void*) noexcept, void* context);

}  // namespace detail

// Told whenever a walk moves onto a fresh stack and back, for runtimes that
// watch the stack themselves. `left` gets the stack the walk returns to: a
// fresh one, or none (null, size 0) for the thread's own.
struct FreshStackHooks {
    void (*entered)(void* base, std::size_t size) = nullptr;
    void (*left)(void* base, std::size_t size) = nullptr;
};
// Installed once, before any walk runs.
void set_fresh_stack_hooks(FreshStackHooks hooks);

template <class F>
auto with_stack_guard(F&& body) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if (!detail::stack_is_low()) return body();
    if (detail::out_of_memory()) return StackFailure<R>::value();
    struct Frame {
        std::remove_reference_t<F>* body;
        std::optional<std::conditional_t<std::is_void_v<R>, bool, R>> result;
    } frame{&body, std::nullopt};
    auto call = [](void* p) noexcept {
        auto* f = static_cast<Frame*>(p);
        try {
            if constexpr (std::is_void_v<R>) {
                (*f->body)();
                f->result.emplace(true);
            } else {
                f->result.emplace((*f->body)());
            }
        } catch (const std::bad_alloc&) {
            detail::note_out_of_memory();
        }
    };
    if (!detail::run_on_fresh_stack(call, &frame) || !frame.result) return StackFailure<R>::value();
    if constexpr (!std::is_void_v<R>) return std::move(*frame.result);
}

}  // namespace quillmere

// with_stack_guard: run a step of a recursive walk with enough native stack.
//
// Every recursive walk of the engine and of the Python front calls its next
// level through with_stack_guard. While more than 100 KiB of the current
// stack remain, the body runs directly, at the cost of one comparison. When
// 100 KiB or less remain, the body runs on a freshly mapped 32 MiB stack and
// its result is handed back as if it had been called directly; deeper levels
// measure against the new stack, so a walk can go on as deep as memory
// allows. The body must not throw: an exception that would leave a fresh
// stack ends the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>

namespace quillmere {

inline constexpr std::size_t kStackReserve = 100 * 1024;
inline constexpr std::size_t kFreshStackSize = 32u * 1024 * 1024;

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

// Runs fn(context) on a fresh stack and returns when it has returned.
void run_on_fresh_stack(void (*fn)(void*) noexcept, void* context);

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
    if constexpr (std::is_void_v<R>) {
        auto call = [](void* p) noexcept { (*static_cast<std::remove_reference_t<F>*>(p))(); };
        detail::run_on_fresh_stack(call, &body);
    } else {
        struct Frame {
            std::remove_reference_t<F>* body;
            std::optional<R> result;
        } frame{&body, std::nullopt};
        auto call = [](void* p) noexcept {
            auto* f = static_cast<Frame*>(p);
            f->result.emplace((*f->body)());
        };
        detail::run_on_fresh_stack(call, &frame);
        return std::move(*frame.result);
    }
}

}  // namespace quillmere

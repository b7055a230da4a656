// Result<T, E>: the value-or-error return type of every engine function.
//
// The engine never throws. A function that can fail returns Result; callers
// test `ok()` and either take `value()` or pass `error()` upward, usually with
// QM_TRY. `Ok{}` stands for success of a Result<void, E>.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>
#include <variant>

namespace quillmere {

struct Ok {};

template <class E>
struct Err {
    E error;
};

template <class E>
Err<std::decay_t<E>> make_err(E&& e) {
    return Err<std::decay_t<E>>{std::forward<E>(e)};
}

template <class T, class E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Err<E> err) : state_(std::in_place_index<1>, std::move(err.error)) {}

    bool ok() const { return state_.index() == 0; }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T& value() const& { return std::get<0>(state_); }
    E& error() & { return std::get<1>(state_); }
    E&& error() && { return std::get<1>(std::move(state_)); }
    const E& error() const& { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

// The success-or-error form. Errors are rare, so the error lives on the
// heap: a successful result is one null pointer to make, test and drop.
template <class E>
class [[nodiscard]] Result<void, E> {
public:
    Result(Ok) noexcept {}
    Result(Err<E> err) : error_(std::make_unique<E>(std::move(err.error))) {}

    bool ok() const { return error_ == nullptr; }
    E& error() & { return *error_; }
    E&& error() && { return std::move(*error_); }
    const E& error() const& { return *error_; }

private:
    std::unique_ptr<E> error_;
};

}  // namespace quillmere

// Evaluates `expr` (a Result); on failure returns its error from the
// enclosing function, which must return a Result with the same error type.
#define QM_TRY(expr)                                                \
    do {                                                            \
        auto qm_try_result_ = (expr);                               \
        if (!qm_try_result_.ok())                                   \
            return ::quillmere::make_err(std::move(qm_try_result_).error()); \
    } while (0)

// Evaluates `expr` (a Result with a value); on failure returns its error
// from the enclosing function, otherwise moves the value into `target`,
// which may be a declaration:
//
//     QM_TRY_ASSIGN(std::string path, confine(...));
#define QM_TRY_ASSIGN(target, expr) QM_TRY_ASSIGN_(QM_TRY_JOIN_(qm_try_value_, __LINE__), target, expr)
#define QM_TRY_JOIN_(a, b) QM_TRY_JOIN2_(a, b)
#define QM_TRY_JOIN2_(a, b) a##b
#define QM_TRY_ASSIGN_(temporary, target, expr)                           \
    auto temporary = (expr);                                              \
    if (!temporary.ok()) return ::quillmere::make_err(std::move(temporary).error()); \
    target = std::move(temporary).value()

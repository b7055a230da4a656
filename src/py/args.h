// Argument binding for the entry points from Python: the module functions
// and the methods of the classes.
//
// Every module function is METH_FASTCALL | METH_KEYWORDS with one shape:
// one required positional-only argument (`data`, `obj` or `doc`) and any
// number of optional keyword-only arguments, where a keyword given as None
// counts as absent:
//
//     loads(data, /, *, option=None, include_dir=None, ...)
//
//     static constexpr const char* kKeywords[] = {"option", "include_dir", ...};
//     static constexpr Signature kSignature{"loads", "data", kKeywords};
//     PyObject* data;
//     PyObject* values[std::size(kKeywords)];
//     if (!parse_arguments(kSignature, args, nargsf, kwnames, data, values)) return nullptr;
//
// Errors are the interpreter's usual TypeErrors for a missing argument, too
// many positional arguments or an unknown keyword.
#pragma once

#include <Python.h>

#include <cstddef>
#include <span>

namespace quillmere::py {

struct Signature {
    const char* function;
    const char* positional;
    std::span<const char* const> keywords;
};

// Fills `first` with the positional argument and `values[i]` with the
// keyword `keywords[i]`, both borrowed; an absent or None keyword is null.
// `values` has room for every keyword. False with a TypeError set on
// failure.
[[nodiscard]] bool parse_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargsf,
                                   PyObject* kwnames, PyObject*& first, PyObject** values);

// The methods of the classes bind like a Python function with plain
// parameters: positional and keyword arguments mixed, the first `required`
// parameters required, the rest optional.
//
//     static constexpr const char* kParameters[] = {"key", "default"};
//     static constexpr MethodSignature kSignature{"get", kParameters, 2};
//     PyObject* values[2];
//     if (!parse_method_arguments(kSignature, args, nargsf, kwnames, values)) return nullptr;
struct MethodSignature {
    const char* method;
    std::span<const char* const> parameters;
    std::size_t required;
};

// Fills `values[i]` (borrowed) with the argument bound to `parameters[i]`,
// null for an optional one not given. False with the interpreter's usual
// TypeError for a missing, surplus, unknown or repeated argument.
[[nodiscard]] bool parse_method_arguments(const MethodSignature& signature, PyObject* const* args, Py_ssize_t nargsf,
                                          PyObject* kwnames, PyObject** values);

}  // namespace quillmere::py

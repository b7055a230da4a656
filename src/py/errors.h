// The bridge from engine errors and warnings to Python.
//
// Below the module front every failure is a returned value and every
// non-fatal finding a collected text. This is where they meet Python:
//
//   - the package's fourteen exception classes, looked up by name in
//     `quillmere.exceptions` the first time each is needed and kept for the
//     life of the process;
//   - located errors (a message and a Span) become instances of those
//     classes with the message "{} at line {}, column {}" and the attributes
//     `file`, `line` and `column` (1-based);
//   - located warnings become their message texts, one at a time as they
//     are logged, and go to the `warning` method of the logger "quillmere";
//   - internal faults (broken invariants, a class that cannot be looked up)
//     become a SystemError carrying the fault's message.
//
// Every function here runs with the interpreter lock held and reports by
// setting the Python error indicator; callers then return null.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include <string>

#include "model/located_error.h"
#include "model/located_warning.h"
#include "py/ref.h"

namespace quillmere::py {

// The looked-up classes, in the order of their cells.
enum class ExceptionClass : std::uint8_t {
    ParseError,
    DecodeError,
    EncodeError,
    EnvVarError,
    SchemaError,
    IncludeError,
    ComplexKeyError,
    DuplicateKeyError,
    IncludeDepthError,
    SecretNotFoundError,
    UnserializableError,
    CircularIncludeError,
    IncludeNotFoundError,
    IncludeConfinementError,
};
inline constexpr int kExceptionClassCount = 14;

// "QuillmereParseError" and so on.
const char* exception_class_name(ExceptionClass which);

// The class (borrowed), or null with the internal fault set when the
// package module or the attribute cannot be had.
PyObject* exception_class(ExceptionClass which);

// A new instance of the class called with `message`: the instance to raise,
// on which attributes may then be set. When the class is not an exception
// class the instance is a TypeError "exceptions must derive from
// BaseException"; when calling it raised, it is that exception. Null only
// for an internal fault, which is then set.
py::ref new_exception(ExceptionClass which, std::string_view message);

// Raises `exception` (an exception instance, consumed).
void raise_exception(py::ref exception);

// Sets `file` (None when absent), `line` and `column` on an instance, each
// on its own; an attribute the instance refuses is skipped.
void set_location_attributes(PyObject* exception, const std::optional<std::string_view>& file, std::uint32_t line,
                             std::uint32_t column);

// A located error as QuillmereParseError, QuillmereDuplicateKeyError or
// QuillmereComplexKeyError by its kind, with its position.
void located_error_to_exception(const LocatedError& error, const std::optional<std::string_view>& file);
void located_error_without_file(LocatedError error);
// The same with the kind fixed whatever the record says: no file for a
// parse error; a duplicate key names `file`, the included file it is in.
void parse_error_to_exception(LocatedError error);
void duplicate_key_error_to_exception(LocatedError error, const std::optional<std::string_view>& file = std::nullopt);

// The conversion errors.
void decode_error();  // QuillmereDecodeError "mapping key is not hashable in Python"
void encode_error(std::string_view message);
void unserializable_error(std::string_view message);

// Hands one finished warning text to logging.getLogger("quillmere").warning.
// Never fails: a failure inside logging is discarded, and an error that was
// pending before the call is kept.
void log_warning(std::string_view text);
// The same for a located warning, as its message text.
void log_warning(const LocatedWarning& warning);
// The message text of a located warning:
//   duplicate mapping key '{}' at line {}, column {}; keeping the last value
//   YAML 1.1 syntax '{}' resolves as {} in 1.1 but {} in 1.2 at line {}, column {}
std::string warning_text(const LocatedWarning& warning);

// An internal fault: SystemError with `message`.
void raise_fault(std::string_view message);

// Adds the note "while processing '{name}'" to the pending exception.
void add_argument_note(const char* name);

// The pending exception, normalised, with the indicator cleared (null when
// none is pending); and the way back.
py::ref fetch_exception();
void restore_exception(py::ref exception);

}  // namespace quillmere::py

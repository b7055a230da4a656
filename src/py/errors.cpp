#include "py/errors.h"

#include <array>
#include <string>

#include "decode/keys.h"
#include "py/once_cell.h"
#include "py/text.h"

namespace quillmere::py {

namespace {

constexpr const char* kExceptionsModule = "quillmere.exceptions";

constexpr std::array<const char*, kExceptionClassCount> kClassNames = {
    "QuillmereParseError",          "QuillmereDecodeError",          "QuillmereEncodeError",
    "QuillmereEnvVarError",         "QuillmereSchemaError",          "QuillmereIncludeError",
    "QuillmereComplexKeyError",     "QuillmereDuplicateKeyError",    "QuillmereIncludeDepthError",
    "QuillmereSecretNotFoundError", "QuillmereUnserializableError",  "QuillmereCircularIncludeError",
    "QuillmereIncludeNotFoundError", "QuillmereIncludeConfinementError",
};

std::array<OnceCell, kExceptionClassCount> class_cells;

// "TypeName: text" of an exception instance, for fault messages.
std::string describe_exception(PyObject* exception) {
    std::string out;
    if (py::ref name = py::ref::steal(PyType_GetName(Py_TYPE(exception)))) {
        if (const char* s = PyUnicode_AsUTF8(name.get())) out = s;
    }
    PyErr_Clear();
    out += ": ";
    if (py::ref text = py::ref::steal(PyObject_Str(exception))) {
        Py_ssize_t size = 0;
        if (const char* s = PyUnicode_AsUTF8AndSize(text.get(), &size)) out.append(s, static_cast<std::size_t>(size));
    }
    PyErr_Clear();
    return out;
}

py::ref import_class(const char* name) {
#if PY_VERSION_HEX >= 0x030E0000
    return py::ref::steal(PyImport_ImportModuleAttrString(kExceptionsModule, name));
#else
    py::ref module = py::ref::steal(PyImport_ImportModule(kExceptionsModule));
    if (!module) return {};
    return py::ref::steal(PyObject_GetAttrString(module.get(), name));
#endif
}

// Fills one class cell; a failure becomes the internal fault.
py::ref look_up_class(const char* name) {
    py::ref cls = import_class(name);
    if (cls) return cls;
    py::ref cause = fetch_exception();
    std::string message = "failed to import exception ";
    message += kExceptionsModule;
    message += '.';
    message += name;
    message += ": ";
    message += cause ? describe_exception(cause.get()) : std::string("unknown error");
    raise_fault(message);
    return {};
}

bool is_exception_instance(PyObject* obj) { return PyExceptionInstance_Check(obj); }

py::ref type_error_instance(const char* message) {
    return py::ref::steal(PyObject_CallFunction(PyExc_TypeError, "s", message));
}

}  // namespace

const char* exception_class_name(ExceptionClass which) { return kClassNames[static_cast<std::size_t>(which)]; }

PyObject* exception_class(ExceptionClass which) {
    const auto index = static_cast<std::size_t>(which);
    return class_cells[index].get([&] { return look_up_class(kClassNames[index]); });
}

py::ref new_exception(ExceptionClass which, std::string_view message) {
    PyObject* cls = exception_class(which);
    if (!cls) return {};
    if (!PyExceptionClass_Check(cls)) return type_error_instance("exceptions must derive from BaseException");
    py::ref text = text_to_str(message);
    if (!text) return fetch_exception();
    py::ref instance = py::ref::steal(PyObject_CallOneArg(cls, text.get()));
    if (!instance) return fetch_exception();  // the class's own failure is what the caller gets
    if (!is_exception_instance(instance.get())) return type_error_instance("exceptions must derive from BaseException");
    return instance;
}

void raise_exception(py::ref exception) {
    if (!exception) return;
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())), exception.get());
}

void set_location_attributes(PyObject* exception, const std::optional<std::string_view>& file, std::uint32_t line,
                             std::uint32_t column) {
    auto set = [&](const char* name, py::ref value) {
        if (!value || PyObject_SetAttrString(exception, name, value.get()) < 0) PyErr_Clear();
    };
    set("file", file ? text_to_str(*file) : py::none());
    set("line", py::ref::steal(PyLong_FromUnsignedLong(line)));
    set("column", py::ref::steal(PyLong_FromUnsignedLong(column)));
}

namespace {

ExceptionClass class_for_kind(LocatedErrorKind kind) {
    switch (kind) {
        case LocatedErrorKind::Parse:
            return ExceptionClass::ParseError;
        case LocatedErrorKind::DuplicateKey:
            return ExceptionClass::DuplicateKeyError;
        default:
            return ExceptionClass::ComplexKeyError;
    }
}

void raise_located(ExceptionClass cls, const LocatedError& error, const std::optional<std::string_view>& file) {
    const std::uint32_t line = error.span.line + 1;
    const std::uint32_t column = error.span.column + 1;
    std::string message = error.message;
    message += " at line ";
    message += std::to_string(line);
    message += ", column ";
    message += std::to_string(column);
    py::ref exception = new_exception(cls, message);
    if (!exception) return;  // internal fault, already set
    set_location_attributes(exception.get(), file, line, column);
    raise_exception(std::move(exception));
}

}  // namespace

void located_error_to_exception(const LocatedError& error, const std::optional<std::string_view>& file) {
    raise_located(class_for_kind(error.kind), error, file);
}

void located_error_without_file(LocatedError error) { located_error_to_exception(error, std::nullopt); }

void parse_error_to_exception(LocatedError error) {
    raise_located(ExceptionClass::ParseError, error, std::nullopt);
}

void duplicate_key_error_to_exception(LocatedError error, const std::optional<std::string_view>& file) {
    raise_located(ExceptionClass::DuplicateKeyError, error, file);
}

void decode_error() {
    raise_exception(new_exception(ExceptionClass::DecodeError, "mapping key is not hashable in Python"));
}

void encode_error(std::string_view message) { raise_exception(new_exception(ExceptionClass::EncodeError, message)); }

void unserializable_error(std::string_view message) {
    raise_exception(new_exception(ExceptionClass::UnserializableError, message));
}

std::string warning_text(const LocatedWarning& warning) {
    const auto& parts = warning.parts;
    std::string text;
    auto append_position = [&] {
        text += " at line ";
        text += std::to_string(warning.span.line + 1);
        text += ", column ";
        text += std::to_string(warning.span.column + 1);
    };
    switch (warning.kind) {
        case WarningKind::DuplicateKey:
            text = "duplicate mapping key '";
            text += decode::key_display_text(warning.key);
            text += '\'';
            append_position();
            text += "; keeping the last value";
            break;
        case WarningKind::Yaml11Reading:
            text = "YAML 1.1 syntax '";
            text += parts[0];
            text += "' resolves as ";
            text += parts[1];
            text += " in 1.1 but ";
            text += parts[2];
            text += " in 1.2";
            append_position();
            break;
    }
    return text;
}

void log_warning(const LocatedWarning& warning) { log_warning(warning_text(warning)); }

void log_warning(std::string_view text) {
    py::ref pending = fetch_exception();
    [&] {
        py::ref logging = py::ref::steal(PyImport_ImportModule("logging"));
        if (!logging) return;
        py::ref logger = py::ref::steal(PyObject_CallMethod(logging.get(), "getLogger", "s", "quillmere"));
        if (!logger) return;
        py::ref message = text_to_str(text);
        if (!message) return;
        py::ref name = py::ref::steal(PyUnicode_FromString("warning"));
        if (!name) return;
        py::ref done = py::ref::steal(PyObject_CallMethodOneArg(logger.get(), name.get(), message.get()));
    }();
    PyErr_Clear();
    if (pending) restore_exception(std::move(pending));
}

void raise_fault(std::string_view message) {
    py::ref text = text_to_str(message);
    if (!text) return;
    PyErr_SetObject(PyExc_SystemError, text.get());
}

void add_argument_note(const char* name) {
    py::ref exception = fetch_exception();
    if (!exception) return;
    py::ref note = py::ref::steal(PyUnicode_FromFormat("while processing '%s'", name));
    py::ref method = py::ref::steal(PyUnicode_FromString("add_note"));
    if (note && method) {
        py::ref done = py::ref::steal(PyObject_CallMethodOneArg(exception.get(), method.get(), note.get()));
    }
    PyErr_Clear();
    restore_exception(std::move(exception));
}

py::ref fetch_exception() {
#if PY_VERSION_HEX >= 0x030C0000
    return py::ref::steal(PyErr_GetRaisedException());
#else
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type) return {};
    PyErr_NormalizeException(&type, &value, &traceback);
    // Fetch and normalisation hand over three references: keep the value,
    // attach the traceback to it, drop the type.
    py::ref owned_type = py::ref::steal(type);
    py::ref owned_value = py::ref::steal(value);
    py::ref owned_traceback = py::ref::steal(traceback);
    if (owned_value && owned_traceback) PyException_SetTraceback(owned_value.get(), owned_traceback.get());
    return owned_value;
#endif
}

void restore_exception(py::ref exception) {
    if (!exception) return;
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception.release());  // steals the reference
#else
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(exception.get()));
    Py_INCREF(type);
    PyObject* traceback = PyException_GetTraceback(exception.get());  // new reference or null
    PyErr_Restore(type, exception.release(), traceback);              // steals all three
#endif
}

}  // namespace quillmere::py

// The arguments that the module functions share beyond their binding
// (py/args.h): the option bits and file-system paths.
//
//     loads(text, option=OPT_INCLUDES, include_dir=pathlib.Path("conf"))
//         option -> 0x80, include_dir -> "conf" (file-system encoding)
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>

namespace quillmere::module {

// `option`: an int in 0..2^64-1, or absent (0). False with the conversion's
// error, noted with the argument's name, otherwise.
[[nodiscard]] bool options_from_argument(PyObject* value, std::uint64_t& options);

// A file-system path argument: os.fspath() must give a str, which is
// encoded with the file-system encoding. Absent stays absent. False with
// the conversion's error, noted with `name`, otherwise.
[[nodiscard]] bool path_from_argument(PyObject* value, const char* name, std::optional<std::string>& path);

}  // namespace quillmere::module

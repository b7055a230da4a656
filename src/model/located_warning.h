// LocatedWarning: a finding that does not stop the load, kept as the parts
// of its message and where it was found, not as a finished text.
//
// The warning bridge of the Python front turns it into the logged text,
// one warning at a time as it logs them, and the part that names the file
// can come from the Span's file_id:
//
//     DuplicateKey   key a                   duplicate mapping key 'a' at line 2, column 1;
//                                            keeping the last value
//     Yaml11Reading  {"yes", "bool", "str"}  YAML 1.1 syntax 'yes' resolves as bool in 1.1 but str
//                                            in 1.2 at line 1, column 4
//
// A warning refers to what the documents it was found in hold already:
// the key is the tree's own Value, and the parts are views into the loaded
// text, into the documents' arenas, or static. So a warning takes a fixed
// few dozen bytes, however long its message would be (a key that an alias
// expands shows all of its copy), and it is valid as long as the documents
// are.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "model/span.h"
#include "model/value.h"

namespace quillmere {

enum class WarningKind : std::uint8_t {
    DuplicateKey,   // `key`: the repeated key
    Yaml11Reading,  // `parts`: the scalar's text, its type name under 1.1, under 1.2
};

struct LocatedWarning {
    WarningKind kind = WarningKind::DuplicateKey;
    Span span;
    Value key;
    std::array<std::string_view, 3> parts{};
};

}  // namespace quillmere

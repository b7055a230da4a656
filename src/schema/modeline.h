// The schema comment: a leading comment line that names the document's
// JSON Schema, as YAML editors write it:
//
//     # yaml-language-server: $schema=./config.schema.json
//     port: 8080
//
// gives "./config.schema.json". Only comment lines and blank lines may come
// before it: a "%YAML" line, a "---" or any content ends the search. A
// byte order mark at the start of the text is no content.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmere::schema {

// The reference of the first comment line of the form
// "# yaml-language-server: $schema=<reference>" (white space allowed after
// the "#", after the colon and around the reference), before the first
// line that is neither blank nor a comment; none when there is no such
// line or its reference is empty. `text` is UTF-8.
std::optional<std::string> find_schema_modeline(std::string_view text);

}  // namespace quillmere::schema

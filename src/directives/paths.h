// Path text, handled without touching the file system.
//
// A path is a byte string of components separated by "/"; a leading "/"
// makes it absolute. Comparisons go component by component, so repeated
// separators and "." components do not matter, and /srv/conf2 does not lie
// inside /srv/conf although its text starts with it:
//
//     normalize_path_lexically("a//./b/../c")  ->  "a/c"
//     normalize_path_lexically("/../x")        ->  "/x"
//     path_starts_with("/srv/conf/a", "/srv/conf/")  ->  true
//     path_starts_with("/srv/conf2/a", "/srv/conf")  ->  false
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmere::directives {

// The lexical normal form: "." and empty components drop out, ".." removes
// the component before it (and is dropped where there is none), a leading
// "/" is kept.
std::string normalize_path_lexically(std::string_view path);

// `tail` appended to `base` after a "/"; an absolute tail replaces the
// base, and an empty base leaves the tail as it is.
std::string join_path(std::string_view base, std::string_view tail);

// The path without its last component: "a/b" -> "a", "/a" -> "/", "a" -> "".
// Nothing for an empty path or a file-system root.
std::optional<std::string> parent_path(std::string_view path);

// The last component ("" for a root or an empty path).
std::string_view file_name(std::string_view path);

// Whether the components of `path` begin with those of `prefix`.
bool path_starts_with(std::string_view path, std::string_view prefix);

// Whether both have the same components.
bool same_path(std::string_view a, std::string_view b);

// The components of `path` after those of `prefix`, joined by "/" ("." when
// there are none); nothing when `path` does not start with `prefix`.
std::optional<std::string> path_below(std::string_view path, std::string_view prefix);

}  // namespace quillmere::directives

// Directive loading as loads does it: the include context set up from the
// call's arguments, the load, its warnings and missing references reported
// to Python, and directive errors raised as the package's exceptions.
//
//     loads("db: !include db.yaml", option=OPT_INCLUDES, include_dir="/srv/conf")
//
//     with db.yaml holding "user: !include user.yaml" and no user.yaml:
//     QuillmereIncludeNotFoundError: cannot read included file 'user.yaml': not found in /srv/conf/db.yaml
//       included from /srv/conf/db.yaml, line 1
//     .file == "/srv/conf/db.yaml", .include_stack == [("/srv/conf/db.yaml", 1)]
//
// A !secret or !env_var that finds nothing becomes null when a warn option
// or an on_missing_* callable asks for it; the callable is then called with
// (name, file, line) and, with the warn option, a warning logged:
//
//     secret 'db_password' is not defined in any secrets.yaml at conf/db.yaml:3
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "directives/context.h"
#include "resolver/resolver.h"
#include "roundtrip/ast.h"

namespace quillmere::module {

struct DirectiveArguments {
    std::uint64_t options = 0;  // the call's option bits
    resolver::ResolveMode mode = resolver::ResolveMode::Core12;
    std::optional<std::string> include_dir;  // the include root; "." when absent
    std::optional<std::string> root_path;    // the root text's name
    PyObject* on_missing_secret = nullptr;   // borrowed, or null
    PyObject* on_missing_env_var = nullptr;  // borrowed, or null
    // A syntax error of the root text is raised as the plain road raises
    // it, with its line and column (QuillmereParseError and the like),
    // rather than as the directive load's error, which has no position.
    bool locate_root_errors = false;
    // An empty explicit document of the root text stays, as a Null root, so
    // that the documents count as the plain road counts them.
    bool keep_empty = false;
};

struct LoadedDirectives {
    std::vector<roundtrip::YamlNode> trees;  // one per document of the root text
    directives::SourceTable sources;
};

// Raises the error that the plain road's decoder finds first in `text`:
// it reads the composer's grammar, and reports what only values show (a
// text its core tag cannot read) where it stands, before a later syntax
// error. True when an error was raised (or memory ran out), false when the
// decoder finds none.
bool raise_first_decode_error(std::string_view text, resolver::ResolveMode mode);

// Loads `text` under the include root (include_dir, or "."), resolving the
// directives that the options enable, then logs the load's warnings and
// reports its missing references. Nothing, with the
// Python error set: the directive error as its exception, or the exception
// of an on_missing_* callable.
std::optional<LoadedDirectives> load_directives(std::string_view text, const DirectiveArguments& arguments);

// The name a located error in source `file_id` gives as its file: the
// included file's path as text; nothing for the root text (and an id
// that names no source), whose errors name no file.
std::optional<std::string> included_file_name(const std::vector<std::string>& file_paths, std::uint32_t file_id);

// Calls the on_missing_* callables and logs the warnings of the context's
// missing references: every secret, then every environment variable. False
// with the callable's exception set; the rest are then not reported.
[[nodiscard]] bool report_missing_references(directives::IncludeContext& context,
                                             const DirectiveArguments& arguments);

}  // namespace quillmere::module

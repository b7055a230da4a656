// Directive errors as the package's exceptions.
//
// A failed include, secret or environment-variable lookup reaches Python
// as the exception class of its kind, with where it happened and, for the
// include kinds, the chain of files that led there:
//
//     QuillmereIncludeNotFoundError: cannot read included file 'user.yaml': not found in /srv/conf/db.yaml
//       .file == "/srv/conf/db.yaml", .include_stack == [("/srv/conf/db.yaml", 1)]
#pragma once

#include "directives/context.h"

namespace quillmere::py {

// Raises `error` as QuillmereIncludeNotFoundError, ... by its kind, with
// `file`, `line` and `column` (a secret or variable only) and `include_stack`
// (every kind but a missing secret or variable).
void directive_error_to_exception(const directives::DirectiveError& error);

}  // namespace quillmere::py

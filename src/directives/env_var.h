// !env_var: the value of a process environment variable, or a default.
//
//     port: !env_var PORT 8080        "8080" while PORT is unset
//     name: !env_var NAME a   b       "a b": the default's words joined by
//                                     one space
//     none: !env_var                  ""
//
// The result is always a single-quoted scalar, so a number or "true" from
// the environment stays text. A variable counts as set only when it exists
// and its value is UTF-8. A variable that is missing while misses are
// collected gives a null; like every result it carries the directive's
// provenance.
#pragma once

#include "common/result.h"
#include "directives/context.h"
#include "roundtrip/ast.h"

namespace quillmere::directives {

Result<roundtrip::YamlNode, DirectiveError> resolve_env_var(const roundtrip::YamlNode& node, IncludeContext& context,
                                                            const IncludeChain& chain);

}  // namespace quillmere::directives

// The %YAML and %TAG directives of a document and the tags they shape.
//
//     %TAG !e! tag:example.com,2024:
//     --- !e!point {x: 1}      the tag reads tag:example.com,2024:point
//
// A document's handles live from its directives to its end. A tag is
// expanded by its handle: "!!" to the declared or the standard prefix, a
// named handle ("!e!") to its declared prefix (undeclared is an error),
// "!" to its declared prefix when there is one; a verbatim tag ("!<...>")
// stays as written, unless it names a standard tag, which it then is.
#pragma once

#include <string_view>
#include <unordered_map>

#include "common/hash.h"
#include "common/result.h"
#include "model/located_error.h"
#include "scanner/token.h"

namespace quillmere::parse {

using TagHandles = std::unordered_map<std::string_view, std::string_view, SeededHash, TextEqual>;

enum class DirectiveKind { Yaml, Tag, Reserved };

// One directive group (the directives before one "---") as it is read.
struct DirectiveGroup {
    TagHandles handles;
    bool seen_yaml = false;

    void clear() {
        handles.clear();
        seen_yaml = false;
    }
};

// Checks one directive token and records a %TAG handle in `group`.
Result<DirectiveKind, LocatedError> read_directive(const Token& token, DirectiveGroup& group);

// A tag cut where its handle's prefix replaces the handle: the expanded
// tag is `prefix` followed by `suffix`. With no prefix the tag stays as
// written and `suffix` is all of it.
struct TagParts {
    std::string_view prefix;
    std::string_view suffix;
};

// Expands the tag of a Tag token by the document's handles; an undeclared
// named handle is "undefined tag handle: {}" at the token.
Result<TagParts, LocatedError> split_tag(const Token& token, const TagHandles& handles);

// Whether a tag (expanded) is one the caller's tag handling sees: every tag
// but the secondary "!!" and the standard ones.
bool is_custom_tag(std::string_view tag);

}  // namespace quillmere::parse

// Nodes that a directive makes itself: placed at the directive, with their
// end equal to their start, and nothing else carried over from it.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "roundtrip/ast.h"

namespace quillmere::directives {

inline roundtrip::YamlNode node_at(const roundtrip::YamlNode& directive, roundtrip::YamlNode content) {
    content.span = directive.span;
    content.end_offset = directive.span.offset;
    content.end_line = directive.span.line;
    content.end_column = directive.span.column;
    return content;
}

inline roundtrip::IncludeSource provenance(const roundtrip::YamlNode& directive, std::string target,
                                           std::optional<std::uint32_t> target_file_id = std::nullopt) {
    roundtrip::IncludeSource source;
    source.tag = *directive.tag();
    source.target = std::move(target);
    source.target_file_id = target_file_id;
    source.directive_region = directive.place();
    return source;
}

}  // namespace quillmere::directives

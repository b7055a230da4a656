#include "roundtrip/node_scalar.h"

namespace quillmere::roundtrip {

using resolver::ResolvedKind;

resolver::ResolvedScalar resolve_node_scalar(const YamlNode& node, resolver::ResolveMode mode) {
    const resolver::OptionalTag tag_text = node.tag_meaning();
    switch (node.kind()) {
        case NodeKind::Scalar:
            return resolver::resolve_scalar(mode, node.text(), node.scalar_style() != ScalarStyle::Plain, tag_text);
        case NodeKind::Null:
            if (tag_text) return resolver::resolve_scalar(mode, {}, false, tag_text);
            return resolver::make(ResolvedKind::Null);
        default:
            return resolver::make(ResolvedKind::Null);
    }
}

std::string_view node_big_integer_text(const YamlNode& node, resolver::ResolveMode mode, std::string& storage) {
    if (!node.is(NodeKind::Scalar)) return {};
    return resolver::big_integer_text(mode, node.text(), storage);
}

bool is_merge_key(const YamlNode& key, resolver::ResolveMode mode) {
    if (!key.tag()) {
        // Untagged, only a plain "<<" reads as Merge: most keys need no resolver.
        return key.is(NodeKind::Scalar) && key.scalar_style() == ScalarStyle::Plain && key.text() == "<<";
    }
    // Tagged, an empty key reads as its tag does ("!!merge : {x: 1}").
    return (key.is(NodeKind::Scalar) || key.is(NodeKind::Null)) &&
           resolve_node_scalar(key, mode).kind == ResolvedKind::Merge;
}

}  // namespace quillmere::roundtrip

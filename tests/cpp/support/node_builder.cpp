#include "support/node_builder.h"

#include "parse/directives.h"
#include "roundtrip/node_scalar.h"

namespace quillmere::testing {

namespace {

YamlNode placed(YamlNode node, At at) {
    node.span.line = at.line;
    node.span.column = at.column;
    node.end_line = at.line;
    node.end_column = at.column;
    return node;
}

}  // namespace

YamlNode scalar(std::string text, At at, ScalarStyle style) {
    return placed(YamlNode::scalar(std::move(text), style), at);
}

YamlNode quoted(std::string text, At at) { return scalar(std::move(text), at, ScalarStyle::SingleQuoted); }

YamlNode null_node(At at) { return placed(YamlNode::null(), at); }

YamlNode alias(std::string name, At at) { return placed(YamlNode::alias(std::move(name)), at); }

YamlNode seq(std::vector<YamlNode> items, At at) {
    return placed(YamlNode::sequence(std::move(items), CollectionStyle::Flow), at);
}

YamlNode map(std::vector<std::pair<YamlNode, YamlNode>> pairs, At at) {
    std::vector<roundtrip::NodePair> node_pairs;
    for (auto& [key, value] : pairs) node_pairs.push_back(roundtrip::NodePair{std::move(key), std::move(value)});
    return placed(YamlNode::mapping(std::move(node_pairs), CollectionStyle::Flow), at);
}

YamlNode anchored(std::string anchor, YamlNode node) {
    node.mutable_anchor() = std::move(anchor);
    return node;
}

YamlNode tagged(std::string tag, YamlNode node) {
    node.mutable_tag() = std::move(tag);
    return node;
}

Value tree_to_value(const YamlNode& node, resolver::ResolveMode mode, Arena& arena) {
    Value value;
    switch (node.kind()) {
        case roundtrip::NodeKind::Scalar:
        case roundtrip::NodeKind::Null: {
            const resolver::ResolvedScalar r = roundtrip::resolve_node_scalar(node, mode);
            const std::string_view text = node.is(roundtrip::NodeKind::Scalar) ? arena.copy_text(node.text()) : "";
            switch (r.kind) {
                case resolver::ResolvedKind::Null: break;
                case resolver::ResolvedKind::Bool: value = Value::boolean(r.boolean); break;
                case resolver::ResolvedKind::Int: value = Value::integer(r.integer); break;
                case resolver::ResolvedKind::Float: value = Value::floating(r.number); break;
                case resolver::ResolvedKind::BigInt: {
                    std::string storage;
                    value = Value::big_int(arena.copy_text(roundtrip::node_big_integer_text(node, mode, storage)), arena);
                    break;
                }
                case resolver::ResolvedKind::Str:
                case resolver::ResolvedKind::Merge:
                case resolver::ResolvedKind::Invalid: value = Value::string(text, arena); break;
            }
            break;
        }
        case roundtrip::NodeKind::Alias:
            value = Value::string(arena.copy_text("*" + node.text()), arena);
            break;
        case roundtrip::NodeKind::Sequence: {
            Value* items = arena.allocate_array<Value>(node.items().size());
            for (std::size_t i = 0; i < node.items().size(); ++i)
                items[i] = tree_to_value(node.items()[i], mode, arena);
            value = Value::sequence(items, node.items().size());
            break;
        }
        case roundtrip::NodeKind::Mapping: {
            Pair* pairs = arena.allocate_array<Pair>(node.pairs().size());
            for (std::size_t i = 0; i < node.pairs().size(); ++i) {
                pairs[i].key = tree_to_value(node.pairs()[i].key, mode, arena);
                pairs[i].value = tree_to_value(node.pairs()[i].value, mode, arena);
            }
            value = Value::mapping(pairs, node.pairs().size());
            break;
        }
    }
    if (node.tag() && parse::is_custom_tag(*node.tag()))
        value = Value::tagged(arena.copy_text(*node.tag()), value, arena);
    return value;
}

}  // namespace quillmere::testing

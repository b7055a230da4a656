#include "schema/instance.h"

#include <utility>
#include <vector>

#include "common/stack_guard.h"

namespace quillmere::schema {

namespace {

using roundtrip::NodeKind;
using roundtrip::NodePair;

// A null standing where a copy was cut off.
YamlNode bare_null(const YamlNode& at) {
    YamlNode null = YamlNode::null();
    null.span = at.span;
    null.end_offset = at.span.offset;
    null.end_line = at.span.line;
    null.end_column = at.span.column;
    return null;
}

// The node's kind and content with its tag and start; a collection ends at
// its start, as copies do.
YamlNode copy_head(const YamlNode& node, YamlNode content) {
    content.span = node.span;
    if (node.is(NodeKind::Scalar)) {
        content.end_offset = node.end_offset;
        content.end_line = node.end_line;
        content.end_column = node.end_column;
    } else {
        content.end_offset = node.span.offset;
        content.end_line = node.span.line;
        content.end_column = node.span.column;
    }
    content.copy_tag(node);
    return content;
}

}  // namespace

YamlNode expand_aliases_for_schema(const YamlNode& node, const AliasTargets& targets, std::uint32_t depth,
                                   std::uint64_t& budget) {
    if (depth > 0) {
        if (depth > kMaxAliasDepth || budget == 0) return bare_null(node);
        --budget;
    }
    switch (node.kind()) {
        case NodeKind::Scalar:
            return copy_head(node, YamlNode::scalar(node.text(), node.scalar_style()));
        case NodeKind::Null:
            return copy_head(node, YamlNode::null());
        case NodeKind::Sequence: {
            std::vector<YamlNode> items;
            items.reserve(node.items().size());
            for (const YamlNode& item : node.items())
                items.push_back(with_stack_guard([&] { return expand_aliases_for_schema(item, targets, depth, budget); }));
            return copy_head(node, YamlNode::sequence(std::move(items), node.style()));
        }
        case NodeKind::Mapping: {
            std::vector<NodePair> pairs;
            pairs.reserve(node.pairs().size());
            for (const NodePair& pair : node.pairs()) {
                YamlNode key = with_stack_guard([&] { return expand_aliases_for_schema(pair.key, targets, depth, budget); });
                YamlNode value =
                    with_stack_guard([&] { return expand_aliases_for_schema(pair.value, targets, depth, budget); });
                pairs.push_back(NodePair{std::move(key), std::move(value)});
            }
            return copy_head(node, YamlNode::mapping(std::move(pairs), node.style()));
        }
        case NodeKind::Alias:
            break;
    }
    const YamlNode* target = targets.find(node);
    if (!target) return bare_null(node);
    YamlNode copy = with_stack_guard([&] { return expand_aliases_for_schema(*target, targets, depth + 1, budget); });
    copy.span = node.span;
    copy.end_offset = node.end_offset;
    copy.end_line = node.end_line;
    copy.end_column = node.end_column;
    return copy;
}

}  // namespace quillmere::schema

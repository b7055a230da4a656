#include "roundtrip/path.h"

#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

const YamlNode* child_at(const YamlNode& node, const PathSegment& step) {
    if (node.is(NodeKind::Mapping) && step.is_key()) {
        for (const NodePair& pair : node.pairs()) {
            if (pair.key.is(NodeKind::Scalar) && pair.key.text() == step.key()) return &pair.value;
        }
        return nullptr;
    }
    if (node.is(NodeKind::Sequence) && step.is_index()) {
        const auto& items = node.items();
        return step.index() < items.size() ? &items[step.index()] : nullptr;
    }
    return nullptr;
}

YamlNode* child_at(YamlNode& node, const PathSegment& step) {
    return const_cast<YamlNode*>(child_at(static_cast<const YamlNode&>(node), step));
}

const YamlNode* follow_path(const YamlNode& root, const Path& path) {
    const YamlNode* node = &root;
    for (const PathSegment& step : path) {
        node = child_at(*node, step);
        if (node == nullptr) return nullptr;
    }
    return node;
}

YamlNode* follow_path(YamlNode& root, const Path& path) {
    return const_cast<YamlNode*>(follow_path(static_cast<const YamlNode&>(root), path));
}

}  // namespace quillmere::roundtrip

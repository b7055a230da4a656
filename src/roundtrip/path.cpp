#include "roundtrip/path.h"

#include <unordered_set>

#include "common/hash.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

namespace {

bool has_key_text(const NodePair& pair, std::string_view key) {
    return pair.key.is(NodeKind::Scalar) && pair.key.text() == key;
}

// Mappings up to this size are checked for repeated keys pair by pair;
// larger ones through a set of their key texts.
constexpr std::size_t kSmallMapping = 16;

}  // namespace

std::optional<std::size_t> entry_position(const std::vector<NodePair>& pairs, std::string_view key) {
    for (std::size_t i = pairs.size(); i-- > 0;)
        if (has_key_text(pairs[i], key)) return i;
    return std::nullopt;
}

std::vector<bool> addressable_entries(const std::vector<NodePair>& pairs) {
    std::vector<bool> addressable(pairs.size(), false);
    if (pairs.size() <= kSmallMapping) {
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (!pairs[i].key.is(NodeKind::Scalar)) continue;
            bool repeated = false;
            for (std::size_t k = i + 1; k < pairs.size() && !repeated; ++k)
                repeated = has_key_text(pairs[k], pairs[i].key.text());
            addressable[i] = !repeated;
        }
        return addressable;
    }
    std::unordered_set<std::string_view, SeededHash, TextEqual> later;
    later.reserve(pairs.size());
    for (std::size_t i = pairs.size(); i-- > 0;) {
        if (!pairs[i].key.is(NodeKind::Scalar)) continue;
        addressable[i] = later.insert(std::string_view(pairs[i].key.text())).second;
    }
    return addressable;
}

const YamlNode* child_at(const YamlNode& node, const PathSegment& step) {
    if (node.is(NodeKind::Mapping) && step.is_key()) {
        const std::optional<std::size_t> at = entry_position(node.pairs(), step.key());
        return at ? &node.pairs()[*at].value : nullptr;
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

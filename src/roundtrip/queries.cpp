#include "roundtrip/queries.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stack_guard.h"

namespace quillmere::roundtrip {

bool is_block_collection(const YamlNode& node) {
    return node.style() == CollectionStyle::Block &&
           ((node.is(NodeKind::Sequence) && !node.items().empty()) ||
            (node.is(NodeKind::Mapping) && !node.pairs().empty()));
}

bool is_block_scalar(const YamlNode& node) {
    return node.is(NodeKind::Scalar) &&
           (node.scalar_style() == ScalarStyle::Literal || node.scalar_style() == ScalarStyle::Folded);
}

bool is_include_tag(const std::optional<std::string>& tag) {
    if (!tag) return false;
    const std::string_view t = *tag;
    return t == "!include" || t == "!include_dir_list" || t == "!include_dir_named" ||
           t == "!include_dir_merge_list" || t == "!include_dir_merge_named";
}

const IncludeSource& innermost_source(const IncludeSource& source) {
    const IncludeSource* at = &source;
    while (at->inner) at = at->inner.get();
    return *at;
}

const IncludeSource& last_include(const IncludeSource& source) {
    const IncludeSource* at = &source;
    while (at->inner && at->inner->target_file_id) at = at->inner.get();
    return *at;
}

TextPlace place_within(const YamlNode& node, TextPlace around) {
    const auto& source = node.source();
    if (!source) return around;
    const IncludeSource& produced = innermost_source(*source);
    if (produced.target_file_id) return {false, *produced.target_file_id};
    return {true, 0};
}

std::uint64_t nesting_levels(const YamlNode& node) {
    std::uint64_t deepest = 0;
    std::vector<std::pair<const YamlNode*, std::uint64_t>> pending{{&node, 1}};
    while (!pending.empty()) {
        const auto [at, level] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, level);
        if (at->is(NodeKind::Sequence)) {
            for (const YamlNode& item : at->items()) pending.emplace_back(&item, level + 1);
        } else if (at->is(NodeKind::Mapping)) {
            for (const NodePair& pair : at->pairs()) {
                pending.emplace_back(&pair.key, level + 1);
                pending.emplace_back(&pair.value, level + 1);
            }
        }
    }
    return deepest;
}

namespace {

// Whether an edit set a flag below `node`, the node itself not counted.
bool children_modified(const YamlNode& node) {
    if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs())
            if (with_stack_guard([&] { return pair_modified_below(pair); })) return true;
    } else if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (with_stack_guard([&] { return subtree_modified(item); })) return true;
    }
    return false;
}

}  // namespace

bool content_modified(const YamlNode& node) { return node.comments.modified || children_modified(node); }

bool subtree_modified(const YamlNode& node) {
    const auto& source = node.source();
    return source ? source->comments_edited : content_modified(node);
}

const Comments* placed_comments(const YamlNode& node) {
    const auto& source = node.source();
    if (!source || !source->target_file_id) return &node.comments;
    return source->directive_comments.get();
}

bool pair_modified_below(const NodePair& pair) {
    if (content_modified(pair.key)) return true;
    return subtree_modified(pair.value);
}

}  // namespace quillmere::roundtrip

// Anchor table, alias-expanding copies and path queries.
//
// Building the table of
//
//     a: &x [1, *y]
//     b: &y 2
//     c: *x
//
// indexes x and y (first definitions only), then walks the documents in
// order and expands each name the first time an alias uses it: *y under a
// comes first, so y is expanded (one node), then *x under c, so x is
// expanded (copying [1, 2], three nodes). An anchor that no alias uses
// gets no entry. Every walk goes through the stack guard, so trees deeper
// than the native stack (edits can nest values without limit) are walked
// safely.
#include "roundtrip/anchors.h"

#include "common/stack_guard.h"
#include "roundtrip/queries.h"

namespace quillmere::roundtrip {

namespace {

// The null that stands for a node that is cut off or cannot be found.
YamlNode bare_null(const YamlNode& at) {
    YamlNode node = YamlNode::null();
    node.span = at.span;
    node.end_offset = at.span.offset;
    node.end_line = at.span.line;
    node.end_column = at.span.column;
    return node;
}

// A copy ends where it starts: its extent no longer describes a text.
void end_at_start(YamlNode& node) {
    node.end_offset = node.span.offset;
    node.end_line = node.span.line;
    node.end_column = node.span.column;
}

// A collection like `node` in `style` whose children are copy(child).
template <class Copy>
YamlNode copy_collection(const YamlNode& node, CollectionStyle style, Copy&& copy) {
    if (node.is(NodeKind::Sequence)) {
        std::vector<YamlNode> items;
        items.reserve(node.items().size());
        for (const YamlNode& item : node.items()) items.push_back(with_stack_guard([&] { return copy(item); }));
        return YamlNode::sequence(std::move(items), style);
    }
    std::vector<NodePair> pairs;
    pairs.reserve(node.pairs().size());
    for (const NodePair& pair : node.pairs()) {
        YamlNode key = with_stack_guard([&] { return copy(pair.key); });
        YamlNode value = with_stack_guard([&] { return copy(pair.value); });
        pairs.push_back(NodePair{std::move(key), std::move(value)});
    }
    return YamlNode::mapping(std::move(pairs), style);
}

const YamlNode* find_definition(const AnchorIndex& index, const YamlNode& alias) {
    if (index.empty()) return nullptr;
    const auto it = index.find(std::string_view(alias.text()));
    return it == index.end() ? nullptr : it->second;
}

// Uses of anchors in the tree, in document order; each name is expanded at
// its first use.
void expand_used_anchors(const YamlNode& node, const AnchorIndex& index, std::uint64_t& budget,
                         std::unordered_map<std::string, YamlNode, SeededHash, TextEqual>& entries) {
    switch (node.kind()) {
        case NodeKind::Alias: {
            const YamlNode* definition = find_definition(index, node);
            if (definition != nullptr && entries.find(std::string_view(node.text())) == entries.end())
                entries.emplace(node.text(), expand_copy(*definition, index, 0, budget));
            break;
        }
        case NodeKind::Sequence:
            for (const YamlNode& item : node.items())
                with_stack_guard([&] { expand_used_anchors(item, index, budget, entries); });
            break;
        case NodeKind::Mapping:
            for (const NodePair& pair : node.pairs()) {
                with_stack_guard([&] { expand_used_anchors(pair.key, index, budget, entries); });
                with_stack_guard([&] { expand_used_anchors(pair.value, index, budget, entries); });
            }
            break;
        default:
            break;
    }
}

// One pre-order pass over the trees for AliasTargets: an alias takes the
// latest complete definition of its name in its own text (queries.h:
// TextKey), and a name's definition is complete once its node has been
// passed. Each text met opens a scope of its own definitions, closed when
// the walk leaves it.
class TargetPass {
public:
    explicit TargetPass(std::unordered_map<const YamlNode*, const YamlNode*>& targets) : targets_(targets) {}

    // Documents are visited in order; a later one's aliases may take the
    // definitions of an earlier one in the same text.
    void visit_root(const YamlNode& root) { visit(root, TextPlace{}); }

    // Aliases that no complete definition preceded take the first one.
    void finish() {
        for (const YamlNode* alias : pending_) {
            if (const auto it = first_.find(std::string_view(alias->text())); it != first_.end())
                targets_.emplace(alias, it->second);
        }
    }

private:
    struct Scope {
        TextKey text;
        AnchorIndex complete;
    };

    void visit(const YamlNode& node, TextPlace around) {
        const TextPlace place = place_within(node, around);
        const TextKey text = text_key(node, place);
        const bool opens = text != scopes_.back().text;
        if (opens) scopes_.push_back({text, {}});
        const std::optional<std::string>& anchor = node.anchor();
        if (anchor) first_.emplace(std::string_view(*anchor), &node);
        switch (node.kind()) {
            case NodeKind::Alias: {
                const AnchorIndex& complete = scopes_.back().complete;
                if (const auto it = complete.find(std::string_view(node.text())); it != complete.end()) {
                    targets_.emplace(&node, it->second);
                } else {
                    pending_.push_back(&node);
                }
                break;
            }
            case NodeKind::Sequence:
                for (const YamlNode& item : node.items()) with_stack_guard([&] { visit(item, place); });
                break;
            case NodeKind::Mapping:
                for (const NodePair& pair : node.pairs()) {
                    with_stack_guard([&] { visit(pair.key, place); });
                    with_stack_guard([&] { visit(pair.value, place); });
                }
                break;
            default:
                break;
        }
        if (anchor) scopes_.back().complete[std::string_view(*anchor)] = &node;
        if (opens) scopes_.pop_back();
    }

    std::unordered_map<const YamlNode*, const YamlNode*>& targets_;
    std::vector<Scope> scopes_{Scope{0, {}}};  // the innermost text last; the root text first
    AnchorIndex first_;
    std::vector<const YamlNode*> pending_;
};

// Records the path of the first node below `node` that carries `name`.
bool find_anchor(const YamlNode& node, Path& path, std::string_view name, Path& found) {
    return walk_with_path(node, path, [&](const YamlNode& child, Path& child_path) {
        if (child.anchor() == name) {
            found = child_path;
            return true;
        }
        return with_stack_guard([&] { return find_anchor(child, child_path, name, found); });
    });
}

void collect_alias_paths(const YamlNode& node, Path& path, const YamlNode& definition, const AliasTargets& targets,
                         std::vector<Path>& out) {
    if (node.is(NodeKind::Alias) && targets.find(node) == &definition) out.push_back(path);
    walk_with_path(node, path, [&](const YamlNode& child, Path& child_path) {
        with_stack_guard([&] { collect_alias_paths(child, child_path, definition, targets, out); });
        return false;
    });
}

bool find_node(const YamlNode& node, Path& path, const YamlNode& wanted, Path& found) {
    return walk_with_path(node, path, [&](const YamlNode& child, Path& child_path) {
        if (&child == &wanted) {
            found = child_path;
            return true;
        }
        return with_stack_guard([&] { return find_node(child, child_path, wanted, found); });
    });
}

void collect_anchor_paths(const YamlNode& node, Path& path, std::vector<std::pair<std::string, Path>>& out) {
    if (node.anchor()) out.emplace_back(*node.anchor(), path);
    walk_with_path(node, path, [&](const YamlNode& child, Path& child_path) {
        with_stack_guard([&] { collect_anchor_paths(child, child_path, out); });
        return false;
    });
}

}  // namespace

AliasTargets::AliasTargets(std::span<const YamlNode> roots, Unpreceded unpreceded) {
    TargetPass pass(targets_);
    for (const YamlNode& root : roots) pass.visit_root(root);
    if (unpreceded == Unpreceded::FirstDefinition) pass.finish();
}

const YamlNode* AliasTargets::find(const YamlNode& alias) const {
    const auto it = targets_.find(&alias);
    return it == targets_.end() ? nullptr : it->second;
}

const YamlNode* AnchorTable::find(std::string_view name) const {
    const auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second;
}

AnchorTable build_anchor_table(std::span<const YamlNode> roots) {
    AnchorIndex index;
    for (const YamlNode& root : roots) collect_anchors(root, index);
    AnchorTable table;
    if (index.empty()) return table;
    std::uint64_t budget = kAliasExpansionBudget;
    for (const YamlNode& root : roots) expand_used_anchors(root, index, budget, table.entries_);
    return table;
}

void collect_anchors(const YamlNode& node, AnchorIndex& index) {
    if (const auto& anchor = node.anchor()) index.emplace(std::string_view(*anchor), &node);
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items()) with_stack_guard([&] { collect_anchors(item, index); });
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) {
            with_stack_guard([&] { collect_anchors(pair.key, index); });
            with_stack_guard([&] { collect_anchors(pair.value, index); });
        }
    }
}

YamlNode expand_copy(const YamlNode& node, const AnchorIndex& index, std::uint32_t depth, std::uint64_t& budget) {
    if (depth > kAliasExpansionDepth || budget == 0) return bare_null(node);
    --budget;
    switch (node.kind()) {
        case NodeKind::Scalar:
        case NodeKind::Null:
            return node;
        case NodeKind::Alias: {
            const YamlNode* definition = find_definition(index, node);
            if (definition == nullptr) return bare_null(node);
            return with_stack_guard([&] { return expand_copy(*definition, index, depth + 1, budget); });
        }
        case NodeKind::Sequence:
        case NodeKind::Mapping: {
            YamlNode copy = copy_collection(node, CollectionStyle::Block, [&](const YamlNode& child) {
                return expand_copy(child, index, depth, budget);
            });
            copy.span = node.span;
            end_at_start(copy);
            copy.copy_tag(node);
            return copy;
        }
    }
    return bare_null(node);
}

YamlNode detach_copy(const YamlNode& node, const AliasTargets& targets, std::uint32_t depth, std::uint64_t& budget) {
    if (depth > kAliasExpansionDepth || budget == 0) return bare_null(node);
    --budget;
    YamlNode copy;
    switch (node.kind()) {
        case NodeKind::Scalar:
            copy = YamlNode::scalar(node.text(), node.scalar_style());
            break;
        case NodeKind::Null:
            break;
        case NodeKind::Alias: {
            const YamlNode* definition = targets.find(node);
            if (definition != nullptr)
                return with_stack_guard([&] { return detach_copy(*definition, targets, depth + 1, budget); });
            break;
        }
        case NodeKind::Sequence:
        case NodeKind::Mapping:
            copy = copy_collection(node, node.style(), [&](const YamlNode& child) {
                return detach_copy(child, targets, depth, budget);
            });
            break;
    }
    copy.span = node.span;
    end_at_start(copy);
    copy.comments = node.comments;
    copy.copy_tag(node);
    // The provenance stays, so that a value read from a secret or an
    // include is written back as its directive and never as its content.
    if (node.source()) copy.mutable_source() = node.source();
    return copy;
}

namespace {

// `content` with every field of `node` but its content.
YamlNode with_fields_of(const YamlNode& node, YamlNode content) {
    content.span = node.span;
    content.end_offset = node.end_offset;
    content.end_line = node.end_line;
    content.end_column = node.end_column;
    content.comments = node.comments;
    content.explicit_start = node.explicit_start;
    content.leading_bom = node.leading_bom;
    content.synthetic = node.synthetic;
    if (node.anchor()) content.mutable_anchor() = node.anchor();
    content.copy_tag(node);
    if (node.source()) content.mutable_source() = node.source();
    if (!node.directives().empty()) content.mutable_directives() = node.directives();
    return content;
}

class StandaloneCopy {
public:
    StandaloneCopy(const YamlNode& top, std::span<const YamlNode> roots) : targets_(roots) {
        // The nodes of the copied subtree, without recursion.
        std::vector<const YamlNode*> stack{&top};
        while (!stack.empty()) {
            const YamlNode* node = stack.back();
            stack.pop_back();
            inside_.insert(node);
            if (node->is(NodeKind::Sequence)) {
                for (const YamlNode& item : node->items()) stack.push_back(&item);
            } else if (node->is(NodeKind::Mapping)) {
                for (const NodePair& pair : node->pairs()) {
                    stack.push_back(&pair.key);
                    stack.push_back(&pair.value);
                }
            }
        }
    }

    YamlNode copy(const YamlNode& node) {
        // A definition from outside is written with the first copy of it,
        // by itself or inside another: later aliases of it stay aliases.
        if (node.anchor() && !inside_.contains(&node)) copied_.insert(&node);
        switch (node.kind()) {
            case NodeKind::Alias: {
                const YamlNode* definition = targets_.find(node);
                if (definition == nullptr || inside_.contains(definition) || copied_.contains(definition))
                    return clone_node(node);
                YamlNode copy = with_stack_guard([&] { return this->copy(*definition); });
                const std::optional<std::string> raw = copy.comments.raw();
                const bool modified = copy.comments.modified;
                copy.comments = node.comments;
                if (raw) copy.comments.mutable_raw() = raw;
                copy.comments.modified = modified;
                copy.span = node.span;
                return copy;
            }
            case NodeKind::Sequence:
            case NodeKind::Mapping:
                return with_fields_of(
                    node, copy_collection(node, node.style(), [this](const YamlNode& child) { return copy(child); }));
            case NodeKind::Scalar:
            case NodeKind::Null:
                break;
        }
        return clone_node(node);
    }

private:
    AliasTargets targets_;
    std::unordered_set<const YamlNode*> inside_;
    std::unordered_set<const YamlNode*> copied_;
};

}  // namespace

YamlNode standalone_copy(const YamlNode& node, std::span<const YamlNode> roots) {
    return StandaloneCopy(node, roots).copy(node);
}

bool walk_with_path(const YamlNode& node, Path& path,
                    const std::function<bool(const YamlNode& child, Path& path)>& visitor) {
    if (node.is(NodeKind::Sequence)) {
        const std::vector<YamlNode>& items = node.items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            path.push_back(PathSegment::index(i));
            const bool stop = visitor(items[i], path);
            path.pop_back();
            if (stop) return true;
        }
    } else if (node.is(NodeKind::Mapping)) {
        const std::vector<NodePair>& pairs = node.pairs();
        const std::vector<bool> addressable = addressable_entries(pairs);
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (!addressable[i]) continue;
            const NodePair& pair = pairs[i];
            path.push_back(PathSegment::key(pair.key.text()));
            const bool stop = visitor(pair.value, path);
            path.pop_back();
            if (stop) return true;
        }
    }
    return false;
}

std::optional<Path> anchor_path(std::span<const YamlNode> roots, std::string_view name) {
    if (roots.empty()) return std::nullopt;
    Path found;
    if (roots.front().anchor() == name) return found;
    Path path;
    if (find_anchor(roots.front(), path, name, found)) return found;
    return std::nullopt;
}

std::optional<Path> alias_target_path(std::span<const YamlNode> roots, std::size_t root, const YamlNode& alias) {
    if (root >= roots.size() || !alias.is(NodeKind::Alias)) return std::nullopt;
    const YamlNode* definition = AliasTargets(roots).find(alias);
    if (definition == nullptr) return std::nullopt;
    return path_to_node(roots[root], *definition);
}

std::vector<Path> alias_paths(const YamlNode& node, const YamlNode& definition, const AliasTargets& targets) {
    std::vector<Path> out;
    Path path;
    collect_alias_paths(node, path, definition, targets, out);
    return out;
}

std::optional<Path> path_to_node(const YamlNode& root, const YamlNode& node) {
    Path found;
    if (&root == &node) return found;
    Path path;
    if (find_node(root, path, node, found)) return found;
    return std::nullopt;
}

std::vector<std::pair<std::string, Path>> list_anchors(const YamlNode& node) {
    std::vector<std::pair<std::string, Path>> out;
    Path path;
    collect_anchor_paths(node, path, out);
    return out;
}

}  // namespace quillmere::roundtrip

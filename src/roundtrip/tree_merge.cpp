#include "roundtrip/tree_merge.h"

#include <optional>
#include <utility>
#include <vector>

#include "common/arena.h"
#include "common/stack_guard.h"
#include "decode/key_set.h"
#include "decode/merge.h"
#include "model/value.h"
#include "parse/directives.h"
#include "roundtrip/node_scalar.h"

namespace quillmere::roundtrip {

namespace {

using resolver::ResolvedKind;

class TreeMerger {
public:
    explicit TreeMerger(resolver::ResolveMode mode) : mode_(mode) {}

    void resolve(YamlNode& node) {
        if (node.is(NodeKind::Sequence)) {
            for (YamlNode& item : node.items()) with_stack_guard([&] { resolve(item); });
            return;
        }
        if (!node.is(NodeKind::Mapping)) return;
        // Sources are merged themselves before they are used.
        bool has_merge = false;
        for (NodePair& pair : node.pairs()) {
            has_merge = has_merge || is_merge_key(pair.key, mode_);
            with_stack_guard([&] { resolve(pair.value); });
        }
        if (has_merge) apply_merges(node);
    }

private:
    // The key as the plain road's Value, for the key set. Texts are copied
    // into the arena: the nodes they come from move while merging.
    Value key_value(const YamlNode& node) {
        Value value;
        switch (node.kind()) {
            case NodeKind::Scalar:
            case NodeKind::Null:
                value = scalar_value(node);
                break;
            case NodeKind::Sequence: {
                const std::vector<YamlNode>& items = node.items();
                Value* copies = arena_.allocate_array<Value>(items.size());
                for (std::size_t i = 0; i < items.size(); ++i)
                    copies[i] = with_stack_guard([&] { return key_value(items[i]); });
                value = Value::sequence(copies, items.size());
                break;
            }
            case NodeKind::Mapping: {
                const std::vector<NodePair>& pairs = node.pairs();
                Pair* copies = arena_.allocate_array<Pair>(pairs.size());
                for (std::size_t i = 0; i < pairs.size(); ++i) {
                    copies[i].key = with_stack_guard([&] { return key_value(pairs[i].key); });
                    copies[i].value = with_stack_guard([&] { return key_value(pairs[i].value); });
                }
                value = Value::mapping(copies, pairs.size());
                break;
            }
            case NodeKind::Alias:
                break;
        }
        if (const auto tag = node.tag_meaning(); tag && parse::is_custom_tag(*tag))
            value = Value::tagged(arena_.copy_text(*tag), value, arena_);
        return value;
    }

    Value scalar_value(const YamlNode& node) {
        const resolver::ResolvedScalar r = resolve_node_scalar(node, mode_);
        switch (r.kind) {
            case ResolvedKind::Null: return Value::null();
            case ResolvedKind::Bool: return Value::boolean(r.boolean);
            case ResolvedKind::Int: return Value::integer(r.integer);
            case ResolvedKind::Float: return Value::floating(r.number);
            case ResolvedKind::BigInt: {
                std::string storage;
                return Value::big_int(arena_.copy_text(node_big_integer_text(node, mode_, storage)), arena_);
            }
            case ResolvedKind::Merge: return Value::string("<<", arena_);  // inside a key: no merge
            case ResolvedKind::Str:
            case ResolvedKind::Invalid: break;
        }
        return Value::string(node.is(NodeKind::Scalar) ? arena_.copy_text(node.text()) : std::string_view{}, arena_);
    }

    // What a merge source is on the plain road: a custom tag makes any node
    // a tagged value, which is left over like a scalar.
    enum class SourceKind { Nothing, Mapping, Sequence, Other };
    SourceKind source_kind(const YamlNode& source) const {
        if (const auto tag = source.tag_meaning(); tag && parse::is_custom_tag(*tag)) return SourceKind::Other;
        switch (source.kind()) {
            case NodeKind::Mapping: return SourceKind::Mapping;
            case NodeKind::Sequence: return SourceKind::Sequence;
            case NodeKind::Alias: return SourceKind::Nothing;
            default:
                return resolve_node_scalar(source, mode_).kind == ResolvedKind::Null ? SourceKind::Nothing
                                                                                      : SourceKind::Other;
        }
    }

    // Moves the entries of one source that bring unseen keys into `merged`;
    // gives what could not be merged.
    std::optional<YamlNode> flatten(std::vector<NodePair>& merged, decode::KeySet& seen, YamlNode& source) {
        switch (source_kind(source)) {
            case SourceKind::Nothing:
                return std::nullopt;
            case SourceKind::Mapping:
                for (NodePair& pair : source.pairs())
                    if (seen.insert(decode::merge_identity(key_value(pair.key)))) merged.push_back(std::move(pair));
                return std::nullopt;
            case SourceKind::Sequence: {
                std::vector<YamlNode> leftovers;
                for (YamlNode& item : source.items()) {
                    std::optional<YamlNode> rest =
                        with_stack_guard([&] { return flatten(merged, seen, item); });
                    if (rest) leftovers.push_back(std::move(*rest));
                }
                if (leftovers.empty()) return std::nullopt;
                YamlNode rest = YamlNode::sequence(std::move(leftovers), source.style());
                rest.span = source.span;
                rest.end_offset = source.span.offset;
                rest.end_line = source.span.line;
                rest.end_column = source.span.column;
                return rest;
            }
            case SourceKind::Other:
                break;
        }
        return std::move(source);
    }

    // Kept out of the recursive walk so that its locals do not weigh on
    // every level of the walk's stack.
    [[gnu::noinline]] void apply_merges(YamlNode& mapping) {
        std::vector<NodePair>& pairs = mapping.pairs();
        std::vector<bool> is_merge(pairs.size());
        std::vector<NodePair> merged;
        merged.reserve(pairs.size());
        decode::KeySet seen;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            is_merge[i] = is_merge_key(pairs[i].key, mode_);
            if (is_merge[i]) continue;
            seen.insert(decode::merge_identity(key_value(pairs[i].key)));
            merged.push_back(std::move(pairs[i]));
        }
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (!is_merge[i]) continue;
            std::optional<YamlNode> rest = flatten(merged, seen, pairs[i].value);
            if (rest) merged.push_back(NodePair{leftover_key(pairs[i].key), std::move(*rest)});
        }
        pairs = std::move(merged);
    }

    // The key of a "<<" pair left over: the string "<<" where the merge key
    // stood, quoted so that it is no merge key any more.
    static YamlNode leftover_key(const YamlNode& merge_key) {
        YamlNode key = YamlNode::scalar("<<", ScalarStyle::SingleQuoted);
        key.span = merge_key.span;
        key.end_offset = merge_key.end_offset;
        key.end_line = merge_key.end_line;
        key.end_column = merge_key.end_column;
        return key;
    }

    resolver::ResolveMode mode_;
    Arena arena_;  // the key values of the key sets
};

}  // namespace

void resolve_tree_merge_keys(YamlNode& node, resolver::ResolveMode mode) {
    TreeMerger merger(mode);
    merger.resolve(node);
}

}  // namespace quillmere::roundtrip

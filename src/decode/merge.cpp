#include "decode/merge.h"

#include "common/stack_guard.h"

namespace quillmere::decode {

namespace {

Value merge_key_string(Arena& arena) { return Value::string("<<", arena); }

}  // namespace

void unmark_merge_keys(Value& value, Arena& arena) {
    if (is_merge_marker(value)) {
        value = merge_key_string(arena);
        return;
    }
    switch (value.kind()) {
        case ValueKind::Sequence:
            for (Value& item : value.items()) with_stack_guard([&] { unmark_merge_keys(item, arena); });
            break;
        case ValueKind::Mapping:
            for (Pair& p : value.pairs()) {
                with_stack_guard([&] { unmark_merge_keys(p.key, arena); });
                with_stack_guard([&] { unmark_merge_keys(p.value, arena); });
            }
            break;
        case ValueKind::Tagged:
            with_stack_guard([&] { unmark_merge_keys(value.tagged_value().inner, arena); });
            break;
        default:
            break;
    }
}

std::optional<Value> flatten_merge_source(std::vector<Pair>& pairs, KeySet& seen, const Value& source,
                                          Arena& arena) {
    switch (source.kind()) {
        case ValueKind::Null:
            return std::nullopt;
        case ValueKind::Mapping:
            for (const Pair& p : source.pairs())
                if (seen.insert(merge_identity(p.key))) pairs.push_back(p);
            return std::nullopt;
        case ValueKind::Sequence: {
            std::vector<Value> leftovers;
            for (const Value& item : source.items()) {
                std::optional<Value> rest =
                    with_stack_guard([&] { return flatten_merge_source(pairs, seen, item, arena); });
                if (rest) leftovers.push_back(*rest);
            }
            if (leftovers.empty()) return std::nullopt;
            Value* items = arena.allocate_array<Value>(leftovers.size());
            std::copy(leftovers.begin(), leftovers.end(), items);
            return Value::sequence(items, leftovers.size());
        }
        default:
            return source;
    }
}

namespace {

// Replaces the pairs of a mapping that has merge keys by the merged pairs.
// Kept out of the recursive walk so that its locals do not weigh on every
// level of the walk's stack.
[[gnu::noinline]] void apply_merges(Value& mapping, Arena& arena) {
    std::vector<Pair> merged;
    merged.reserve(mapping.pairs().size());
    KeySet seen;
    for (const Pair& p : mapping.pairs()) {
        if (is_merge_marker(p.key)) continue;
        seen.insert(merge_identity(p.key));
        merged.push_back(p);
    }
    for (const Pair& p : mapping.pairs()) {
        if (!is_merge_marker(p.key)) continue;
        std::optional<Value> rest = flatten_merge_source(merged, seen, p.value, arena);
        if (rest) merged.push_back(Pair{merge_key_string(arena), *rest});
    }
    Pair* pairs = arena.allocate_array<Pair>(merged.size());
    std::copy(merged.begin(), merged.end(), pairs);
    mapping = Value::mapping(pairs, merged.size());
}

}  // namespace

void resolve_merge_keys(Value& value, Arena& arena) {
    switch (value.kind()) {
        case ValueKind::Tagged:
            if (is_merge_marker(value)) {
                value = merge_key_string(arena);
                return;
            }
            with_stack_guard([&] { resolve_merge_keys(value.tagged_value().inner, arena); });
            return;
        case ValueKind::Sequence:
            for (Value& item : value.items()) with_stack_guard([&] { resolve_merge_keys(item, arena); });
            return;
        case ValueKind::Mapping:
            break;
        default:
            return;
    }

    // Merge sources are merged themselves before they are used; merges are
    // not applied inside keys.
    bool has_merge = false;
    for (Pair& p : value.pairs()) {
        if (is_merge_marker(p.key))
            has_merge = true;
        else
            with_stack_guard([&] { unmark_merge_keys(p.key, arena); });
        with_stack_guard([&] { resolve_merge_keys(p.value, arena); });
    }
    if (has_merge) apply_merges(value, arena);
}

}  // namespace quillmere::decode

#include "model/value.h"

#include <cstring>

#include "common/stack_guard.h"

namespace quillmere {

Value Value::make_text(ValueKind kind, std::string_view text, Arena& arena) {
    Value v(kind);
    if (text.size() >= kLongText) {
        auto* view = static_cast<std::string_view*>(arena.allocate(sizeof(std::string_view), alignof(std::string_view)));
        *view = text;
        v.set_size(kLongText);
        v.long_text_ = view;
    } else {
        v.set_size(text.size());
        v.text_ = text.data();
    }
    return v;
}

Value Value::tagged(std::string_view tag, Value inner, Arena& arena) {
    auto* box = static_cast<TaggedValue*>(arena.allocate(sizeof(TaggedValue), alignof(TaggedValue)));
    box->tag = tag;
    box->inner = inner;
    return tagged(box);
}

Value make_merge_marker(Arena& arena) { return Value::tagged(kMergeTag, Value::string("<<", arena), arena); }

bool is_merge_marker(const Value& value) {
    if (!value.is(ValueKind::Tagged)) return false;
    const TaggedValue& t = value.tagged_value();
    return t.tag == kMergeTag && t.inner.is(ValueKind::String) && t.inner.text() == "<<";
}

std::uint64_t count_nodes(const Value& value) {
    switch (value.kind()) {
        case ValueKind::Sequence: {
            std::uint64_t n = 1;
            for (const Value& item : value.items()) n += with_stack_guard([&] { return count_nodes(item); });
            return n;
        }
        case ValueKind::Mapping: {
            std::uint64_t n = 1;
            for (const Pair& p : value.pairs()) {
                n += with_stack_guard([&] { return count_nodes(p.key); });
                n += with_stack_guard([&] { return count_nodes(p.value); });
            }
            return n;
        }
        case ValueKind::Tagged:
            return 1 + with_stack_guard([&] { return count_nodes(value.tagged_value().inner); });
        default:
            return 1;
    }
}

Value deep_copy(const Value& value, Arena& arena) {
    switch (value.kind()) {
        case ValueKind::Sequence: {
            const auto items = value.items();
            Value* copy = arena.allocate_array<Value>(items.size());
            for (std::size_t i = 0; i < items.size(); ++i)
                copy[i] = with_stack_guard([&] { return deep_copy(items[i], arena); });
            return Value::sequence(copy, items.size());
        }
        case ValueKind::Mapping: {
            const auto pairs = value.pairs();
            Pair* copy = arena.allocate_array<Pair>(pairs.size());
            for (std::size_t i = 0; i < pairs.size(); ++i) {
                copy[i].key = with_stack_guard([&] { return deep_copy(pairs[i].key, arena); });
                copy[i].value = with_stack_guard([&] { return deep_copy(pairs[i].value, arena); });
            }
            return Value::mapping(copy, pairs.size());
        }
        case ValueKind::Tagged: {
            const TaggedValue& t = value.tagged_value();
            Value inner = with_stack_guard([&] { return deep_copy(t.inner, arena); });
            return Value::tagged(t.tag, inner, arena);
        }
        default:
            return value;
    }
}

bool values_equal(const Value& a, const Value& b) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
        case ValueKind::Null: return true;
        case ValueKind::Bool: return a.as_bool() == b.as_bool();
        case ValueKind::Int: return a.as_int() == b.as_int();
        case ValueKind::Float: return a.as_float() == b.as_float();
        case ValueKind::BigInt:
        case ValueKind::String: return a.text() == b.text();
        case ValueKind::Sequence: {
            const auto x = a.items(), y = b.items();
            if (x.size() != y.size()) return false;
            for (std::size_t i = 0; i < x.size(); ++i)
                if (!with_stack_guard([&] { return values_equal(x[i], y[i]); })) return false;
            return true;
        }
        case ValueKind::Mapping: {
            const auto x = a.pairs(), y = b.pairs();
            if (x.size() != y.size()) return false;
            for (std::size_t i = 0; i < x.size(); ++i) {
                if (!with_stack_guard([&] { return values_equal(x[i].key, y[i].key); })) return false;
                if (!with_stack_guard([&] { return values_equal(x[i].value, y[i].value); })) return false;
            }
            return true;
        }
        case ValueKind::Tagged:
            return a.tagged_value().tag == b.tagged_value().tag &&
                   with_stack_guard([&] { return values_equal(a.tagged_value().inner, b.tagged_value().inner); });
    }
    return false;
}

}  // namespace quillmere

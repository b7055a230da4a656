// Trees far deeper than the decoder's nesting limit: built from chains of
// aliases, or directly. Every walk over them runs through the stack guard,
// and freeing them does not recurse.
#include <gtest/gtest.h>

#include "decode/decoder.h"
#include "decode/keys.h"
#include "decode/merge.h"

namespace quillmere::testing {
namespace {


// Each anchor nests the previous one `levels` flow levels deeper, as deep
// as the alias budget allows.
std::string alias_chain(int anchors, int levels, bool mappings) {
    std::string text = "a0: &a0 x\n";
    const std::string open = mappings ? "{k: " : "[";
    const std::string close = mappings ? "}" : "]";
    for (int i = 1; i <= anchors; ++i) {
        text += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " ";
        for (int k = 0; k < levels; ++k) text += open;
        text += "*a" + std::to_string(i - 1);
        for (int k = 0; k < levels; ++k) text += close;
        text += "\n";
    }
    return text;
}

std::size_t depth_of(const Value& root) {
    std::size_t depth = 0;
    const Value* v = &root;
    while (v->is(ValueKind::Sequence) || v->is(ValueKind::Mapping)) {
        ++depth;
        v = v->is(ValueKind::Sequence) ? &v->items()[0] : &v->pairs()[0].value;
    }
    return depth;
}

TEST(DeepTrees, AliasChainsDecode) {
    for (bool mappings : {false, true}) {
        const int anchors = mappings ? 100 : 140;
        const std::string text = alias_chain(anchors, 990, mappings);  // the trees borrow it
        auto result = decode::decode_documents(text, {});
        ASSERT_TRUE(result.ok()) << result.error().message;
        const Value& doc = result.value().documents[0];
        const Value& last = doc.pairs()[std::size_t(anchors)].value;
        EXPECT_EQ(depth_of(last), std::size_t(anchors) * 990);
        EXPECT_EQ(count_nodes(last), std::uint64_t(anchors) * (mappings ? 2 * 990 : 990) + 1);
        EXPECT_TRUE(values_equal(last, deep_copy(last, result.value().arena)));
    }
}

// A tree built directly, a million levels deep.
Value build_chain(std::size_t depth, bool mappings, Arena& arena) {
    Value v = Value::string("leaf", arena);
    for (std::size_t i = 0; i < depth; ++i) {
        if (mappings) {
            Pair* p = arena.allocate_array<Pair>(1);
            p->key = i % 2 ? make_merge_marker(arena) : Value::integer(std::int64_t(i));
            p->value = v;
            v = Value::mapping(p, 1);
        } else {
            Value* item = arena.allocate_array<Value>(1);
            *item = v;
            v = Value::sequence(item, 1);
        }
    }
    return v;
}

TEST(DeepTrees, MillionLevelWalks) {
    for (bool mappings : {false, true}) {
        Arena arena;
        Value tree = build_chain(1'000'000, mappings, arena);
        EXPECT_EQ(count_nodes(tree), mappings ? 2'500'001u : 1'000'001u);  // half the keys are markers
        Value copy = deep_copy(tree, arena);
        EXPECT_TRUE(values_equal(tree, copy));
        EXPECT_FALSE(decode::canonical_key_text(copy).empty());
        EXPECT_FALSE(decode::key_display_text(copy).empty());
        decode::resolve_merge_keys(copy, arena);
        decode::unmark_merge_keys(tree, arena);
    }
}

}  // namespace
}  // namespace quillmere::testing

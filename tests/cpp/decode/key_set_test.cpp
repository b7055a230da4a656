// Key identity: equal exactly when the canonical key texts are equal, in
// the small list and in the hashed table alike.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "decode/key_set.h"
#include "decode/keys.h"

namespace quillmere::testing {
namespace {

using decode::KeySet;

TEST(KeySet, IdentityMatchesCanonicalText) {
    Arena arena;
    Value* items = arena.allocate_array<Value>(2);
    items[0] = Value::string("a", arena);
    items[1] = Value::integer(1);
    Value* same_items = arena.allocate_array<Value>(2);
    same_items[0] = Value::string("a", arena);
    same_items[1] = Value::integer(1);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Value keys[] = {
        Value::integer(1),     Value::floating(1.0),          Value::string("1", arena),
        Value::big_int("1", arena), Value::floating(0.0),     Value::floating(-0.0),
        Value::floating(nan),  Value::null(),                 Value::boolean(true),
        Value::string("", arena), Value::sequence(items, 2), Value::tagged("!t", Value::string("1", arena), arena),
    };
    const Value repeats[] = {
        Value::integer(1), Value::floating(1.0), Value::string("1", arena), Value::floating(nan),
        Value::floating(-0.0), Value::string("", arena), Value::sequence(same_items, 2),
        Value::tagged("!t", Value::string("1", arena), arena),
    };
    // With and without filler keys, so that both the list and the table
    // decide.
    for (int filler : {0, 40}) {
        KeySet seen;
        for (int i = 0; i < filler; ++i)
            EXPECT_TRUE(seen.insert(Value::string(arena.copy_text("k" + std::to_string(i)), arena)));
        for (const Value& key : keys) EXPECT_TRUE(seen.insert(key)) << decode::key_display_text(key);
        for (const Value& key : repeats) EXPECT_FALSE(seen.insert(key)) << decode::key_display_text(key);
    }
    // The same verdicts as the canonical texts give.
    for (const Value& a : keys)
        for (const Value& b : keys)
            EXPECT_EQ(&a == &b, decode::canonical_key_text(a) == decode::canonical_key_text(b));
}

}  // namespace
}  // namespace quillmere::testing

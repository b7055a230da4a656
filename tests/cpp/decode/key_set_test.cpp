// Key identity: equal exactly when Python would make the keys one dict
// entry, and exactly when the canonical key texts are equal, in the small
// list and in the hashed table alike.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "decode/key_set.h"
#include "decode/keys.h"

namespace quillmere::testing {
namespace {

using decode::KeySet;

Value pair_of(Arena& arena, Value a, Value b) {
    Value* items = arena.allocate_array<Value>(2);
    items[0] = a;
    items[1] = b;
    return Value::sequence(items, 2);
}

TEST(KeySet, IdentityIsPythonEquality) {
    Arena arena;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Value keys[] = {
        Value::integer(1),
        Value::integer(0),
        Value::string("1", arena),
        Value::floating(0.5),
        Value::floating(nan),
        Value::floating(std::numeric_limits<double>::infinity()),
        Value::null(),
        Value::string("", arena),
        pair_of(arena, Value::string("a", arena), Value::integer(1)),
        Value::tagged("!t", Value::string("1", arena), arena),
        Value::big_int("9223372036854775808", arena),
        Value::big_int("18446744073709551616", arena),
        Value::big_int("123456789012345678901234567890", arena),
        Value::integer(std::numeric_limits<std::int64_t>::min()),
    };
    const Value repeats[] = {
        Value::boolean(true),
        Value::floating(1.0),
        Value::integer(1),
        Value::boolean(false),
        Value::floating(-0.0),
        Value::floating(0.0),
        Value::string("1", arena),
        Value::floating(0.5),
        Value::floating(nan),
        Value::string("", arena),
        pair_of(arena, Value::string("a", arena), Value::floating(1.0)),
        pair_of(arena, Value::string("a", arena), Value::boolean(true)),
        Value::tagged("!t", Value::string("1", arena), arena),
        Value::big_int("+9_223_372_036_854_775_808", arena),
        Value::floating(9223372036854775808.0),
        Value::floating(18446744073709551616.0),
        Value::big_int("-9223372036854775808", arena),
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
            EXPECT_EQ(&a == &b, decode::canonical_key_text(a) == decode::canonical_key_text(b))
                << decode::key_display_text(a) << " " << decode::key_display_text(b);
    for (const Value& repeat : repeats) {
        int equal = 0;
        for (const Value& key : keys) equal += decode::canonical_key_text(repeat) == decode::canonical_key_text(key);
        EXPECT_EQ(equal, 1) << decode::key_display_text(repeat);
    }
}

TEST(KeySet, WholeNumberTexts) {
    Arena arena;
    EXPECT_EQ(decode::whole_number_text(Value::floating(-0.0)), "0");
    EXPECT_EQ(decode::whole_number_text(Value::floating(1e20)), "100000000000000000000");
    EXPECT_EQ(decode::whole_number_text(Value::floating(1e23)), "99999999999999991611392");
    EXPECT_EQ(decode::whole_number_text(Value::big_int("-0_012", arena)), "-12");
    EXPECT_EQ(decode::whole_number_text(Value::boolean(true)), "1");
    EXPECT_EQ(decode::whole_number_text(Value::floating(0.5)), std::nullopt);
    EXPECT_EQ(decode::whole_number_text(Value::big_int("12x", arena)), std::nullopt);
}

}  // namespace
}  // namespace quillmere::testing

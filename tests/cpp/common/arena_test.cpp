// Arenas keep freed blocks for later ones, within one bound for the whole
// process; the decoder's child stacks take their blocks from the same place.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "common/arena.h"
#include "decode/child_stack.h"
#include "model/value.h"

namespace quillmere {
namespace {

// Fills an arena with `bytes` in pieces of 64 KiB, each piece marked.
void fill(Arena& arena, std::size_t bytes, std::uint8_t mark) {
    for (std::size_t done = 0; done < bytes; done += 64 << 10) {
        auto* p = static_cast<std::uint8_t*>(arena.allocate(64 << 10, 8));
        p[0] = mark;
        p[(64 << 10) - 1] = mark;
    }
}

TEST(Arena, FreedBlocksAreKeptWithinTheBound) {
    {
        Arena large;
        fill(large, 3 * kKeptBytesBound, 1);  // far more blocks than may be kept
    }
    const std::size_t kept = kept_arena_bytes();
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, kKeptBytesBound);
    {
        // A new arena takes kept blocks before new memory.
        Arena next;
        fill(next, 4 * kKeptBlockBytes, 2);
        EXPECT_LT(kept_arena_bytes(), kept);
    }
    EXPECT_LE(kept_arena_bytes(), kKeptBytesBound);
}

TEST(Arena, ThreadsShareTheBound) {
    // Each thread builds and frees arenas larger than the bound while the
    // others do; what is kept afterwards is still within it, and every
    // arena reads back what it wrote.
    std::vector<std::thread> threads;
    std::vector<int> faults(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &faults] {
            for (int round = 0; round < 4; ++round) {
                Arena arena;
                std::vector<std::uint8_t*> pieces;
                for (int i = 0; i < 64; ++i) {
                    auto* p = static_cast<std::uint8_t*>(arena.allocate(300 << 10, 8));
                    p[0] = p[(300 << 10) - 1] = static_cast<std::uint8_t>(t * 16 + round);
                    pieces.push_back(p);
                }
                for (std::uint8_t* p : pieces)
                    if (p[0] != t * 16 + round || p[(300 << 10) - 1] != t * 16 + round) ++faults[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(faults[t], 0) << "thread " << t;
    EXPECT_LE(kept_arena_bytes(), kKeptBytesBound);
}

TEST(ChildStack, MovesOutNestedRunsAcrossBlocks) {
    // Runs that cross block boundaries and end exactly on them, nested as
    // collections are: each moved-out run is in order and the stack below
    // it is untouched.
    using Stack = decode::ChildStack<Value>;
    const std::size_t per = Stack::kPerBlock;
    const struct {
        std::size_t below, run;
    } cases[] = {{0, 0}, {0, 3}, {0, per}, {0, per + 1}, {5, per - 5}, {per - 1, 2}, {3, 2 * per + 7}, {per, per}};
    for (const auto& c : cases) {
        Arena arena;
        Stack stack;
        for (std::size_t i = 0; i < c.below; ++i) stack.push_back(Value::integer(-static_cast<std::int64_t>(i)));
        for (int round = 0; round < 2; ++round) {  // the second round reuses the blocks of the first
            const std::size_t base = stack.size();
            ASSERT_EQ(base, c.below);
            for (std::size_t i = 0; i < c.run; ++i) stack.push_back(Value::integer(static_cast<std::int64_t>(i)));
            const std::span<Value> out = stack.move_out(base, arena);
            ASSERT_EQ(out.size(), c.run);
            for (std::size_t i = 0; i < c.run; ++i) ASSERT_EQ(out[i].as_int(), static_cast<std::int64_t>(i));
            ASSERT_EQ(stack.size(), c.below);
        }
        const std::span<Value> rest = stack.move_out(0, arena);
        for (std::size_t i = 0; i < c.below; ++i) ASSERT_EQ(rest[i].as_int(), -static_cast<std::int64_t>(i));
    }
}

}  // namespace
}  // namespace quillmere

// with_stack_guard: recursion far deeper than any thread stack, with the
// result of every level carried back up.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <pthread.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "common/result.h"
#include "common/stack_guard.h"

namespace quillmere {
namespace {

constexpr std::uint64_t kDepth = 1'000'000;
constexpr std::uint64_t kSum = kDepth * (kDepth + 1) / 2;

// The stack limit seen by the deepest level of the last walk.
thread_local std::uintptr_t t_deepest_limit = 0;

// 1 + 2 + ... + n, one level per term. The term is kept in the frame across
// the call, so the recursion is real and cannot become a loop.
std::uint64_t sum_to(std::uint64_t n) {
    if (n == 0) {
        t_deepest_limit = detail::current_stack_limit();
        return 0;
    }
    volatile std::uint64_t term = n;
    const std::uint64_t below = with_stack_guard([&] { return sum_to(n - 1); });
    return below + term;
}

void add_up_to(std::uint64_t n, std::uint64_t& total) {
    if (n == 0) return;
    volatile std::uint64_t term = n;
    with_stack_guard([&] { add_up_to(n - 1, total); });
    total += term;
}

// A move-only value, or an error raised at level `fail_at`, handed up
// through every level.
Result<std::unique_ptr<std::uint64_t>, std::string> boxed_sum(std::uint64_t n, std::uint64_t fail_at) {
    if (n == fail_at) return make_err(std::string("failed at ") + std::to_string(n));
    if (n == 0) return std::make_unique<std::uint64_t>(0);
    auto below = with_stack_guard([&] { return boxed_sum(n - 1, fail_at); });
    if (!below.ok()) return make_err(std::move(below).error());
    std::unique_ptr<std::uint64_t> box = std::move(below).value();
    *box += n;
    return box;
}

// 1 + 2 + ... + n as above, with an allocation failure at level `fail_at`.
std::uint64_t sum_failing_at(std::uint64_t n, std::uint64_t fail_at) {
    if (n == fail_at) throw std::bad_alloc();
    if (n == 0) return 0;
    volatile std::uint64_t term = n;
    const std::uint64_t below = with_stack_guard([&] { return sum_failing_at(n - 1, fail_at); });
    return below + term;
}

Result<std::unique_ptr<std::uint64_t>, std::string> boxed_sum_failing_at(std::uint64_t n, std::uint64_t fail_at) {
    if (n == fail_at) throw std::bad_alloc();
    if (n == 0) return std::make_unique<std::uint64_t>(0);
    auto below = with_stack_guard([&] { return boxed_sum_failing_at(n - 1, fail_at); });
    if (!below.ok()) return make_err(std::move(below).error());
    std::unique_ptr<std::uint64_t> box = std::move(below).value();
    *box += n;
    return box;
}

TEST(StackGuard, DeepRecursionReturnsItsValue) {
    const std::uintptr_t limit = detail::current_stack_limit();
    // Twice: the second walk reuses what the first one left behind.
    for (int round = 0; round < 2; ++round) {
        t_deepest_limit = 0;
        EXPECT_EQ(sum_to(kDepth), kSum);
        // The deepest level ran on a fresh stack, and the thread's own
        // limit is back once the walk has returned.
        EXPECT_NE(t_deepest_limit, limit);
        EXPECT_EQ(detail::current_stack_limit(), limit);
    }
}

TEST(StackGuard, VoidBody) {
    std::uint64_t total = 0;
    add_up_to(kDepth, total);
    EXPECT_EQ(total, kSum);
}

TEST(StackGuard, MoveOnlyResultsAndErrors) {
    auto ok = boxed_sum(kDepth, kDepth + 1);
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(*ok.value(), kSum);

    auto failed = boxed_sum(kDepth, 3);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), "failed at 3");
}

TEST(StackGuard, ThreadWithSmallStack) {
    struct Work {
        std::uint64_t sum = 0;
        std::uint64_t total = 0;
    } work;
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    auto body = [](void* p) -> void* {
        auto* w = static_cast<Work*>(p);
        w->sum = sum_to(kDepth);
        add_up_to(kDepth, w->total);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &work), 0);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    EXPECT_EQ(work.sum, kSum);
    EXPECT_EQ(work.total, kSum);
}

TEST(StackGuard, ShallowCallsRunInPlace) {
    const std::uintptr_t limit = detail::current_stack_limit();
    std::uintptr_t inside = 0;
    EXPECT_EQ(with_stack_guard([&] {
                  inside = detail::current_stack_limit();
                  return 7;
              }),
              7);
    EXPECT_EQ(inside, limit);
}

// An allocation failure on a fresh stack comes back as the failure value of
// the guarded call and a record that the walk ran out of memory. While the
// record stands, no call that needs a fresh stack runs; once it is taken,
// walks run normally again.
TEST(StackGuard, OutOfMemoryOnAFreshStackIsAValue) {
    const std::uintptr_t limit = detail::current_stack_limit();

    // A Result walk: the failure is an error at every level above it.
    auto failed = boxed_sum_failing_at(kDepth, 10);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), "");
    EXPECT_TRUE(take_out_of_memory());
    EXPECT_FALSE(take_out_of_memory());

    // A plain value: the levels above the failure see 0 from below it.
    EXPECT_LT(sum_failing_at(kDepth, 10), kSum - 55);
    EXPECT_EQ(detail::current_stack_limit(), limit);
    EXPECT_LT(sum_to(kDepth), kSum - 55);
    std::uint64_t total = 0;
    add_up_to(kDepth, total);
    EXPECT_LT(total, kSum - 55);
    EXPECT_TRUE(take_out_of_memory());

    EXPECT_EQ(sum_to(kDepth), kSum);
    EXPECT_FALSE(take_out_of_memory());
}

// A walk nested in one whose record stands runs normally and takes only
// its own record; the enclosing one is back when the nested scope ends.
TEST(StackGuard, NestedWalkKeepsItsOwnRecord) {
    EXPECT_LT(sum_failing_at(kDepth, 10), kSum);
    {
        NestedWalkScope nested;
        EXPECT_EQ(sum_to(kDepth), kSum);
        EXPECT_FALSE(take_out_of_memory());
        EXPECT_LT(sum_failing_at(kDepth, 10), kSum);
        EXPECT_TRUE(take_out_of_memory());
    }
    EXPECT_TRUE(take_out_of_memory());
    {
        NestedWalkScope nested;
    }
    EXPECT_FALSE(take_out_of_memory());
}

// AddressSanitizer keeps terabytes of shadow memory mapped: no address-space
// limit leaves it working.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_TEST_ASAN 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(QM_TEST_ASAN)
// A fresh stack that cannot be mapped ends the walk the same way. The
// walk runs on a thread whose stack is too small for its first level, with
// the address space limited to what is in use and 1 MiB more; the exit code
// is 0 when the first level ran and nothing below it.
int walk_without_address_space() {
    struct Walk {
        std::uint64_t sum = 0;
        bool failed = false;
    } walk;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 64 * 1024);
    auto body = [](void* p) -> void* {
        auto* w = static_cast<Walk*>(p);
        FILE* statm = std::fopen("/proc/self/statm", "r");
        unsigned long pages = 0;
        if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(3);
        std::fclose(statm);
        rlimit saved{};
        getrlimit(RLIMIT_AS, &saved);
        rlimit tight = saved;
        tight.rlim_cur = pages * 4096ul + (1ul << 20);
        setrlimit(RLIMIT_AS, &tight);
        w->sum = sum_to(kDepth);
        w->failed = take_out_of_memory();
        setrlimit(RLIMIT_AS, &saved);
        return nullptr;
    };
    pthread_t thread;
    if (pthread_create(&thread, &attr, body, &walk) != 0) return 4;
    pthread_join(thread, nullptr);
    return walk.failed && walk.sum == kDepth ? 0 : 1;
}

TEST(StackGuardDeathTest, StackThatCannotBeMapped) {
    EXPECT_EXIT(std::_Exit(walk_without_address_space()), testing::ExitedWithCode(0), "");
}
#endif

// The hooks hear of every switch: onto each fresh stack, and back to the
// stack the walk came from (an outer fresh one, then the thread's own).
std::vector<std::pair<char, void*>> g_switches;

TEST(StackGuard, HooksFollowNestedSwitches) {
    set_fresh_stack_hooks(FreshStackHooks{
        [](void* base, std::size_t size) {
            EXPECT_EQ(size, kFreshStackSize);
            g_switches.emplace_back('+', base);
        },
        [](void* base, std::size_t size) {
            EXPECT_EQ(size, base ? kFreshStackSize : 0);
            g_switches.emplace_back('-', base);
        }});
    // Deep enough to need two fresh stacks at once.
    EXPECT_EQ(sum_to(3'000'000), std::uint64_t(3'000'000) * 3'000'001 / 2);
    set_fresh_stack_hooks({});

    ASSERT_GE(g_switches.size(), 4u);
    std::vector<void*> stacks;  // the stacks the walk is on, innermost last
    for (const auto& [kind, base] : g_switches) {
        if (kind == '+') {
            stacks.push_back(base);
        } else {
            ASSERT_FALSE(stacks.empty());
            stacks.pop_back();
            EXPECT_EQ(base, stacks.empty() ? nullptr : stacks.back());
        }
    }
    EXPECT_TRUE(stacks.empty());
    g_switches.clear();
}

}  // namespace
}  // namespace quillmere

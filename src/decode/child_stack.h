// ChildStack: the children of the collections being built, innermost last.
//
// The decoder pushes every finished child here and, when its collection
// ends, moves the collection's children into one array of the tree's arena.
// The stack is made of fixed blocks (common/arena.h's kept blocks) that
// never move: a long collection grows it block by block, and no child is
// copied before its final place, whereas a doubling vector copies every
// child again at each growth, into fresh memory that must be faulted in.
// The blocks go back to the kept ones when the stack is destroyed, so the
// next call finds them resident.
//
//     push a, b     [a b]         base of a new collection: 2
//     push c, d     [a b c d]
//     move_out(2)   [a b]         -> {c, d} in the arena
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

#include "common/arena.h"

namespace quillmere::decode {

template <class T>
class ChildStack {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    static constexpr std::size_t kPerBlock = kKeptBlockBytes / sizeof(T);

    ChildStack() = default;
    ChildStack(const ChildStack&) = delete;
    ChildStack& operator=(const ChildStack&) = delete;
    ~ChildStack() {
        for (T* block : blocks_) give_block(block);
    }

    std::size_t size() const { return block_ * kPerBlock + static_cast<std::size_t>(cursor_ - begin_); }

    template <class... Args>
    [[gnu::always_inline]] void emplace_back(Args&&... args) {
        if (cursor_ == end_) [[unlikely]]
            next_block();
        new (cursor_) T(static_cast<Args&&>(args)...);
        ++cursor_;
    }
    void push_back(const T& value) { emplace_back(value); }

    // The children above `base` moved into one array of `arena`, in order;
    // the stack keeps those below.
    std::span<T> move_out(std::size_t base, Arena& arena) {
        const std::size_t n = size() - base;
        T* out = arena.allocate_array<T>(n);
        std::size_t done = 0;
        for (std::size_t at = base; at < base + n;) {
            const std::size_t block = at / kPerBlock;
            const std::size_t offset = at % kPerBlock;
            const std::size_t run = std::min(kPerBlock - offset, base + n - at);
            std::memcpy(static_cast<void*>(out + done), blocks_[block] + offset, run * sizeof(T));
            done += run;
            at += run;
        }
        truncate(base);
        return {out, n};
    }

private:
    [[gnu::noinline]] void next_block() {
        if (begin_ != nullptr) ++block_;
        if (block_ == blocks_.size()) blocks_.push_back(static_cast<T*>(take_block()));
        begin_ = cursor_ = blocks_[block_];
        end_ = begin_ + kPerBlock;
    }

    // Keeps the first `size` children. A stack cut back to the start of a
    // block stays at the end of the block before, so that the next push
    // moves on to the block again.
    void truncate(std::size_t size) {
        if (begin_ == nullptr) return;
        if (size == 0) {
            block_ = 0;
        } else {
            block_ = (size - 1) / kPerBlock;
        }
        begin_ = blocks_[block_];
        cursor_ = begin_ + (size - block_ * kPerBlock);
        end_ = begin_ + kPerBlock;
    }

    std::vector<T*> blocks_;
    std::size_t block_ = 0;  // the block `cursor_` is in
    T* begin_ = nullptr;
    T* cursor_ = nullptr;
    T* end_ = nullptr;
};

}  // namespace quillmere::decode

// Arena: bump allocation for trees and texts that are freed all at once.
//
// Decoded Value trees, the texts the scanner had to build (unescaped quoted
// scalars, folded lines, tag and anchor names) and the trees that dumps
// converts from Python all live in one Arena per call. Blocks never move, so
// a pointer into the arena stays valid until the arena is destroyed, and
// freeing a tree of any depth is a walk over the block list. Only trivially
// destructible objects are placed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

namespace quillmere {

class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    Arena(Arena&& other) noexcept;
    Arena& operator=(Arena&& other) noexcept;
    ~Arena();

    void* allocate(std::size_t size, std::size_t align) {
        auto p = (reinterpret_cast<std::uintptr_t>(cursor_) + (align - 1)) & ~(std::uintptr_t(align) - 1);
        if (p + size > reinterpret_cast<std::uintptr_t>(end_) || cursor_ == nullptr) return allocate_slow(size, align);
        cursor_ = reinterpret_cast<char*>(p + size);
        return reinterpret_cast<void*>(p);
    }

    template <class T>
    T* allocate_array(std::size_t count) {
        static_assert(std::is_trivially_destructible_v<T>);
        if (count == 0) return nullptr;
        return static_cast<T*>(allocate(sizeof(T) * count, alignof(T)));
    }

    // A copy of the text inside the arena.
    std::string_view copy_text(std::string_view text) {
        if (text.empty()) return {};
        char* p = static_cast<char*>(allocate(text.size(), 1));
        std::memcpy(p, text.data(), text.size());
        return {p, text.size()};
    }

    // Bytes held by the arena's blocks.
    std::size_t reserved() const { return reserved_; }

private:
    struct Block {
        Block* next;
        std::size_t size;
    };
    void* allocate_slow(std::size_t size, std::size_t align);
    void release();

    Block* head_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    std::size_t reserved_ = 0;
};

// What the arenas of the whole process keep between calls, at most: blocks
// freed by one arena wait for the next, whatever thread it runs on, so that
// a process loading large inputs in turn does not fault fresh memory in on
// every call. Blocks beyond the bound go back to the allocator.
inline constexpr std::size_t kKeptBytesBound = std::size_t(16) << 20;

// Bytes of freed blocks kept for later arenas now.
std::size_t kept_arena_bytes();

// Blocks of kKeptBlockBytes for other scratch memory of a call (the
// decoder's stacks of children), from the same kept blocks: a kept one when
// there is one, else a new one. A block given back is kept within the
// bound, else freed. take_block throws std::bad_alloc when out of memory.
inline constexpr std::size_t kKeptBlockBytes = std::size_t(1) << 20;
void* take_block();
void give_block(void* block);

}  // namespace quillmere

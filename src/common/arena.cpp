#include "common/arena.h"

#include <cstdlib>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillmere {

namespace {

constexpr std::size_t kMaxBlock = std::size_t(1) << 20;

// Full-size blocks released on this thread, kept for the next arena: a
// large load would otherwise map, fault in and unmap megabytes per call.
// At most a few are kept, so that a thread holds little between calls, and
// give_back_free_memory drops them.
struct BlockCache {
    static constexpr int kCapacity = 4;
    void* blocks[kCapacity] = {};
    int count = 0;
    ~BlockCache() { clear(); }
    void clear() {
        while (count > 0) std::free(blocks[--count]);
    }
};

thread_local BlockCache t_block_cache;

}  // namespace

Arena::Arena(Arena&& other) noexcept
    : head_(std::exchange(other.head_, nullptr)),
      cursor_(std::exchange(other.cursor_, nullptr)),
      end_(std::exchange(other.end_, nullptr)),
      next_block_(std::exchange(other.next_block_, 4096)),
      reserved_(std::exchange(other.reserved_, 0)) {}

Arena& Arena::operator=(Arena&& other) noexcept {
    if (this != &other) {
        release();
        head_ = std::exchange(other.head_, nullptr);
        cursor_ = std::exchange(other.cursor_, nullptr);
        end_ = std::exchange(other.end_, nullptr);
        next_block_ = std::exchange(other.next_block_, 4096);
        reserved_ = std::exchange(other.reserved_, 0);
    }
    return *this;
}

Arena::~Arena() { release(); }

void Arena::release() {
    Block* b = head_;
    BlockCache& cache = t_block_cache;
    while (b != nullptr) {
        Block* next = b->next;
        if (b->size == kMaxBlock && cache.count < BlockCache::kCapacity)
            cache.blocks[cache.count++] = b;
        else
            std::free(b);
        b = next;
    }
    head_ = nullptr;
    cursor_ = end_ = nullptr;
}

void* Arena::allocate_slow(std::size_t size, std::size_t align) {
    std::size_t need = size + align + sizeof(Block);
    std::size_t block_size = next_block_;
    if (block_size < need) block_size = need;
    if (next_block_ < kMaxBlock) next_block_ *= 2;
    BlockCache& cache = t_block_cache;
    Block* b = nullptr;
    if (block_size == kMaxBlock && cache.count > 0) {
        b = static_cast<Block*>(cache.blocks[--cache.count]);
    } else {
        b = static_cast<Block*>(std::malloc(block_size));
        if (b == nullptr) throw std::bad_alloc();
    }
    b->next = head_;
    b->size = block_size;
    head_ = b;
    reserved_ += block_size;
    cursor_ = reinterpret_cast<char*>(b + 1);
    end_ = reinterpret_cast<char*>(b) + block_size;
    auto p = (reinterpret_cast<std::uintptr_t>(cursor_) + (align - 1)) & ~(std::uintptr_t(align) - 1);
    cursor_ = reinterpret_cast<char*>(p + size);
    return reinterpret_cast<void*>(p);
}

void give_back_free_memory() {
    t_block_cache.clear();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace quillmere

#include "common/arena.h"

#include <cstdlib>
#include <mutex>
#include <utility>

namespace quillmere {

namespace {

// An arena's first block, and the size of every later one; a larger
// request gets a block of its own size.
constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kMaxBlock = kKeptBlockBytes;
static_assert(kKeptBytesBound % kMaxBlock == 0);

// Full-size blocks freed by any arena, kept for the next: a large load
// would otherwise map and fault in megabytes of fresh memory on every call
// and unmap them at its end. One pool serves every thread, so what is kept
// stays within kKeptBytesBound however many threads load; a block beyond
// the bound goes back to the allocator. The pool is never destroyed: a
// thread may still free an arena while the process exits.
class BlockPool {
public:
    static constexpr std::size_t kCapacity = kKeptBytesBound / kMaxBlock;

    void* take() {
        std::lock_guard lock(mutex_);
        return count_ > 0 ? blocks_[--count_] : nullptr;
    }
    bool keep(void* block) {
        std::lock_guard lock(mutex_);
        if (count_ == kCapacity) return false;
        blocks_[count_++] = block;
        return true;
    }
    std::size_t kept_bytes() {
        std::lock_guard lock(mutex_);
        return count_ * kMaxBlock;
    }

private:
    std::mutex mutex_;
    void* blocks_[kCapacity] = {};
    std::size_t count_ = 0;
};

BlockPool& block_pool() {
    static BlockPool* const pool = new BlockPool;
    return *pool;
}

}  // namespace

Arena::Arena(Arena&& other) noexcept
    : head_(std::exchange(other.head_, nullptr)),
      cursor_(std::exchange(other.cursor_, nullptr)),
      end_(std::exchange(other.end_, nullptr)),
      reserved_(std::exchange(other.reserved_, 0)) {}

Arena& Arena::operator=(Arena&& other) noexcept {
    if (this != &other) {
        release();
        head_ = std::exchange(other.head_, nullptr);
        cursor_ = std::exchange(other.cursor_, nullptr);
        end_ = std::exchange(other.end_, nullptr);
        reserved_ = std::exchange(other.reserved_, 0);
    }
    return *this;
}

Arena::~Arena() { release(); }

void Arena::release() {
    Block* b = head_;
    BlockPool& pool = block_pool();
    while (b != nullptr) {
        Block* next = b->next;
        if (b->size != kMaxBlock || !pool.keep(b)) std::free(b);
        b = next;
    }
    head_ = nullptr;
    cursor_ = end_ = nullptr;
    reserved_ = 0;
}

void* Arena::allocate_slow(std::size_t size, std::size_t align) {
    const std::size_t need = size + align + sizeof(Block);
    // The first block is small, for the many small trees; every later one is
    // a full-size block, a kept one when there is one: its pages are
    // resident already, and a block of any other size could not be kept.
    std::size_t block_size = head_ == nullptr ? kFirstBlock : kMaxBlock;
    if (block_size < need) block_size = need;
    Block* b = block_size == kMaxBlock ? static_cast<Block*>(block_pool().take()) : nullptr;
    if (b == nullptr) b = static_cast<Block*>(std::malloc(block_size));
    if (b == nullptr) throw std::bad_alloc();
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

std::size_t kept_arena_bytes() { return block_pool().kept_bytes(); }

void* take_block() {
    void* block = block_pool().take();
    if (block == nullptr) block = std::malloc(kKeptBlockBytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void give_block(void* block) {
    if (block != nullptr && !block_pool().keep(block)) std::free(block);
}

}  // namespace quillmere

#include "common/arena.h"

#include <cstdlib>
#include <mutex>
#include <utility>

namespace quillmere {

namespace {

// Arenas grow from 4 KiB by doubling up to blocks of this size; a larger
// request gets a block of its own size.
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
    Block* b = nullptr;
    std::size_t block_size = next_block_;
    // A kept block is taken as soon as the arena has outgrown its first
    // block: its pages are resident already, and the small blocks it
    // skips would be fresh memory from the allocator.
    if (need <= kMaxBlock && head_ != nullptr) {
        b = static_cast<Block*>(block_pool().take());
        if (b != nullptr) block_size = kMaxBlock;
    }
    if (b == nullptr) {
        if (block_size < need) block_size = need;
        if (block_size == kMaxBlock) b = static_cast<Block*>(block_pool().take());
        if (b == nullptr) b = static_cast<Block*>(std::malloc(block_size));
        if (b == nullptr) throw std::bad_alloc();
    }
    if (next_block_ < kMaxBlock) next_block_ = block_size >= kMaxBlock ? kMaxBlock : next_block_ * 2;
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

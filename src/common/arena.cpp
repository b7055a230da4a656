#include "common/arena.h"

#include <cstdlib>
#include <utility>

namespace quillmere {

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
    while (b != nullptr) {
        Block* next = b->next;
        std::free(b);
        b = next;
    }
    head_ = nullptr;
    cursor_ = end_ = nullptr;
}

void* Arena::allocate_slow(std::size_t size, std::size_t align) {
    constexpr std::size_t kMaxBlock = std::size_t(1) << 20;
    std::size_t need = size + align + sizeof(Block);
    std::size_t block_size = next_block_;
    if (block_size < need) block_size = need;
    if (next_block_ < kMaxBlock) next_block_ *= 2;
    auto* b = static_cast<Block*>(std::malloc(block_size));
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

}  // namespace quillmere

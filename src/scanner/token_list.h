// TokenList: a growable array of tokens.
//
// The scanner appends every token it makes, so appending must be a few
// instructions: a capacity test and a construction in place. std::vector's
// emplace_back is not reliably inlined; this list is. Tokens are trivially
// copyable, so the list moves them with memcpy and never runs destructors.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "scanner/token.h"

namespace quillmere {

class TokenList {
public:
    TokenList() = default;
    TokenList(const TokenList&) = delete;
    TokenList& operator=(const TokenList&) = delete;
    TokenList(TokenList&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    TokenList& operator=(TokenList&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    ~TokenList() { std::free(data_); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Token* begin() { return data_; }
    Token* end() { return data_ + size_; }
    const Token* begin() const { return data_; }
    const Token* end() const { return data_ + size_; }
    Token& operator[](std::size_t i) { return data_[i]; }
    const Token& operator[](std::size_t i) const { return data_[i]; }
    Token& front() { return data_[0]; }
    Token& back() { return data_[size_ - 1]; }
    const Token& front() const { return data_[0]; }
    const Token& back() const { return data_[size_ - 1]; }

    void reserve(std::size_t capacity) {
        if (capacity > capacity_) reallocate(capacity);
    }
    void clear() { size_ = 0; }

    template <class... Args>
    [[gnu::always_inline]] Token& emplace_back(Args&&... args) {
        if (size_ == capacity_) [[unlikely]]
            grow();
        Token* slot = new (data_ + size_) Token(std::forward<Args>(args)...);
        ++size_;
        return *slot;
    }

    // Appends every token of `other`.
    void append(const TokenList& other) {
        reserve(size_ + other.size_);
        if (other.size_ != 0) std::memcpy(static_cast<void*>(data_ + size_), other.data_, other.size_ * sizeof(Token));
        size_ += other.size_;
    }

    // Inserts `token` before position `index`.
    void insert(std::size_t index, const Token& token) {
        if (size_ == capacity_) grow();
        std::memmove(static_cast<void*>(data_ + index + 1), data_ + index, (size_ - index) * sizeof(Token));
        data_[index] = token;
        ++size_;
    }

    // Removes the first `count` tokens.
    void erase_front(std::size_t count) {
        std::memmove(static_cast<void*>(data_), data_ + count, (size_ - count) * sizeof(Token));
        size_ -= count;
    }

private:
    [[gnu::noinline]] void grow() { reallocate(capacity_ < 8 ? 16 : capacity_ * 2); }
    void reallocate(std::size_t capacity) {
        void* data = std::realloc(static_cast<void*>(data_), capacity * sizeof(Token));
        if (data == nullptr) throw std::bad_alloc();
        data_ = static_cast<Token*>(data);
        capacity_ = capacity;
    }

    Token* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace quillmere

// TokenStream: the scanner's tokens, pulled as the parser needs them.
//
// Tokens come from the scanner in batches into a window that is compacted
// as it is consumed, so the token list of a large text never exists at
// once. Past the end (or past a scan error) the stream shows StreamEnd.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "scanner/scanner.h"
#include "scanner/token_list.h"

namespace quillmere::parse {

class TokenStream {
public:
    explicit TokenStream(scanner::Scanner& scanner) : scanner_(scanner) {
        buffer_.reserve(std::min<std::size_t>(scanner.initial_token_capacity(), 2 * kBatch));
    }

    // The token `ahead` places past the cursor; StreamEnd past the end. The
    // reference stays valid until the next call of peek.
    [[gnu::always_inline]] const Token& peek(std::size_t ahead = 0) {
        if (head_ + ahead < buffer_.size()) [[likely]]
            return buffer_[head_ + ahead];
        return peek_slow(ahead);
    }
    TokenKind peek_kind(std::size_t ahead = 0) { return peek(ahead).kind; }
    void advance() {
        if (head_ < buffer_.size()) {
            ++head_;
            ++consumed_;
        }
    }
    // Tokens consumed so far; tells whether a step moved the cursor.
    std::uint64_t position() const { return consumed_; }

    bool failed() const { return failed_; }
    ScanError& error() { return error_; }

    // Scans the rest of the text, so that a later scan error is known.
    void drain() {
        while (!failed_ && !scanner_.finished()) {
            buffer_.clear();
            head_ = 0;
            refill();
        }
    }

private:
    [[gnu::noinline]] const Token& peek_slow(std::size_t ahead) {
        while (head_ + ahead >= buffer_.size())
            if (!refill()) return end_token();
        return buffer_[head_ + ahead];
    }

    bool refill() {
        if (failed_ || scanner_.finished()) return false;
        if (head_ >= 512 && head_ * 2 >= buffer_.size()) {
            buffer_.erase_front(head_);
            head_ = 0;
        }
        auto step = scanner_.scan_some(buffer_, kBatch);
        if (!step.ok()) {
            failed_ = true;
            error_ = std::move(step).error();
            return false;
        }
        return true;
    }

    const Token& end_token() {
        end_.kind = TokenKind::StreamEnd;
        if (failed_) {
            end_.span = error_.span;
        } else if (!buffer_.empty()) {
            end_.span = buffer_.back().span;
        }
        end_.end_offset = end_.span.offset;
        return end_;
    }

    static constexpr std::size_t kBatch = 128;

    scanner::Scanner& scanner_;
    TokenList buffer_;
    std::size_t head_ = 0;
    std::uint64_t consumed_ = 0;
    bool failed_ = false;
    ScanError error_;
    Token end_;
};

}  // namespace quillmere::parse

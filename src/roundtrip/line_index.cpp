#include "roundtrip/line_index.h"

#include <algorithm>
#include <cstring>

#include "scanner/unicode.h"

namespace quillmere::roundtrip {

namespace {

// Whether the bytes from `start` to `end` are all white space. Indentation
// is passed eight spaces at a time.
bool is_blank(std::string_view text, std::size_t start, std::size_t end) {
    constexpr std::uint64_t kSpaces = 0x2020202020202020;
    std::size_t i = start;
    for (std::uint64_t word; i + 8 <= end; i += 8) {
        std::memcpy(&word, text.data() + i, 8);
        if (word != kSpaces) break;
    }
    for (; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') continue;
        return c >= 0x80 && scanner::trim_white_space_start(text.substr(i, end - i)).empty();
    }
    return true;
}

}  // namespace

LineIndex build_line_index(std::string_view text) {
    LineIndex index;
    const bool bom = text.size() > 2 && text.starts_with("\xEF\xBB\xBF");
    const std::size_t first = bom ? 3 : 0;
    index.starts_.reserve(text.size() / 32 + 1);
    index.blank_before_.reserve(text.size() / 32 + 2);
    index.starts_.push_back(first);
    index.blank_before_.push_back(0);
    index.note_ascii_blocks(text);
    // Each line is looked at while its bytes are fresh from the search.
    auto end_line = [&](std::size_t next_start) {
        const std::size_t start = index.starts_.back();
        index.blank_before_.push_back(index.blank_before_.back() + (is_blank(text, start, next_start) ? 1 : 0));
        index.starts_.push_back(next_start);
    };
    if (text.find('\r', first) == std::string_view::npos) {
        // Only LF breaks: one search per line.
        for (std::size_t lf = text.find('\n', first); lf != std::string_view::npos; lf = text.find('\n', lf + 1))
            end_line(lf + 1);
    } else {
        for (std::size_t i = first; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) end_line(i + 1);
        }
    }
    index.blank_before_.push_back(index.blank_before_.back() +
                                  (is_blank(text, index.starts_.back(), text.size()) ? 1 : 0));
    return index;
}

std::uint32_t LineIndex::blank_lines_between(std::uint32_t after, std::uint32_t before) const {
    const std::size_t lines = starts_.size();
    const std::size_t from = std::min<std::size_t>(std::size_t(after) + 1, lines);
    const std::size_t to = std::min<std::size_t>(before, lines);
    return to > from ? blank_before_[to] - blank_before_[from] : 0;
}

void LineIndex::note_ascii_blocks(std::string_view text) {
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    non_ascii_blocks_.assign((text.size() + kAsciiBlock - 1) / kAsciiBlock, 0);
    for (std::size_t block = 0; block < non_ascii_blocks_.size(); ++block) {
        const std::size_t start = block * kAsciiBlock;
        const std::size_t end = std::min(start + kAsciiBlock, text.size());
        std::uint64_t any = 0;
        std::size_t i = start;
        for (; i + 8 <= end; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            any |= word;
        }
        for (; i < end; ++i) any |= static_cast<unsigned char>(text[i]);
        non_ascii_blocks_[block] = (any & kHighs) != 0;
    }
}

std::uint32_t LineIndex::columns_between(std::string_view text, std::uint64_t start, std::uint64_t end) const {
    if (start >= end) return 0;
    bool ascii = true;
    for (std::uint64_t block = start / kAsciiBlock; ascii && block <= (end - 1) / kAsciiBlock; ++block)
        ascii = non_ascii_blocks_[block] == 0;
    return ascii ? static_cast<std::uint32_t>(end - start) : count_code_points(text.substr(start, end - start));
}

std::uint32_t LineIndex::column_on_line(std::string_view text, std::uint32_t line, std::uint64_t offset) const {
    return columns_between(text, std::min<std::uint64_t>(starts_[line], offset), std::min<std::uint64_t>(offset, text.size()));
}

LinePosition LineIndex::position_of(std::string_view text, std::uint64_t offset) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const auto line = after == starts_.begin() ? 0u : static_cast<std::uint32_t>(after - starts_.begin() - 1);
    return {line, column_on_line(text, line, offset)};
}

LinePosition LineIndex::position_after(std::string_view text, const Span& start, std::uint64_t offset) const {
    const std::uint32_t line = start.line;
    if (line + 1 >= starts_.size() || offset < starts_[line + 1]) {
        // On the start's own line: count from the start.
        return {line, start.column + columns_between(text, start.offset, offset)};
    }
    const auto after = std::upper_bound(starts_.begin() + line + 1, starts_.end(), offset);
    const auto end_line = static_cast<std::uint32_t>(after - starts_.begin() - 1);
    return {end_line, column_on_line(text, end_line, offset)};
}

std::uint32_t count_code_points(std::string_view bytes) {
    // Eight bytes at a time: a continuation byte (10xxxxxx) has its top bit
    // set and the next one clear; the marks are summed by a multiplication.
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    std::uint32_t continuations = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        const std::uint64_t marks = (word & ~(word << 1) & kHighs) >> 7;
        continuations += static_cast<std::uint32_t>((marks * kOnes) >> 56);
    }
    for (; i < bytes.size(); ++i) continuations += (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80;
    return static_cast<std::uint32_t>(bytes.size()) - continuations;
}

}  // namespace quillmere::roundtrip

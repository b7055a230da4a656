#include "roundtrip/line_index.h"

#include <algorithm>
#include <cstring>

namespace quillmere::roundtrip {

LineIndex build_line_index(std::string_view text) {
    // One pass, eight bytes at a time. A byte equal to LF (or CR) shows as
    // a zero byte after an exclusive or, found exactly by the high-bit
    // test below; the bytes of 0x80 and more of each line mark it non-ASCII.
    // Words with a CR are read byte by byte, to tell CR LF from a lone CR.
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kLows = 0x7F7F7F7F7F7F7F7F;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    auto zero_bytes = [](std::uint64_t x) { return ~(((x & kLows) + kLows) | x) & kHighs; };
    LineIndex index;
    const bool bom = text.size() > 2 && text.starts_with("\xEF\xBB\xBF");
    const std::size_t first = bom ? 3 : 0;
    const bool has_cr = text.find('\r', first) != std::string_view::npos;
    index.starts_.reserve(text.size() / 32 + 1);
    index.non_ascii_.reserve(text.size() / 32 + 1);
    index.starts_.push_back(first);
    bool non_ascii = false;
    auto end_line = [&](std::size_t next_start) {
        index.non_ascii_.push_back(non_ascii);
        non_ascii = false;
        index.starts_.push_back(next_start);
    };
    auto read_byte = [&](std::size_t i) {
        const auto c = static_cast<unsigned char>(text[i]);
        non_ascii |= c >= 0x80;
        if (c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) end_line(i + 1);
    };
    std::size_t i = first;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (has_cr && zero_bytes(word ^ (kOnes * '\r')) != 0) {
            for (std::size_t j = i; j < i + 8; ++j) read_byte(j);
            continue;
        }
        std::uint64_t breaks = zero_bytes(word ^ (kOnes * '\n'));
        std::uint64_t highs = word & kHighs;
        while (breaks != 0) {
            // Bytes are little-endian: the first LF is the lowest marked byte.
            const unsigned at = static_cast<unsigned>(__builtin_ctzll(breaks)) / 8;
            const std::uint64_t through = at == 7 ? ~std::uint64_t(0) : (std::uint64_t(1) << (8 * at + 8)) - 1;
            non_ascii |= (highs & through) != 0;
            highs &= ~through;
            end_line(i + at + 1);
            breaks &= breaks - 1;
        }
        non_ascii |= highs != 0;
    }
    for (; i < text.size(); ++i) read_byte(i);
    index.non_ascii_.push_back(non_ascii);
    return index;
}

std::string_view LineIndex::line_text(std::string_view text, std::uint32_t line) const {
    const std::size_t start = std::min<std::size_t>(starts_[line], text.size());
    std::size_t end = line + 1 < starts_.size() ? starts_[line + 1] : text.size();
    while (end > start && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
    return text.substr(start, end - start);
}

std::uint32_t LineIndex::column_on_line(std::string_view text, std::uint32_t line, std::uint64_t offset) const {
    const std::uint64_t start = std::min<std::uint64_t>(starts_[line], offset);
    const std::uint64_t stop = std::min<std::uint64_t>(offset, text.size());
    if (start >= stop) return 0;
    if (!non_ascii_[line]) return static_cast<std::uint32_t>(stop - start);
    return count_code_points(text.substr(start, stop - start));
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
        if (line < non_ascii_.size() && !non_ascii_[line])
            return {line, start.column + static_cast<std::uint32_t>(offset - start.offset)};
        return {line, start.column + count_code_points(text.substr(start.offset, offset - start.offset))};
    }
    const auto after = std::upper_bound(starts_.begin() + line + 1, starts_.end(), offset);
    const auto end_line = static_cast<std::uint32_t>(after - starts_.begin() - 1);
    return {end_line, column_on_line(text, end_line, offset)};
}

std::uint32_t count_code_points(std::string_view bytes) {
    std::uint32_t count = 0;
    for (const char c : bytes) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

}  // namespace quillmere::roundtrip

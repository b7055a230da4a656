#include "common/utf8.h"

namespace quillmere {

namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

bool is_ascii(std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    std::uint64_t any = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        __builtin_memcpy(&word, p, 8);
        any |= word;
    }
    for (; n > 0; ++p, --n) any |= static_cast<unsigned char>(*p);
    return (any & 0x8080808080808080ull) == 0;
}

Utf8Check check_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    auto fault = [&](std::size_t length) { return Utf8Check{false, i, length}; };
    while (i < n) {
        // Runs of ASCII, eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            __builtin_memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char first = p[i];
        if (first < 0x80) {
            ++i;
            continue;
        }
        if (first >= 0xC2 && first <= 0xDF) {
            if (i + 1 >= n) return fault(0);
            if (!is_continuation(p[i + 1])) return fault(1);
            i += 2;
        } else if (first >= 0xE0 && first <= 0xEF) {
            if (i + 1 >= n) return fault(0);
            const unsigned char second = p[i + 1];
            const bool ok = (first == 0xE0 && second >= 0xA0 && second <= 0xBF) ||
                            (first >= 0xE1 && first <= 0xEC && is_continuation(second)) ||
                            (first == 0xED && second >= 0x80 && second <= 0x9F) ||
                            (first >= 0xEE && is_continuation(second));
            if (!ok) return fault(1);
            if (i + 2 >= n) return fault(0);
            if (!is_continuation(p[i + 2])) return fault(2);
            i += 3;
        } else if (first >= 0xF0 && first <= 0xF4) {
            if (i + 1 >= n) return fault(0);
            const unsigned char second = p[i + 1];
            const bool ok = (first == 0xF0 && second >= 0x90 && second <= 0xBF) ||
                            (first >= 0xF1 && first <= 0xF3 && is_continuation(second)) ||
                            (first == 0xF4 && second >= 0x80 && second <= 0x8F);
            if (!ok) return fault(1);
            if (i + 2 >= n) return fault(0);
            if (!is_continuation(p[i + 2])) return fault(2);
            if (i + 3 >= n) return fault(0);
            if (!is_continuation(p[i + 3])) return fault(3);
            i += 4;
        } else {
            return fault(1);
        }
    }
    return Utf8Check{true, n, 0};
}

void append_quoted_char(std::string& out, char32_t c, bool printable) {
    switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\t': out += "\\t"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
    }
    if (printable) {
        append_utf8(out, c);
        return;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    char digits[8];
    std::size_t count = 0;
    do {
        digits[count++] = kHex[c & 0xF];
        c >>= 4;
    } while (c != 0);
    out += "\\u{";
    while (count > 0) out += digits[--count];
    out += '}';
}

std::string to_text_lossy(std::string_view bytes) {
    Utf8Check check = check_utf8(bytes);
    if (check.valid) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    while (!check.valid) {
        out.append(bytes.substr(0, check.valid_up_to));
        out += "\xEF\xBF\xBD";
        const std::size_t skip = check.error_length == 0 ? bytes.size() - check.valid_up_to : check.error_length;
        bytes.remove_prefix(check.valid_up_to + skip);
        check = check_utf8(bytes);
    }
    out.append(bytes);
    return out;
}

}  // namespace quillmere

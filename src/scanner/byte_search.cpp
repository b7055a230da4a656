#include "scanner/byte_search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmere::scanner {

namespace {

inline bool is_plain_stop(unsigned char c, bool flow) {
    switch (c) {
        case '\n': case '\r': case '#': case ':':
            return true;
        case ',': case '[': case ']': case '{': case '}':
            return flow;
        default:
            return c >= 0x80;
    }
}

#if defined(__SSE2__)
inline __m128i load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i eq(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
#endif

}  // namespace

std::size_t find_plain_stop(const char* text, std::size_t from, std::size_t end, bool flow) {
    std::size_t i = from;
#if defined(__SSE2__)
    for (; i + 16 <= end; i += 16) {
        const __m128i v = load(text + i);
        __m128i m = _mm_or_si128(_mm_or_si128(eq(v, '#'), eq(v, ':')), _mm_or_si128(eq(v, '\n'), eq(v, '\r')));
        if (flow) {
            m = _mm_or_si128(m, _mm_or_si128(eq(v, ','), _mm_or_si128(eq(v, '['), eq(v, ']'))));
            m = _mm_or_si128(m, _mm_or_si128(eq(v, '{'), eq(v, '}')));
        }
        const int mask = _mm_movemask_epi8(m) | _mm_movemask_epi8(v);  // high bit: non-ASCII
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (i < end && !is_plain_stop(static_cast<unsigned char>(text[i]), flow)) ++i;
    return i;
}

std::size_t find_non_space(const char* text, std::size_t from, std::size_t end) {
    std::size_t i = from;
#if defined(__SSE2__)
    for (; i + 16 <= end; i += 16) {
        const int mask = ~_mm_movemask_epi8(eq(load(text + i), ' ')) & 0xFFFF;
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (i < end && text[i] == ' ') ++i;
    return i;
}

std::size_t find_quoted_stop(const char* text, std::size_t from, std::size_t end, bool double_quoted) {
    const char quote = double_quoted ? '"' : '\'';
    std::size_t i = from;
#if defined(__SSE2__)
    for (; i + 16 <= end; i += 16) {
        const __m128i v = load(text + i);
        __m128i m = _mm_or_si128(eq(v, quote), _mm_or_si128(eq(v, '\n'), eq(v, '\r')));
        if (double_quoted) m = _mm_or_si128(m, eq(v, '\\'));
        const int mask = _mm_movemask_epi8(m) | _mm_movemask_epi8(v);
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == quote || c == '\n' || c == '\r' || (double_quoted && c == '\\') || c >= 0x80) break;
    }
    return i;
}

std::size_t find_line_break(const char* text, std::size_t from, std::size_t end) {
    std::size_t i = from;
#if defined(__SSE2__)
    for (; i + 16 <= end; i += 16) {
        const __m128i v = load(text + i);
        const int mask = _mm_movemask_epi8(_mm_or_si128(eq(v, '\n'), eq(v, '\r')));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (i < end && text[i] != '\n' && text[i] != '\r') ++i;
    return i;
}

namespace {

// Whether byte `c` may begin a non-printable character: a control, DEL,
// or the lead bytes of U+0080 to U+00BF and of U+F000 to U+FFFF.
inline bool may_begin_non_printable(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F || c == 0xC2 || c == 0xEF;
}

// The byte length of the non-printable character at text[i], a byte that
// may begin one; 0 when the character there is printable.
std::size_t non_printable_at(const char* text, std::size_t i, std::size_t end) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    switch (at(i)) {
        case 0xC2: return i + 1 < end && at(i + 1) <= 0x9F && at(i + 1) != 0x85 ? 2 : 0;
        case 0xEF: return i + 2 < end && at(i + 1) == 0xBF && at(i + 2) >= 0xBE ? 3 : 0;
        default: return 1;
    }
}

}  // namespace

std::size_t find_non_printable(const char* text, std::size_t end, std::size_t& length) {
    std::size_t i = 0;
    while (i < end) {
#if defined(__SSE2__)
        for (; i + 16 <= end; i += 16) {
            const __m128i v = load(text + i);
            // Signed, so below 0x20 takes the C0 controls and every byte of
            // 0x80 and above; the latter are narrowed to the two lead bytes.
            const __m128i low = _mm_and_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                                              _mm_cmpgt_epi8(v, _mm_set1_epi8(-1)));
            const __m128i blanks = _mm_or_si128(eq(v, '\t'), _mm_or_si128(eq(v, '\n'), eq(v, '\r')));
            const __m128i lead = _mm_or_si128(eq(v, '\xC2'), eq(v, '\xEF'));
            const __m128i m = _mm_or_si128(_mm_andnot_si128(blanks, low), _mm_or_si128(eq(v, '\x7F'), lead));
            const int mask = _mm_movemask_epi8(m);
            if (mask != 0) {
                i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
                break;
            }
        }
#endif
        while (i < end && !may_begin_non_printable(static_cast<unsigned char>(text[i]))) ++i;
        if (i >= end) break;
        length = non_printable_at(text, i, end);
        if (length != 0) return i;
        ++i;
    }
    length = 0;
    return end;
}

}  // namespace quillmere::scanner

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

}  // namespace quillmere::scanner

// needs_quotes: whether a string written plain would read back as something
// else, or not read back at all.
//
// A plain scalar is unsafe when it would resolve to another type (yes, null,
// 123, 1e5, and under YAML 1.1 also 0123 or 1_000), when it starts with an
// indicator (-x, *a, [a), when it starts with a document marker (... x),
// when a character would end or break it (a: b, a #b, a trailing space, a
// control character), when it holds a character that YAML allows in no
// file (a C1 control other than NEL, U+FFFE, U+FFFF: only a double-quoted
// escape carries those), or when it starts with a byte-order mark. The test
// is made against both rule sets, so the text reads back as a string under
// YAML 1.2 and 1.1 alike; the one-letter booleans y, Y, n, N are the
// exception and stay plain.
//
// Two texts are quoted for readers of the YAML 1.1 type repository, where
// they are no strings: "=" (the 1.1 value key) and 0b or 0x followed by
// underscores only, which match the 1.1 integer pattern but have no digits,
// so that such readers fail on them.
//
// "1:30" stays plain: it is a string under 1.2, and a text with ':' that is
// no 1.2 number is not tested against 1.1 sexagesimals. Flow indicators
// (',', '[', ...) inside the text are the emitter's concern, since they
// matter only inside flow collections.
#include <array>
#include <cstdint>

#include "encode/quoting.h"
#include "encode/scalar_text.h"
#include "resolver/resolver.h"

namespace quillmere::encode {

namespace {

constexpr std::array<bool, 256> make_indicator_starts() {
    std::array<bool, 256> starts{};
    for (unsigned char c : {'\t', ' ', '!', '"', '#', '%', '&', '\'', '*', ',', '-', ':', '>', '?', '@', '[', ']',
                            '`', '{', '}', '|'})
        starts[c] = true;
    return starts;
}
constexpr std::array<bool, 256> kIndicatorStarts = make_indicator_starts();

// What a byte may mean for a plain scalar. Lead bytes are
// those of the characters that only an escape can carry (C1 controls,
// U+FFFE, U+FFFF).
enum class ByteClass : std::uint8_t { Plain, Control, Hash, Colon, Lead };

constexpr std::array<ByteClass, 256> make_byte_classes() {
    std::array<ByteClass, 256> classes{};
    for (int c = 0; c < 0x20; ++c) classes[c] = ByteClass::Control;
    classes[0x7F] = ByteClass::Control;
    classes['#'] = ByteClass::Hash;
    classes[':'] = ByteClass::Colon;
    classes[0xC2] = classes[0xEF] = ByteClass::Lead;
    return classes;
}
constexpr std::array<ByteClass, 256> kByteClasses = make_byte_classes();

// [-+]?0[bx]_+: an integer of the 1.1 pattern without a digit.
bool is_digitless_prefixed_int(std::string_view text) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'b' && text[1] != 'x')) return false;
    return text.find_first_not_of('_', 2) == std::string_view::npos;
}

// The bytes of a text of at most eight bytes as one integer, the first
// byte lowest.
constexpr std::uint64_t pack_word(std::string_view text) {
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        packed |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
    return packed;
}

// Words that resolve to something other than a string (the 1.1 and 1.2
// keywords, the merge key, the special floats) and the document end
// marker, by length, packed for integer compares.
constexpr std::size_t kLongestReservedWord = 5;
struct ReservedWords {
    std::array<std::uint64_t, 12> packed{};
    std::size_t count = 0;
};
constexpr std::array<ReservedWords, kLongestReservedWord + 1> make_reserved_words() {
    constexpr std::string_view kWords[] = {
        "~",     "=",     "on",    "On",    "ON",    "no",    "No",    "NO",    "<<",    "yes",
        "Yes",   "YES",   "off",   "Off",   "OFF",   "...",   "null",  "Null",  "NULL",  "true",
        "True",  "TRUE",  ".inf",  ".Inf",  ".INF",  ".nan",  ".NaN",  ".NAN",  "false", "False",
        "FALSE", "+.inf", "+.Inf", "+.INF", "-.inf", "-.Inf", "-.INF"};
    std::array<ReservedWords, kLongestReservedWord + 1> words{};
    for (const std::string_view word : kWords) {
        ReservedWords& same_length = words[word.size()];
        same_length.packed[same_length.count++] = pack_word(word);
    }
    return words;
}
constexpr std::array<ReservedWords, kLongestReservedWord + 1> kReservedWords = make_reserved_words();

// The first bytes of the reserved words: most texts are told apart by it.
constexpr std::array<bool, 256> make_reserved_starts() {
    std::array<bool, 256> starts{};
    for (const unsigned char c : {'~', '=', 'o', 'O', 'n', 'N', '<', 'y', 'Y', '.', 't', 'T', 'f', 'F', '+', '-'})
        starts[c] = true;
    return starts;
}
constexpr std::array<bool, 256> kReservedStarts = make_reserved_starts();

bool is_reserved_word(std::string_view text) {
    if (text.empty() || text.size() > kLongestReservedWord || !kReservedStarts[static_cast<unsigned char>(text[0])])
        return false;
    const std::uint64_t packed = pack_word(text);
    const ReservedWords& candidates = kReservedWords[text.size()];
    for (std::size_t i = 0; i < candidates.count; ++i) {
        if (candidates.packed[i] == packed) return true;
    }
    return false;
}

// "---" or "..." followed by a blank, a line break or the end: at column 0
// the scanner reads it as a document marker.
bool starts_with_document_marker(std::string_view text) {
    if (text.size() < 3 || (text[0] != '-' && text[0] != '.') || text[1] != text[0] || text[2] != text[0])
        return false;
    if (text.size() == 3) return true;
    char next = text[3];
    return next == ' ' || next == '\t' || next == '\n' || next == '\r';
}

bool is_number(resolver::ResolvedKind kind) {
    return kind == resolver::ResolvedKind::Int || kind == resolver::ResolvedKind::BigInt ||
           kind == resolver::ResolvedKind::Float;
}

}  // namespace

bool needs_quotes(std::string_view text) {
    if (text.empty()) return true;
    if (text.size() >= 3 && text[0] == '\xEF' && text[1] == '\xBB' && text[2] == '\xBF') return true;
    if (is_reserved_word(text)) return true;
    if (starts_with_document_marker(text)) return true;

    const unsigned char first = static_cast<unsigned char>(text.front());
    if (kIndicatorStarts[first]) return true;
    if (text.back() == ' ' || text.back() == '\t') return true;

    // '#' and ':' cannot come first here: they are indicators.
    bool has_colon = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (kByteClasses[static_cast<unsigned char>(text[i])]) {
            case ByteClass::Plain:
                break;
            case ByteClass::Control:
                return true;
            case ByteClass::Hash:
                if (text[i - 1] == ' ') return true;
                break;
            case ByteClass::Colon:
                if (i + 1 == text.size() || text[i + 1] == ' ') return true;
                has_colon = true;
                break;
            case ByteClass::Lead:
                if (non_printable_length(text, i) != 0) return true;
                break;
        }
    }

    if ((first >= '0' && first <= '9') || first == '+' || first == '.') {
        if (is_number(resolver::resolve_yaml12(text, false, std::nullopt).kind)) return true;
        if (has_colon) return false;
        return is_number(resolver::resolve_yaml11(false, text, false, std::nullopt).kind) ||
               is_digitless_prefixed_int(text);
    }
    return false;
}

}  // namespace quillmere::encode

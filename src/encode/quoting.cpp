// needs_quotes: whether a string written plain would read back as something
// else, here or in the readers users have, or not read back at all.
//
// A plain scalar is unsafe when it would resolve to another type under
// either rule set (yes, y, null, 123, 1e5, 0123, 1_000, 1:30), when it
// starts with an indicator (-x, *a, [a), when it starts with a document
// marker (... x), when a character would end or break it (a: b, a #b, a
// trailing space, a control character), or when it holds a character that
// only a double-quoted escape carries safely (a C1 control, U+FFFE,
// U+FFFF, and NEL, the line separators and the byte-order mark, which
// YAML 1.1 readers fold or drop).
//
// Readers of the YAML 1.1 type repository, and YAML 1.2 readers that keep
// its looser patterns, read more texts as other types than this library
// does; those are quoted too, whatever our own reading:
//
//     =                         the 1.1 value key
//     008000  0o_7  +_          integers of digits and underscores, leading
//                               zeros; those without a digit make such
//                               readers fail
//     0x_  0b_                  prefixed integers without a digit
//     ._  ._5  1_0e5  1.        floats with underscores, a bare point, an
//                               exponent without a point
//     2001-12-14                timestamps, with a time and a zone or not
//     99999999999999999999:30   sexagesimal numbers of any size
//
// Flow indicators (',', '[', ...) inside the text are the emitter's
// concern, since they matter only inside flow collections.
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

// What a byte may mean for a plain scalar. Lead bytes are those of the
// characters that only an escape carries safely (escaped_only_length).
enum class ByteClass : std::uint8_t { Plain, Control, Hash, Colon, Lead };

constexpr std::array<ByteClass, 256> make_byte_classes() {
    std::array<ByteClass, 256> classes{};
    for (int c = 0; c < 0x20; ++c) classes[c] = ByteClass::Control;
    classes[0x7F] = ByteClass::Control;
    classes['#'] = ByteClass::Hash;
    classes[':'] = ByteClass::Colon;
    classes[0xC2] = classes[0xE2] = classes[0xEF] = ByteClass::Lead;
    return classes;
}
constexpr std::array<ByteClass, 256> kByteClasses = make_byte_classes();

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_octal_digit(char c) { return c >= '0' && c <= '7'; }
bool is_binary_digit(char c) { return c == '0' || c == '1'; }

// Whether the text from `i` on is `count` or more digits (exactly `count`
// when `exact`), moving `i` past them.
bool digits(std::string_view text, std::size_t& i, std::size_t count, bool exact) {
    const std::size_t start = i;
    while (i < text.size() && is_digit(text[i]) && (!exact || i - start < count)) ++i;
    return i - start >= count;
}

// Moves `i` past the characters that `digit` accepts and underscores;
// whether there was one.
template <typename Digit>
bool digits_or_underscores(std::string_view text, std::size_t& i, Digit digit) {
    const std::size_t start = i;
    while (i < text.size() && (text[i] == '_' || digit(text[i]))) ++i;
    return i > start;
}

// An exponent, [eE][-+]?[0-9]+, from `i` to the end of the text.
bool is_exponent(std::string_view text, std::size_t i) {
    if (i >= text.size() || (text[i] != 'e' && text[i] != 'E')) return false;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    return digits(text, i, 1, false) && i == text.size();
}

// The number patterns of the YAML 1.1 type repository and of the readers
// that keep them for YAML 1.2, joined, after an optional sign (values of
// any size; a reader that matches a pattern and then finds no digit fails):
//
//     0b[01_]+  0o[0-7_]+  0x[0-9a-fA-F_]+  [0-9_]+
//     [0-9][0-9_]*(:[0-5]?[0-9])+(\.[0-9_]*)?
//     [0-9][0-9_]*\.[0-9_]*([eE][-+]?[0-9]+)?  [0-9][0-9_]*[eE][-+]?[0-9]+
//     \.[0-9_]+([eE][-+]?[0-9]+)?
bool is_loose_number(std::string_view text) {
    // Those readers try the patterns only on a text that starts with a
    // sign, a digit or a point: "_1" is left alone, "+_" is not.
    const bool signed_text = !text.empty() && (text[0] == '+' || text[0] == '-');
    if (signed_text) text.remove_prefix(1);
    if (text.empty() || (text[0] == '_' && !signed_text)) return false;
    std::size_t i = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'o' || text[1] == 'x')) {
        i = 2;
        const bool prefixed = text[1] == 'b'   ? digits_or_underscores(text, i, is_binary_digit)
                              : text[1] == 'o' ? digits_or_underscores(text, i, is_octal_digit)
                                               : digits_or_underscores(text, i, is_hex_digit);
        return prefixed && i == text.size();
    }
    if (text[0] == '.') {
        i = 1;
        return digits_or_underscores(text, i, is_digit) && (i == text.size() || is_exponent(text, i));
    }
    if (!is_digit(text[0]) && text[0] != '_') return false;
    digits_or_underscores(text, i, is_digit);
    if (i == text.size()) return true;
    if (!is_digit(text[0])) return false;
    if (text[i] == ':') {
        // Sexagesimal: parts of one or two digits, the first below 6 when
        // there are two.
        while (i < text.size() && text[i] == ':') {
            ++i;
            const std::size_t part = i;
            digits(text, i, 0, false);
            const std::size_t length = i - part;
            if (length == 0 || length > 2 || (length == 2 && text[part] > '5')) return false;
        }
        if (i == text.size()) return true;
        if (text[i] != '.') return false;
        ++i;
        digits_or_underscores(text, i, is_digit);
        return i == text.size();
    }
    if (text[i] == '.') {
        ++i;
        digits_or_underscores(text, i, is_digit);
        return i == text.size() || is_exponent(text, i);
    }
    return is_exponent(text, i);
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
        "~",     "=",     "y",     "Y",     "n",     "N",     "on",    "On",    "ON",    "no",    "No",
        "NO",    "<<",    "yes",
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

// The YAML 1.1 timestamp: a date of four, two and two digits, or a date
// with one- or two-digit month and day, followed by "T", "t" or blanks, a
// time of h:mm:ss with optional fraction, and an optional zone after
// optional blanks: Z, or a sign, one or two digits and optional ":mm".
bool reads_as_timestamp(std::string_view text) {
    std::size_t i = 0;
    if (!digits(text, i, 4, true) || i >= text.size() || text[i++] != '-') return false;
    const std::size_t month = i;
    if (!digits(text, i, 1, false) || i - month > 2 || i >= text.size() || text[i++] != '-') return false;
    const std::size_t day = i;
    if (!digits(text, i, 1, false) || i - day > 2) return false;
    if (i == text.size()) return i - month == 2 + 1 + 2;  // the date alone: 2001-12-14
    if (text[i] == 'T' || text[i] == 't') {
        ++i;
    } else if (text[i] == ' ' || text[i] == '\t') {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    } else {
        return false;
    }
    const std::size_t hour = i;
    if (!digits(text, i, 1, false) || i - hour > 2) return false;
    for (int part = 0; part < 2; ++part) {
        if (i >= text.size() || text[i++] != ':' || !digits(text, i, 2, true)) return false;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i;
    }
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == text.size()) return true;
    if (text[i] == 'Z') return i + 1 == text.size();
    if (text[i] != '+' && text[i] != '-') return false;
    ++i;
    const std::size_t zone = i;
    if (!digits(text, i, 1, false) || i - zone > 2) return false;
    if (i < text.size() && text[i] == ':') {
        ++i;
        if (!digits(text, i, 2, true)) return false;
    }
    return i == text.size();
}

bool needs_quotes(std::string_view text) {
    if (text.empty()) return true;
    if (is_reserved_word(text)) return true;
    if (starts_with_document_marker(text)) return true;

    const unsigned char first = static_cast<unsigned char>(text.front());
    if (kIndicatorStarts[first]) return true;
    if (text.back() == ' ' || text.back() == '\t') return true;

    // '#' and ':' cannot come first here: they are indicators.
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
                break;
            case ByteClass::Lead:
                if (escaped_only_length(text, i) != 0) return true;
                break;
        }
    }

    // The 1.1 rules drop underscores anywhere: _1 is a number there.
    if ((first >= '0' && first <= '9') || first == '+' || first == '.' || first == '_') {
        if (is_number(resolver::resolve_yaml12(text, false, std::nullopt).kind)) return true;
        if (is_number(resolver::resolve_yaml11(false, text, false, std::nullopt).kind)) return true;
        return is_loose_number(text) || reads_as_timestamp(text);
    }
    return false;
}

}  // namespace quillmere::encode

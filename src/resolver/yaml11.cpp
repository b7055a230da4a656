// The YAML 1.1 types.
//
// A plain scalar is tried against these rules in order; the first match
// decides. Underscores are digit separators in numbers and are dropped
// before reading them.
//
//     "" ~ null Null NULL            Null
//     <<                             Merge
//     yes/no on/off true/false       Bool   (y Y n N too, unless compat)
//     0x1F  0b101  010  1_000  1:30  Int    (010 is octal 8, 1:30 is 90)
//     12345678901234567890_1         BigInt (beyond the 64-bit range)
//     .inf  1.5  1_000.5  1e5        Float
//     1:30.5                         Float  (sexagesimal, 90.5)
//     anything else                  Str
//
// A quoted scalar is Str. A tagged scalar follows its tag (resolve_tagged);
// a text the tag's reading rejects gives the zero of the tag's type.
#include <limits>

#include "resolver/resolver.h"

namespace quillmere::resolver {

namespace {

bool is_sign(char c) { return c == '+' || c == '-'; }

// Only these characters can begin a number of the 1.1 rules: '_' because
// underscores are dropped before the digits are read, and the letters of
// inf, infinity and nan, which may open a sexagesimal float (nan:1.5).
bool may_start_number(char c) {
    return (c >= '0' && c <= '9') || is_sign(c) || c == '.' || c == '_' || c == 'i' || c == 'I' || c == 'n' ||
           c == 'N';
}

bool all_decimal_digits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Splits `text` at ':' one part at a time: returns the part before the next
// ':' (or the rest) and moves `text` past it.
std::string_view next_part(std::string_view& text, bool& more) {
    std::size_t colon = text.find(':');
    std::string_view part = text.substr(0, colon);
    more = colon != std::string_view::npos;
    text = more ? text.substr(colon + 1) : std::string_view{};
    return part;
}

// 1:30 -> 90. Every part is decimal, and every part after the first at most
// 59; the value is at most INT64_MAX.
std::optional<std::int64_t> parse_sexagesimal_int(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    bool first = true;
    bool more = true;
    while (more) {
        std::string_view part = next_part(text, more);
        std::optional<std::int64_t> digit = parse_unsigned(part, 10);
        if (!digit) return std::nullopt;
        if (first) {
            value = *digit;
            first = false;
            continue;
        }
        if (*digit > 59 || value > (kMax - *digit) / 60) return std::nullopt;
        value = value * 60 + *digit;
    }
    return value;
}

bool equals_ignoring_ascii_case(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// One part of a sexagesimal float: a decimal number without sign, or one of
// the words inf, infinity and nan in any letter case.
std::optional<double> parse_sexagesimal_float_part(std::string_view part) {
    if (part.empty() || is_sign(part[0])) return std::nullopt;
    if (equals_ignoring_ascii_case(part, "inf") || equals_ignoring_ascii_case(part, "infinity"))
        return std::numeric_limits<double>::infinity();
    if (equals_ignoring_ascii_case(part, "nan")) return std::numeric_limits<double>::quiet_NaN();
    return parse_decimal_float(part);
}

// 1:30.5 -> 90.5, -1:30.5 -> -90.5. `text` has no underscores.
std::optional<double> parse_sexagesimal_float(std::string_view text) {
    bool negative = false;
    if (!text.empty() && is_sign(text[0])) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    double value = 0.0;
    bool first = true;
    bool more = true;
    while (more) {
        std::optional<double> part = parse_sexagesimal_float_part(next_part(text, more));
        if (!part) return std::nullopt;
        if (first) {
            value = *part;
            first = false;
            continue;
        }
        // Written so that a NaN part is rejected too.
        if (!(*part < 60.0)) return std::nullopt;
        value = value * 60.0 + *part;
    }
    return negative ? -value : value;
}

ResolvedScalar resolve_tagged(bool compat, std::string_view text, std::string_view tag) {
    std::string_view word = standard_tag_word(tag);
    switch (word.size()) {
    case 3:
        if (word == "int") return make_int(parse_yaml11_int(text).value_or(0));
        break;
    case 4:
        if (word == "null") return make(ResolvedKind::Null);
        if (word == "bool") return make_bool(parse_yaml11_bool(compat, text).value_or(false));
        break;
    case 5:
        if (word == "float") return make_float(parse_yaml11_float(text).value_or(0.0));
        if (word == "merge") return make(ResolvedKind::Merge);
        break;
    }
    return make(ResolvedKind::Str);
}

}  // namespace

std::optional<bool> parse_yaml11_bool(bool compat, std::string_view text) {
    switch (text.size()) {
    case 1:
        if (compat) break;
        if (text[0] == 'y' || text[0] == 'Y') return true;
        if (text[0] == 'n' || text[0] == 'N') return false;
        break;
    case 2:
        if (text == "on" || text == "On" || text == "ON") return true;
        if (text == "no" || text == "No" || text == "NO") return false;
        break;
    case 3:
        if (text == "yes" || text == "Yes" || text == "YES") return true;
        if (text == "off" || text == "Off" || text == "OFF") return false;
        break;
    case 4:
        if (text == "true" || text == "True" || text == "TRUE") return true;
        break;
    case 5:
        if (text == "false" || text == "False" || text == "FALSE") return false;
        break;
    }
    return std::nullopt;
}

std::optional<std::int64_t> parse_yaml11_octal(std::string_view digits) { return parse_unsigned(digits, 8); }

std::optional<std::int64_t> parse_yaml11_int(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (is_sign(text[0])) {
        negative = text[0] == '-';
        text.remove_prefix(1);
        if (text.empty()) return std::nullopt;
    }
    std::string storage;
    text = strip_underscores(text, storage);
    if (text.empty()) return std::nullopt;

    std::optional<std::int64_t> magnitude;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        magnitude = parse_unsigned(text.substr(2), 16);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) {
        magnitude = parse_unsigned(text.substr(2), 2);
    } else if (text.size() >= 2 && text[0] == '0' && all_decimal_digits(text)) {
        magnitude = parse_yaml11_octal(text.substr(1));
    } else if (text.find(':') != std::string_view::npos) {
        magnitude = parse_sexagesimal_int(text);
    } else {
        magnitude = parse_unsigned(text, 10);
    }
    if (magnitude && negative) return -*magnitude;
    return magnitude;
}

std::optional<double> parse_yaml11_float(std::string_view text) {
    if (auto special = parse_special_float(text)) return special;
    std::string storage;
    text = strip_underscores(text, storage);
    if (!has_point_or_exponent(text)) return std::nullopt;
    if (text.find(':') == std::string_view::npos) return parse_decimal_float(text);
    if (text.find('.') == std::string_view::npos) return std::nullopt;
    return parse_sexagesimal_float(text);
}

ResolvedScalar resolve_yaml11(bool compat, std::string_view text, bool quoted, OptionalTag tag) {
    if (tag) return resolve_tagged(compat, text, *tag);
    if (quoted) return make(ResolvedKind::Str);

    switch (text.size()) {
    case 0: return make(ResolvedKind::Null);
    case 1:
        if (text[0] == '~') return make(ResolvedKind::Null);
        break;
    case 2:
        if (text == "<<") return make(ResolvedKind::Merge);
        break;
    case 4:
        if (text == "null" || text == "Null" || text == "NULL") return make(ResolvedKind::Null);
        break;
    }
    if (auto value = parse_yaml11_bool(compat, text)) return make_bool(*value);
    if (!may_start_number(text[0])) return make(ResolvedKind::Str);

    if (auto value = parse_yaml11_int(text)) return make_int(*value);
    if (is_big_integer(text, true)) return make(ResolvedKind::BigInt);
    if (auto value = parse_yaml11_float(text)) return make_float(*value);
    return make(ResolvedKind::Str);
}

OwnedResolvedScalar resolve_yaml11_owned(bool compat, std::string_view text, bool quoted, OptionalTag tag) {
    return to_owned(resolve_yaml11(compat, text, quoted, tag), text);
}

}  // namespace quillmere::resolver

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
//     12345678901234567890_1         BigInt (beyond the 64-bit range, in
//     0x1_0000_0000_0000_0000               any base but sexagesimal)
//     .inf  1.5  1_000.5  1e5        Float
//     1:30.5                         Float  (sexagesimal, 90.5)
//     anything else                  Str
//
// A quoted scalar is Str. A tagged scalar follows its tag instead
// (resolve_tagged, in resolver.cpp).
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
        std::optional<double> part = parse_sexagesimal_float_part(next_sexagesimal_part(text, more));
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

}  // namespace

std::optional<bool> parse_yaml11_bool(bool compat, std::string_view text) {
    switch (text.size()) {
    case 1:
        if (compat) break;
        if (text[0] == 'y' || text[0] == 'Y') return true;
        if (text[0] == 'n' || text[0] == 'N') return false;
        break;
    case 2:
        if (is_word(text, "on", "On", "ON")) return true;
        if (is_word(text, "no", "No", "NO")) return false;
        break;
    case 3:
        if (is_word(text, "yes", "Yes", "YES")) return true;
        if (is_word(text, "off", "Off", "OFF")) return false;
        break;
    case 4:
        if (is_word(text, "true", "True", "TRUE")) return true;
        break;
    case 5:
        if (is_word(text, "false", "False", "FALSE")) return false;
        break;
    }
    return std::nullopt;
}

std::optional<std::int64_t> parse_yaml11_octal(std::string_view digits) { return parse_unsigned(digits, 8); }

std::optional<IntegerText> split_yaml11_int(std::string_view text, std::string& storage) {
    if (text.empty()) return std::nullopt;
    IntegerText integer;
    if (is_sign(text[0])) {
        integer.negative = text[0] == '-';
        text.remove_prefix(1);
        if (text.empty()) return std::nullopt;
    }
    text = strip_underscores(text, storage);
    if (text.empty()) return std::nullopt;

    integer.digits = text;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        integer.base = 16;
        integer.digits = text.substr(2);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) {
        integer.base = 2;
        integer.digits = text.substr(2);
    } else if (text.size() >= 2 && text[0] == '0' && all_decimal_digits(text)) {
        integer.base = 8;
        integer.digits = text.substr(1);
    } else if (text.find(':') != std::string_view::npos) {
        integer.base = 60;
    }
    return integer;
}

std::optional<std::int64_t> parse_yaml11_int(std::string_view text) {
    std::string storage;
    const std::optional<IntegerText> integer = split_yaml11_int(text, storage);
    std::int64_t value = 0;
    if (!integer || integer_value(*integer, value) != IntegerFit::Fits) return std::nullopt;
    return value;
}

std::optional<double> parse_yaml11_float(std::string_view text, bool require_point) {
    if (auto special = parse_special_float(text)) return special;
    std::string storage;
    text = strip_underscores(text, storage);
    if (require_point && !has_point_or_exponent(text)) return std::nullopt;
    if (text.find(':') == std::string_view::npos) return parse_decimal_float(text);
    if (require_point && text.find('.') == std::string_view::npos) return std::nullopt;
    return parse_sexagesimal_float(text);
}

ResolvedScalar resolve_yaml11(bool compat, std::string_view text, bool quoted, OptionalTag tag) {
    if (tag) return resolve_tagged(compat ? ResolveMode::Yaml11Compat : ResolveMode::Yaml11, text, *tag);
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
        if (is_word(text, "null", "Null", "NULL")) return make(ResolvedKind::Null);
        break;
    }
    if (auto value = parse_yaml11_bool(compat, text)) return make_bool(*value);
    if (!may_start_number(text[0])) return make(ResolvedKind::Str);

    std::string storage;
    if (const std::optional<IntegerText> integer = split_yaml11_int(text, storage)) {
        // A sexagesimal integer beyond 64 bits is no number.
        std::int64_t value = 0;
        if (integer->base != 60 || integer_value(*integer, value) == IntegerFit::Fits)
            if (const std::optional<ResolvedScalar> number = read_integer(*integer)) return *number;
    }
    if (auto value = parse_yaml11_float(text)) return make_float(*value);
    return make(ResolvedKind::Str);
}

}  // namespace quillmere::resolver

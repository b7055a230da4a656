// The YAML 1.2 core schema.
//
// A plain scalar is tried against these rules in order; the first match
// decides:
//
//     ""  ~                    Null
//     <<                       Merge
//     null Null NULL           Null
//     true True TRUE           Bool true      (false False FALSE: false)
//     0  -17  0x1F  0o17       Int            (0123, 1_000, +-5: no)
//     92233720368547758080     BigInt         (beyond the 64-bit range)
//     .inf -.Inf .nan          Float          (special forms)
//     1.5  .5  1.  1e5         Float          (needs '.', 'e' or 'E')
//     anything else            Str
//
// A quoted scalar is Str. A tagged scalar follows its tag instead (see
// resolve_tagged), and a text the tag's reading rejects gives the zero of
// the tag's type.
#include <limits>

#include "resolver/resolver.h"

namespace quillmere::resolver {

namespace {

bool is_true_word(std::string_view text) {
    return text.size() == 4 && (text == "true" || text == "True" || text == "TRUE");
}

// Only these characters can begin a number of the 1.2 rules.
bool may_start_number(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

ResolvedScalar resolve_tagged(std::string_view text, std::string_view tag) {
    std::string_view word = standard_tag_word(tag);
    switch (word.size()) {
    case 3:
        if (word == "int") return make_int(parse_yaml12_int(text).value_or(0));
        break;
    case 4:
        if (word == "null") return make(ResolvedKind::Null);
        if (word == "bool") return make_bool(is_true_word(text));
        break;
    case 5:
        if (word == "float") {
            if (auto special = parse_special_float(text)) return make_float(*special);
            // A bare integer is accepted here as well as the '.'/'e' forms.
            return make_float(parse_decimal_float(text).value_or(0.0));
        }
        break;
    }
    // !!str, !!merge (a plain string in 1.2), the non-specific "!" and
    // custom tags.
    return make(ResolvedKind::Str);
}

}  // namespace

std::optional<double> parse_special_float(std::string_view text) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (text.size() == 4) {
        if (text == ".inf" || text == ".Inf" || text == ".INF") return kInf;
        if (text == ".nan" || text == ".NaN" || text == ".NAN") return std::numeric_limits<double>::quiet_NaN();
    } else if (text.size() == 5) {
        if (text == "+.inf" || text == "+.Inf" || text == "+.INF") return kInf;
        if (text == "-.inf" || text == "-.Inf" || text == "-.INF") return -kInf;
    }
    return std::nullopt;
}

std::optional<std::int64_t> parse_yaml12_int(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
        if (text.empty()) return std::nullopt;
    }
    std::optional<std::int64_t> magnitude;
    if (text.size() >= 2 && text[0] == '0') {
        // 0x and 0o prefixes; any other leading zero is no integer.
        if (text[1] == 'x' || text[1] == 'X') {
            magnitude = parse_unsigned(text.substr(2), 16);
        } else if (text[1] == 'o' || text[1] == 'O') {
            magnitude = parse_unsigned(text.substr(2), 8);
        } else {
            return std::nullopt;
        }
    } else {
        magnitude = parse_unsigned(text, 10);
    }
    // The magnitude is at most INT64_MAX, so the most negative value written
    // out is rejected here and left to the big-integer rule.
    if (magnitude && negative) return -*magnitude;
    return magnitude;
}

ResolvedScalar resolve_yaml12(std::string_view text, bool quoted, OptionalTag tag) {
    if (tag) return resolve_tagged(text, *tag);
    if (quoted) return make(ResolvedKind::Str);

    if (text.empty()) return make(ResolvedKind::Null);
    // Most scalars are words that no rule accepts: only these first
    // characters can begin a null, a bool, a merge key or a number.
    switch (text[0]) {
    case '~':
        if (text.size() == 1) return make(ResolvedKind::Null);
        return make(ResolvedKind::Str);
    case '<':
        if (text == "<<") return make(ResolvedKind::Merge);
        return make(ResolvedKind::Str);
    case 'n': case 'N':
        if (text == "null" || text == "Null" || text == "NULL") return make(ResolvedKind::Null);
        return make(ResolvedKind::Str);
    case 't': case 'T':
        if (is_true_word(text)) return make_bool(true);
        return make(ResolvedKind::Str);
    case 'f': case 'F':
        if (text == "false" || text == "False" || text == "FALSE") return make_bool(false);
        return make(ResolvedKind::Str);
    default:
        if (!may_start_number(text[0])) return make(ResolvedKind::Str);
        break;
    }

    if (auto value = parse_yaml12_int(text)) return make_int(*value);
    if (is_big_integer(text, false)) return make(ResolvedKind::BigInt);
    if (auto special = parse_special_float(text)) return make_float(*special);
    if (has_point_or_exponent(text))
        if (auto value = parse_decimal_float(text)) return make_float(*value);
    return make(ResolvedKind::Str);
}

}  // namespace quillmere::resolver

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
//     92233720368547758080     BigInt         (beyond the 64-bit range, in
//     0x10000000000000000                      any of the three bases)
//     .inf -.Inf .nan          Float          (special forms)
//     1.5  .5  1.  1e5         Float          (needs '.', 'e' or 'E')
//     anything else            Str
//
// A quoted scalar is Str. A tagged scalar follows its tag instead
// (resolve_tagged, in resolver.cpp).
#include <limits>

#include "resolver/resolver.h"

namespace quillmere::resolver {

namespace {

// Only these characters can begin a number of the 1.2 rules.
bool may_start_number(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

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

std::optional<IntegerText> split_yaml12_int(std::string_view text, bool leading_zeros) {
    if (text.empty()) return std::nullopt;
    IntegerText integer;
    if (text[0] == '+' || text[0] == '-') {
        integer.negative = text[0] == '-';
        text.remove_prefix(1);
        if (text.empty()) return std::nullopt;
    }
    integer.digits = text;
    if (text.size() >= 2 && text[0] == '0') {
        // 0x and 0o prefixes; any other leading zero only where allowed.
        if (text[1] == 'x' || text[1] == 'X') {
            integer.base = 16;
            integer.digits = text.substr(2);
        } else if (text[1] == 'o' || text[1] == 'O') {
            integer.base = 8;
            integer.digits = text.substr(2);
        } else if (!leading_zeros) {
            return std::nullopt;
        }
    }
    return integer;
}

std::optional<std::int64_t> parse_yaml12_int(std::string_view text) {
    const std::optional<IntegerText> integer = split_yaml12_int(text, false);
    std::int64_t value = 0;
    if (!integer || integer_value(*integer, value) != IntegerFit::Fits) return std::nullopt;
    return value;
}

ResolvedScalar resolve_yaml12(std::string_view text, bool quoted, OptionalTag tag) {
    if (tag) return resolve_tagged(ResolveMode::Core12, text, *tag);
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
        if (is_word(text, "null", "Null", "NULL")) return make(ResolvedKind::Null);
        return make(ResolvedKind::Str);
    case 't': case 'T':
        if (is_word(text, "true", "True", "TRUE")) return make_bool(true);
        return make(ResolvedKind::Str);
    case 'f': case 'F':
        if (is_word(text, "false", "False", "FALSE")) return make_bool(false);
        return make(ResolvedKind::Str);
    default:
        if (!may_start_number(text[0])) return make(ResolvedKind::Str);
        break;
    }

    if (const std::optional<IntegerText> integer = split_yaml12_int(text, false))
        if (const std::optional<ResolvedScalar> number = read_integer(*integer)) return *number;
    if (auto special = parse_special_float(text)) return make_float(*special);
    if (has_point_or_exponent(text))
        if (auto value = parse_decimal_float(text)) return make_float(*value);
    return make(ResolvedKind::Str);
}

}  // namespace quillmere::resolver

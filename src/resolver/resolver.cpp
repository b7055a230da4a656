// Dispatch between the rule sets, the owned form, the 1.1-versus-1.2
// comparison, and the number readers both rule sets share.
//
// The rule sets themselves are in yaml12.cpp and yaml11.cpp. What they have
// in common lives here: reading digit strings into 64-bit values, the
// decimal float grammar and its conversion, the big-integer rule and the
// recognition of standard tags. For example
//
//     resolve_scalar(Yaml11, "010", false, {})     ->  Int 8
//     resolve_scalar(Core12, "010", false, {})     ->  Str
//     resolution_difference(Yaml11, "010", ...)    ->  ("int", "str")
//     resolve_scalar_owned(Core12, "<<", ...)      ->  Str "<<"
//
// Nothing here consults the locale: digits are ASCII and the float
// conversion is std::from_chars.
#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

#include "resolver/resolver.h"

namespace quillmere::resolver {

namespace {

constexpr std::array<std::string_view, 7> kTypeNames = {"null", "bool", "int", "int", "float", "str", "merge"};
static_assert(std::size_t(ResolvedKind::Merge) + 1 == kTypeNames.size());

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Leading digits of `text` from `i`; returns the index after them.
std::size_t skip_digits(std::string_view text, std::size_t i) {
    while (i < text.size() && is_digit(text[i])) ++i;
    return i;
}

// The decimal order of magnitude of a number that matched the float grammar
// and has a non-zero digit: positive when its value is at least 1. Only its
// sign is used, to tell overflow from underflow, so the exponent saturates.
long order_of_magnitude(std::string_view mantissa, std::string_view exponent) {
    long order = 0;
    std::size_t point = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view{} : mantissa.substr(point + 1);
    std::size_t first = whole.find_first_not_of('0');
    if (first != std::string_view::npos) {
        order = long(whole.size() - first);
    } else {
        std::size_t nonzero = fraction.find_first_not_of('0');
        order = -long(nonzero == std::string_view::npos ? fraction.size() : nonzero);
    }
    bool negative = !exponent.empty() && exponent.front() == '-';
    if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) exponent.remove_prefix(1);
    long e = 0;
    for (char c : exponent) {
        e = e * 10 + (c - '0');
        if (e > 1'000'000'000) break;
    }
    return order + (negative ? -e : e);
}

}  // namespace

std::string_view type_name(ResolvedKind kind) { return kTypeNames[std::size_t(kind)]; }

std::string_view standard_tag_word(std::string_view tag) {
    if (tag.size() > 2 && tag[0] == '!' && tag[1] == '!') return tag.substr(2);
    if (tag.size() > kStandardTagPrefix.size() && tag.substr(0, kStandardTagPrefix.size()) == kStandardTagPrefix)
        return tag.substr(kStandardTagPrefix.size());
    return {};
}

std::string_view strip_underscores(std::string_view text, std::string& storage) {
    std::size_t underscore = text.find('_');
    if (underscore == std::string_view::npos) return text;
    storage.assign(text.substr(0, underscore));
    for (char c : text.substr(underscore + 1))
        if (c != '_') storage += c;
    return storage;
}

std::optional<std::int64_t> parse_unsigned(std::string_view digits, int base) {
    if (digits.empty()) return std::nullopt;
    constexpr std::uint64_t kMax = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    std::uint64_t value = 0;
    for (char c : digits) {
        int d = digit_value(c);
        if (d >= base) return std::nullopt;
        if (value > (kMax - std::uint64_t(d)) / std::uint64_t(base)) return std::nullopt;
        value = value * std::uint64_t(base) + std::uint64_t(d);
    }
    return std::int64_t(value);
}

bool has_point_or_exponent(std::string_view text) {
    for (char c : text)
        if (c == '.' || c == 'e' || c == 'E') return true;
    return false;
}

std::optional<double> parse_decimal_float(std::string_view text) {
    // The grammar is checked here, because std::from_chars also accepts
    // "inf", "nan" and a prefix of the text.
    bool negative = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    std::size_t end = skip_digits(text, i);
    bool digits = end > i;
    if (end < text.size() && text[end] == '.') {
        std::size_t fraction_end = skip_digits(text, end + 1);
        digits = digits || fraction_end > end + 1;
        end = fraction_end;
    }
    if (!digits) return std::nullopt;
    const std::size_t mantissa_end = end;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t j = end + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        std::size_t exponent_end = skip_digits(text, j);
        if (exponent_end == j) return std::nullopt;
        end = exponent_end;
    }
    if (end != text.size()) return std::nullopt;

    // from_chars takes no '+', so the sign is applied afterwards.
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + end, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // The value is left untouched on a range error; rounding gives an
        // infinity above the range and a zero below it.
        std::string_view mantissa = text.substr(start, mantissa_end - start);
        std::string_view exponent = mantissa_end < end ? text.substr(mantissa_end + 1) : std::string_view{};
        value = order_of_magnitude(mantissa, exponent) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc{} || ptr != text.data() + end) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

bool is_big_integer(std::string_view text, bool underscores) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    std::string storage;
    if (underscores) text = strip_underscores(text, storage);
    if (text.size() < 2 || text[0] == '0') return false;
    for (char c : text)
        if (!is_digit(c)) return false;
    return true;
}

OwnedResolvedScalar to_owned(const ResolvedScalar& scalar, std::string_view text) {
    OwnedResolvedScalar owned;
    owned.kind = scalar.kind;
    owned.boolean = scalar.boolean;
    owned.integer = scalar.integer;
    owned.number = scalar.number;
    if (scalar.kind == ResolvedKind::Merge) {
        owned.kind = ResolvedKind::Str;
        owned.text = "<<";
    } else if (scalar.kind == ResolvedKind::BigInt || scalar.kind == ResolvedKind::Str) {
        owned.text = std::string(text);
    }
    return owned;
}

ResolvedScalar resolve_scalar(ResolveMode mode, std::string_view text, bool quoted, OptionalTag tag) {
    switch (mode) {
    case ResolveMode::Core12: return resolve_yaml12(text, quoted, tag);
    case ResolveMode::Yaml11: return resolve_yaml11(false, text, quoted, tag);
    case ResolveMode::Yaml11Compat: return resolve_yaml11(true, text, quoted, tag);
    }
    return resolve_yaml12(text, quoted, tag);
}

OwnedResolvedScalar resolve_scalar_owned(ResolveMode mode, std::string_view text, bool quoted, OptionalTag tag) {
    switch (mode) {
    case ResolveMode::Core12: return to_owned(resolve_yaml12(text, quoted, tag), text);
    case ResolveMode::Yaml11: return resolve_yaml11_owned(false, text, quoted, tag);
    case ResolveMode::Yaml11Compat: return resolve_yaml11_owned(true, text, quoted, tag);
    }
    return to_owned(resolve_yaml12(text, quoted, tag), text);
}

std::optional<std::pair<std::string_view, std::string_view>> resolution_difference(ResolveMode mode,
                                                                                   std::string_view text,
                                                                                   bool quoted, OptionalTag tag) {
    if (mode == ResolveMode::Core12) return std::nullopt;
    std::string_view old_name = type_name(resolve_yaml11(mode == ResolveMode::Yaml11Compat, text, quoted, tag).kind);
    std::string_view new_name = type_name(resolve_yaml12(text, quoted, tag).kind);
    if (old_name == new_name || old_name == "str") return std::nullopt;
    return std::pair{old_name, new_name};
}

}  // namespace quillmere::resolver

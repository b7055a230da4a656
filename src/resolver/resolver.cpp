// Dispatch between the rule sets, the owned form, the 1.1-versus-1.2
// comparison, explicit core tags, and the number readers both rule sets
// share.
//
// The untagged rule sets are in yaml12.cpp and yaml11.cpp. What they have
// in common lives here: reading digit strings into 64-bit values, the
// decimal float grammar and its conversion, the big-integer rule, the
// recognition of standard tags and the reading of tagged texts, which uses
// both rule sets. For example
//
//     resolve_scalar(Yaml11, "010", false, {})         ->  Int 8
//     resolve_scalar(Core12, "010", false, {})         ->  Str
//     resolve_scalar(Core12, "010", false, "!!int")    ->  Int 10
//     resolve_scalar(Core12, "0b11", false, "!!int")   ->  Int 3   (only 1.1 reads it)
//     resolve_scalar(Core12, "0x10000000000000000", false, {})  ->  BigInt,
//                                     whose decimal text is 18446744073709551616
//     resolve_scalar(Core12, "x", false, "!!float")    ->  Invalid
//     resolution_difference(Yaml11, "010", ...)        ->  ("int", "str")
//     resolve_scalar_owned(Core12, "<<", ...)          ->  Str "<<"
//
// Nothing here consults the locale: digits are ASCII and the float
// conversion is std::from_chars.
#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>
#include <vector>

#include "resolver/resolver.h"

namespace quillmere::resolver {

namespace {

constexpr std::array<std::string_view, 8> kTypeNames = {"null", "bool",  "int",   "int",
                                                        "float", "str", "merge", "invalid"};
static_assert(std::size_t(ResolvedKind::Invalid) + 1 == kTypeNames.size());

constexpr std::uint64_t kMaxMagnitude = std::uint64_t(std::numeric_limits<std::int64_t>::max());

// An integer beyond 64 bits written in another base than ten is turned
// into decimal digits, which costs time quadratic in its length: so its
// digits are read up to this many only (the interpreter's own limit for
// converting decimal texts to int).
constexpr std::size_t kMaxConvertedDigits = 4300;

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

// `digits` in `base` as a magnitude of at most kMaxMagnitude; the digits are
// checked to the end even when the value has grown too large.
IntegerFit read_magnitude(std::string_view digits, int base, std::uint64_t& value) {
    if (digits.empty()) return IntegerFit::Invalid;
    // Up to this many digits the value cannot pass kMaxMagnitude, so no
    // digit needs the check (and its division).
    const std::size_t always_fits = base == 10 ? 18 : base == 16 ? 15 : base == 8 ? 20 : base == 2 ? 62 : 0;
    if (digits.size() <= always_fits) {
        std::uint64_t v = 0;
        for (char c : digits) {
            const int d = digit_value(c);
            if (d >= base) return IntegerFit::Invalid;
            v = v * std::uint64_t(base) + std::uint64_t(d);
        }
        value = v;
        return IntegerFit::Fits;
    }
    value = 0;
    bool too_large = false;
    for (char c : digits) {
        const int d = digit_value(c);
        if (d >= base) return IntegerFit::Invalid;
        if (too_large) continue;
        if (value > (kMaxMagnitude - std::uint64_t(d)) / std::uint64_t(base)) {
            too_large = true;
            continue;
        }
        value = value * std::uint64_t(base) + std::uint64_t(d);
    }
    return too_large ? IntegerFit::TooLarge : IntegerFit::Fits;
}

// 1:30 -> 90. Every part is decimal and every part after the first at most
// 59; only the first may be too large by itself.
IntegerFit read_sexagesimal_magnitude(std::string_view text, std::uint64_t& value) {
    value = 0;
    bool first = true;
    bool too_large = false;
    bool more = true;
    while (more) {
        std::uint64_t part = 0;
        const IntegerFit fit = read_magnitude(next_sexagesimal_part(text, more), 10, part);
        if (fit == IntegerFit::Invalid) return IntegerFit::Invalid;
        if (first) {
            first = false;
            too_large = fit == IntegerFit::TooLarge;
            value = part;
            continue;
        }
        if (fit == IntegerFit::TooLarge || part > 59) return IntegerFit::Invalid;
        if (too_large || value > (kMaxMagnitude - part) / 60) {
            too_large = true;
            continue;
        }
        value = value * 60 + part;
    }
    return too_large ? IntegerFit::TooLarge : IntegerFit::Fits;
}

// The decimal digits of a valid integer text's magnitude, however large,
// built in base-10^9 limbs (least significant first).
std::string decimal_magnitude(const IntegerText& integer) {
    constexpr std::uint64_t kLimb = 1'000'000'000;
    std::vector<std::uint32_t> limbs;
    auto multiply_add = [&](std::uint32_t factor, std::uint32_t addend) {
        std::uint64_t carry = addend;
        for (std::uint32_t& limb : limbs) {
            const std::uint64_t v = std::uint64_t(limb) * factor + carry;
            limb = std::uint32_t(v % kLimb);
            carry = v / kLimb;
        }
        for (; carry != 0; carry /= kLimb) limbs.push_back(std::uint32_t(carry % kLimb));
    };
    if (integer.base == 60) {
        std::string_view rest = integer.digits;
        bool more = true;
        for (bool first = true; more; first = false) {
            const std::string_view part = next_sexagesimal_part(rest, more);
            if (first) {
                for (char c : part) multiply_add(10, std::uint32_t(digit_value(c)));
            } else {
                multiply_add(60, std::uint32_t(parse_unsigned(part, 10).value_or(0)));
            }
        }
    } else {
        for (char c : integer.digits) multiply_add(std::uint32_t(integer.base), std::uint32_t(digit_value(c)));
    }
    if (limbs.empty()) return "0";
    std::string out = std::to_string(limbs.back());
    for (std::size_t i = limbs.size() - 1; i-- > 0;) {
        const std::string limb = std::to_string(limbs[i]);
        out.append(9 - limb.size(), '0');
        out += limb;
    }
    return out;
}

// Tries the reading of the load's own rule set first and the other one's
// after it; gives the first value found.
template <class Reading, class Yaml12, class Yaml11>
std::optional<Reading> first_reading(ResolveMode mode, Yaml12 yaml12, Yaml11 yaml11) {
    if (mode == ResolveMode::Core12) {
        if (std::optional<Reading> value = yaml12()) return value;
        return yaml11();
    }
    if (std::optional<Reading> value = yaml11()) return value;
    return yaml12();
}

// The integer text that an explicit !!int reads in `text`, with its fit.
struct TaggedInteger {
    IntegerText integer;
    IntegerFit fit;
    std::int64_t value;
};

std::optional<TaggedInteger> read_tagged_integer(ResolveMode mode, std::string_view text, std::string& storage) {
    auto fitting = [](std::optional<IntegerText> integer) -> std::optional<TaggedInteger> {
        if (!integer) return std::nullopt;
        TaggedInteger reading{*integer, IntegerFit::Invalid, 0};
        reading.fit = integer_value(*integer, reading.value);
        if (reading.fit == IntegerFit::Invalid) return std::nullopt;
        return reading;
    };
    return first_reading<TaggedInteger>(
        mode, [&] { return fitting(split_yaml12_int(text, true)); },
        [&] { return fitting(split_yaml11_int(text, storage)); });
}

bool is_null_word(std::string_view text) {
    return text.empty() || text == "~" || is_word(text, "null", "Null", "NULL");
}

std::optional<bool> parse_yaml12_bool(std::string_view text) {
    if (is_word(text, "true", "True", "TRUE")) return true;
    if (is_word(text, "false", "False", "FALSE")) return false;
    return std::nullopt;
}

ResolvedScalar resolve_tagged_int(ResolveMode mode, std::string_view text) {
    std::string storage;
    const std::optional<TaggedInteger> reading = read_tagged_integer(mode, text, storage);
    if (!reading) return make(ResolvedKind::Invalid);
    if (reading->fit == IntegerFit::Fits) return make_int(reading->value);
    if (!converts_to_decimal(reading->integer)) return make(ResolvedKind::Invalid);
    return make(ResolvedKind::BigInt);
}

ResolvedScalar resolve_tagged_float(ResolveMode mode, std::string_view text) {
    const std::optional<double> value = first_reading<double>(
        mode,
        [&] {
            if (auto special = parse_special_float(text)) return special;
            return parse_decimal_float(text);
        },
        [&] { return parse_yaml11_float(text, false); });
    return value ? make_float(*value) : make(ResolvedKind::Invalid);
}

ResolvedScalar resolve_tagged_bool(ResolveMode mode, std::string_view text) {
    // The one-letter booleans are read unless the load leaves them out.
    const std::optional<bool> value = first_reading<bool>(
        mode, [&] { return parse_yaml12_bool(text); },
        [&] { return parse_yaml11_bool(mode == ResolveMode::Yaml11Compat, text); });
    return value ? make_bool(*value) : make(ResolvedKind::Invalid);
}

}  // namespace

std::string_view type_name(ResolvedKind kind) { return kTypeNames[std::size_t(kind)]; }

std::string_view standard_tag_word(std::string_view tag) {
    if (tag.size() > 2 && tag[0] == '!' && tag[1] == '!') return tag.substr(2);
    if (tag.size() > 3 && tag.starts_with("!<") && tag.back() == '>') tag = tag.substr(2, tag.size() - 3);
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
    std::uint64_t value = 0;
    if (read_magnitude(digits, base, value) != IntegerFit::Fits) return std::nullopt;
    return std::int64_t(value);
}

std::string_view next_sexagesimal_part(std::string_view& text, bool& more) {
    const std::size_t colon = text.find(':');
    const std::string_view part = text.substr(0, colon);
    more = colon != std::string_view::npos;
    text = more ? text.substr(colon + 1) : std::string_view{};
    return part;
}

IntegerFit integer_value(const IntegerText& integer, std::int64_t& value) {
    std::uint64_t magnitude = 0;
    const IntegerFit fit = integer.base == 60 ? read_sexagesimal_magnitude(integer.digits, magnitude)
                                              : read_magnitude(integer.digits, integer.base, magnitude);
    // The magnitude is at most INT64_MAX, so the most negative value is
    // TooLarge and left to the big-integer rule.
    value = integer.negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    return fit;
}

ResolvedScalar resolve_tagged(ResolveMode mode, std::string_view text, std::string_view tag) {
    const std::string_view word = standard_tag_word(tag);
    switch (word.size()) {
    case 3:
        if (word == "int") return resolve_tagged_int(mode, text);
        break;
    case 4:
        if (word == "null") return make(is_null_word(text) ? ResolvedKind::Null : ResolvedKind::Invalid);
        if (word == "bool") return resolve_tagged_bool(mode, text);
        break;
    case 5:
        if (word == "float") return resolve_tagged_float(mode, text);
        if (word == "merge") return make(ResolvedKind::Merge);
        break;
    }
    // !!str, other standard tags, the non-specific "!" and custom tags.
    return make(ResolvedKind::Str);
}

std::string_view big_integer_text(ResolveMode mode, std::string_view text, std::string& storage) {
    std::string underscores_removed;
    const std::optional<TaggedInteger> reading = read_tagged_integer(mode, text, underscores_removed);
    if (!reading) return text;
    const IntegerText& integer = reading->integer;
    if (integer.base == 10) {
        const std::size_t first = integer.digits.find_first_not_of('0');
        if (first == 0 || first == std::string_view::npos) return text;  // decimal as written
        storage = integer.negative ? "-" : "";
        storage += integer.digits.substr(first);
        return storage;
    }
    storage = integer.negative ? "-" : "";
    storage += decimal_magnitude(integer);
    return storage;
}

std::string invalid_tagged_text_message(std::string_view tag, std::string_view text) {
    std::string message = "cannot read '";
    message += text;
    message += "' as !!";
    message += standard_tag_word(tag);
    return message;
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

bool converts_to_decimal(const IntegerText& integer) {
    return integer.base == 10 || integer.digits.size() <= kMaxConvertedDigits;
}

std::optional<ResolvedScalar> read_integer(const IntegerText& integer) {
    std::int64_t value = 0;
    switch (integer_value(integer, value)) {
        case IntegerFit::Fits: return make_int(value);
        case IntegerFit::TooLarge:
            if (converts_to_decimal(integer)) return make(ResolvedKind::BigInt);
            return std::nullopt;
        case IntegerFit::Invalid: return std::nullopt;
    }
    return std::nullopt;
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
    const ResolvedScalar scalar = resolve_scalar(mode, text, quoted, tag);
    if (scalar.kind == ResolvedKind::BigInt) {
        std::string storage;
        return to_owned(scalar, big_integer_text(mode, text, storage));
    }
    return to_owned(scalar, text);
}

OwnedResolvedScalar resolve_yaml11_owned(bool compat, std::string_view text, bool quoted, OptionalTag tag) {
    return resolve_scalar_owned(compat ? ResolveMode::Yaml11Compat : ResolveMode::Yaml11, text, quoted, tag);
}

std::optional<std::pair<std::string_view, std::string_view>> resolution_difference(ResolveMode mode,
                                                                                   std::string_view text,
                                                                                   bool quoted, OptionalTag tag) {
    if (mode == ResolveMode::Core12) return std::nullopt;
    const ResolvedKind old_kind = resolve_yaml11(mode == ResolveMode::Yaml11Compat, text, quoted, tag).kind;
    const ResolvedKind new_kind = resolve_yaml12(text, quoted, tag).kind;
    if (old_kind == ResolvedKind::Invalid || new_kind == ResolvedKind::Invalid) return std::nullopt;
    std::string_view old_name = type_name(old_kind);
    std::string_view new_name = type_name(new_kind);
    if (old_name == new_name || old_name == "str") return std::nullopt;
    return std::pair{old_name, new_name};
}

}  // namespace quillmere::resolver

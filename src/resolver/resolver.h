// Plain-scalar resolution: what a scalar's text means.
//
// Pure functions over a scalar's text, whether it was quoted, and an
// optional tag, under one of three rule sets:
//
//     Core12        YAML 1.2 core schema:  yes -> Str,  0o17 -> Int 15
//     Yaml11        YAML 1.1 types:        yes -> Bool, 010 -> Int 8, y -> Bool
//     Yaml11Compat  YAML 1.1 without the one-letter booleans y, Y, n, N
//
// The borrowed form carries no text: for BigInt and Str the value is the
// input text, which the caller still holds. The owned form copies the text
// and never holds Merge (it becomes Str "<<").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quillmere::resolver {

enum class ResolveMode : std::uint8_t { Core12 = 0, Yaml11 = 1, Yaml11Compat = 2 };

enum class ResolvedKind : std::uint8_t { Null, Bool, Int, BigInt, Float, Str, Merge };

// The borrowed form.
struct ResolvedScalar {
    ResolvedKind kind = ResolvedKind::Str;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0.0;

    friend bool operator==(const ResolvedScalar&, const ResolvedScalar&) = default;
};

// The owned form: `text` holds the BigInt or Str text.
struct OwnedResolvedScalar {
    ResolvedKind kind = ResolvedKind::Str;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0.0;
    std::string text;
};

// Results, as the rule sets make them.
inline ResolvedScalar make(ResolvedKind kind) { return ResolvedScalar{.kind = kind}; }
inline ResolvedScalar make_bool(bool value) { return ResolvedScalar{.kind = ResolvedKind::Bool, .boolean = value}; }
inline ResolvedScalar make_int(std::int64_t value) {
    return ResolvedScalar{.kind = ResolvedKind::Int, .integer = value};
}
inline ResolvedScalar make_float(double value) { return ResolvedScalar{.kind = ResolvedKind::Float, .number = value}; }

// "null", "bool", "int" (Int and BigInt), "float", "str", "merge".
std::string_view type_name(ResolvedKind kind);

// The YAML standard tag prefix, "tag:yaml.org,2002:".
inline constexpr std::string_view kStandardTagPrefix = "tag:yaml.org,2002:";

// `tag` is the tag text, short ("!!int") or long (kStandardTagPrefix +
// "int"); nullopt for an untagged scalar.
using OptionalTag = std::optional<std::string_view>;

ResolvedScalar resolve_yaml12(std::string_view text, bool quoted, OptionalTag tag);
ResolvedScalar resolve_yaml11(bool compat, std::string_view text, bool quoted, OptionalTag tag);
ResolvedScalar resolve_scalar(ResolveMode mode, std::string_view text, bool quoted, OptionalTag tag);
OwnedResolvedScalar resolve_yaml11_owned(bool compat, std::string_view text, bool quoted, OptionalTag tag);
OwnedResolvedScalar resolve_scalar_owned(ResolveMode mode, std::string_view text, bool quoted, OptionalTag tag);

// (type name under the 1.1 rules, type name under the 1.2 rules) when the
// two readings differ and the 1.1 reading is not a string; nothing otherwise.
std::optional<std::pair<std::string_view, std::string_view>> resolution_difference(ResolveMode mode,
                                                                                   std::string_view text,
                                                                                   bool quoted, OptionalTag tag);

// Helpers of the rule sets.
std::optional<std::int64_t> parse_yaml12_int(std::string_view text);
std::optional<std::int64_t> parse_yaml11_int(std::string_view text);
std::optional<std::int64_t> parse_yaml11_octal(std::string_view digits);
std::optional<bool> parse_yaml11_bool(bool compat, std::string_view text);
std::optional<double> parse_yaml11_float(std::string_view text);
std::optional<double> parse_special_float(std::string_view text);
// `text` without '_'; `storage` holds the copy when one was needed.
std::string_view strip_underscores(std::string_view text, std::string& storage);

// Shared by the two rule sets.

// The type word of a standard tag ("int" for "!!int" and for
// "tag:yaml.org,2002:int"); empty for every other tag.
std::string_view standard_tag_word(std::string_view tag);
// `digits` in `base` (2, 8, 10 or 16; hexadecimal letters in either case) as
// a value of at most INT64_MAX. Empty text, a sign or any other character,
// and larger values are rejected.
std::optional<std::int64_t> parse_unsigned(std::string_view digits, int base);
// A decimal floating-point number, whole text: an optional sign, digits with
// an optional fraction (not both sides of the point empty), an optional
// exponent. No spaces, underscores, words or hexadecimal forms. The result is
// correctly rounded; beyond the double range it is an infinity or a zero.
std::optional<double> parse_decimal_float(std::string_view text);
// True when `text` holds '.', 'e' or 'E'.
bool has_point_or_exponent(std::string_view text);
// The big-integer rule for texts the integer parser rejected: an optional
// sign, then two or more digits not starting with '0' (after removing every
// '_' when `underscores` is set).
bool is_big_integer(std::string_view text, bool underscores);
// The owned form of `scalar`, which was resolved from `text`.
OwnedResolvedScalar to_owned(const ResolvedScalar& scalar, std::string_view text);

}  // namespace quillmere::resolver

// Plain-scalar resolution: what a scalar's text means.
//
// Pure functions over a scalar's text, whether it was quoted, and an
// optional tag, under one of three rule sets:
//
//     Core12        YAML 1.2 core schema:  yes -> Str,  0o17 -> Int 15
//     Yaml11        YAML 1.1 types:        yes -> Bool, 010 -> Int 8, y -> Bool
//     Yaml11Compat  YAML 1.1 without the one-letter booleans y, Y, n, N
//
// An explicit core tag (!!null, !!bool, !!int, !!float, !!merge) reads the
// text by the tag's grammar, first under the load's own rule set and then
// under the other one, and never invents a value: a text that neither
// grammar reads is Invalid.
//
//     !!int 017      Core12: Int 17     Yaml11: Int 15     (each mode's reading first)
//     !!float 1_000  Float 1000 in every mode              (only the 1.1 grammar reads it)
//     !!int abc      Invalid
//
// The borrowed form carries no text: for BigInt and Str the value is the
// input text, which the caller still holds (a BigInt written in another
// base than ten, tagged or not, has its decimal text from
// big_integer_text).
// The owned form copies the text and never holds Merge (it becomes Str
// "<<").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quillmere::resolver {

enum class ResolveMode : std::uint8_t { Core12 = 0, Yaml11 = 1, Yaml11Compat = 2 };

// Invalid: the text cannot be read under its explicit core tag.
enum class ResolvedKind : std::uint8_t { Null, Bool, Int, BigInt, Float, Str, Merge, Invalid };

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

// "null", "bool", "int" (Int and BigInt), "float", "str", "merge",
// "invalid".
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
// two readings differ and the 1.1 reading is not a string; nothing otherwise,
// and nothing when either reading is Invalid.
std::optional<std::pair<std::string_view, std::string_view>> resolution_difference(ResolveMode mode,
                                                                                   std::string_view text,
                                                                                   bool quoted, OptionalTag tag);

// The decimal text of the BigInt that `text` resolved to, tagged or not:
// `text` itself when it is written in decimal without leading zeros (sign
// and underscores as written), else the value's digits, made in `storage`.
std::string_view big_integer_text(ResolveMode mode, std::string_view text, std::string& storage);

// The message for a text that its explicit core tag cannot read: "cannot
// read 'abc' as !!int". `tag` is the short or the long form.
std::string invalid_tagged_text_message(std::string_view tag, std::string_view text);

// Helpers of the rule sets.
std::optional<std::int64_t> parse_yaml12_int(std::string_view text);
std::optional<std::int64_t> parse_yaml11_int(std::string_view text);
std::optional<std::int64_t> parse_yaml11_octal(std::string_view digits);
std::optional<bool> parse_yaml11_bool(bool compat, std::string_view text);
// With `require_point` false, as an explicit !!float reads it, a text
// without '.', 'e' or 'E' is a float too (1_000, 1:30).
std::optional<double> parse_yaml11_float(std::string_view text, bool require_point = true);
std::optional<double> parse_special_float(std::string_view text);
// `text` without '_'; `storage` holds the copy when one was needed.
std::string_view strip_underscores(std::string_view text, std::string& storage);

// Shared by the two rule sets.

// True when `text` is one of the three spellings of a word (null, Null,
// NULL). Most plain scalars meet such a test, so it compares bytes of a
// known length, inline.
template <std::size_t N>
[[gnu::always_inline]] inline bool is_word(std::string_view text, const char (&lower)[N], const char (&title)[N],
                                           const char (&upper)[N]) {
    if (text.size() != N - 1) return false;
    return std::memcmp(text.data(), lower, N - 1) == 0 || std::memcmp(text.data(), title, N - 1) == 0 ||
           std::memcmp(text.data(), upper, N - 1) == 0;
}

// The type word of a standard tag ("int" for "!!int", for
// "tag:yaml.org,2002:int" and for its verbatim form
// "!<tag:yaml.org,2002:int>", as trees keep it); empty for every other tag.
std::string_view standard_tag_word(std::string_view tag);
// `digits` in `base` (2, 8, 10 or 16; hexadecimal letters in either case) as
// a value of at most INT64_MAX. Empty text, a sign or any other character,
// and larger values are rejected.
std::optional<std::int64_t> parse_unsigned(std::string_view digits, int base);

// An integer text taken apart: its sign and the digits of its magnitude in
// `base` (2, 8, 10 or 16), or for base 60 the sexagesimal parts as written,
// joined by ':'. The digits are not checked yet.
struct IntegerText {
    bool negative = false;
    int base = 10;
    std::string_view digits;
};
// The 1.2 grammar: an optional sign, then 0x or 0o and digits, or decimal
// digits; a leading zero before more digits only when `leading_zeros`.
std::optional<IntegerText> split_yaml12_int(std::string_view text, bool leading_zeros);
// The 1.1 grammar (0x, 0b, 0 for octal, sexagesimal parts, decimal), with
// every '_' removed first, into `storage` when there is one.
std::optional<IntegerText> split_yaml11_int(std::string_view text, std::string& storage);

enum class IntegerFit : std::uint8_t { Fits, TooLarge, Invalid };
// The value of an integer text, sign applied. TooLarge: every digit is
// valid but the magnitude exceeds INT64_MAX. Invalid: a character is no
// digit of the base, or a sexagesimal part is empty or, after the first,
// above 59.
IntegerFit integer_value(const IntegerText& text, std::int64_t& value);
// A decimal floating-point number, whole text: an optional sign, digits with
// an optional fraction (not both sides of the point empty), an optional
// exponent. No spaces, underscores, words or hexadecimal forms. The result is
// correctly rounded; beyond the double range it is an infinity or a zero.
std::optional<double> parse_decimal_float(std::string_view text);
// True when `text` holds '.', 'e' or 'E'.
bool has_point_or_exponent(std::string_view text);
// Whether an integer beyond 64 bits is read as BigInt: one in decimal
// always, one in another base up to kMaxConvertedDigits digits.
bool converts_to_decimal(const IntegerText& integer);
// The reading of an integer text of a rule set's grammar: Int when it
// fits, BigInt beyond 64 bits, nothing when a character is no digit of its
// base (or the text is too long to convert).
std::optional<ResolvedScalar> read_integer(const IntegerText& integer);
// A text under an explicit tag (short or long form): the core tags read it
// by their grammars, every other tag gives Str.
ResolvedScalar resolve_tagged(ResolveMode mode, std::string_view text, std::string_view tag);
// Splits `text` at ':' one part at a time: returns the part before the next
// ':' (or the rest), moves `text` past it and tells whether a ':' followed.
std::string_view next_sexagesimal_part(std::string_view& text, bool& more);
// The owned form of `scalar`, which was resolved from `text`.
OwnedResolvedScalar to_owned(const ResolvedScalar& scalar, std::string_view text);

}  // namespace quillmere::resolver

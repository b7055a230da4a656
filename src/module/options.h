// The option bits: one unsigned 64-bit set per call, passed as `option=`.
// Bits without a constant are ignored everywhere.
#pragma once

#include <array>
#include <cstdint>

namespace quillmere::module {

inline constexpr std::uint64_t OPT_YAML_1_1 = 0x1;
inline constexpr std::uint64_t OPT_PYYAML_COMPAT = 0x2;
inline constexpr std::uint64_t OPT_UPGRADE_1_1 = 0x4;
inline constexpr std::uint64_t OPT_YAML_1_1_WARN = 0x8;
inline constexpr std::uint64_t OPT_ROUND_TRIP = 0x10;
inline constexpr std::uint64_t OPT_ANNOTATED = 0x20;
inline constexpr std::uint64_t OPT_ANNOTATE_NUMBERS = 0x40;
inline constexpr std::uint64_t OPT_INCLUDES = 0x80;
inline constexpr std::uint64_t OPT_INCLUDE_DIR_RECURSIVE = 0x100;
inline constexpr std::uint64_t OPT_SECRETS = 0x200;
inline constexpr std::uint64_t OPT_ENV_VAR = 0x400;
inline constexpr std::uint64_t OPT_SECRET_NOT_FOUND_WARN = 0x800;
inline constexpr std::uint64_t OPT_ENV_VAR_NOT_FOUND_WARN = 0x1000;
inline constexpr std::uint64_t OPT_PASSTHROUGH_TAG = 0x2000;
inline constexpr std::uint64_t OPT_DUPLICATE_KEYS_ERROR = 0x4000;
inline constexpr std::uint64_t OPT_DUPLICATE_KEYS_WARN = 0x8000;
inline constexpr std::uint64_t OPT_REJECT_COMPLEX_KEYS = 0x10000;
inline constexpr std::uint64_t OPT_INDENT_2 = 0x20000;
inline constexpr std::uint64_t OPT_INDENT_4 = 0x40000;
inline constexpr std::uint64_t OPT_INDENTLESS_SEQUENCES = 0x80000;
inline constexpr std::uint64_t OPT_FLOW_STYLE = 0x100000;
inline constexpr std::uint64_t OPT_SORT_KEYS = 0x200000;
inline constexpr std::uint64_t OPT_EXPLICIT_START = 0x400000;
inline constexpr std::uint64_t OPT_EXPLICIT_END = 0x800000;
inline constexpr std::uint64_t OPT_SINGLE_QUOTES = 0x1000000;
inline constexpr std::uint64_t OPT_NULL_AS_KEYWORD = 0x2000000;
inline constexpr std::uint64_t OPT_NULL_AS_TILDE = 0x4000000;
inline constexpr std::uint64_t OPT_SERIALIZE_NUMPY = 0x8000000;
inline constexpr std::uint64_t OPT_PASSTHROUGH_DATETIME = 0x10000000;
inline constexpr std::uint64_t OPT_PASSTHROUGH_DATACLASS = 0x20000000;
inline constexpr std::uint64_t OPT_OMIT_MICROSECONDS = 0x40000000;
inline constexpr std::uint64_t OPT_NAIVE_UTC = 0x80000000;
inline constexpr std::uint64_t OPT_UTC_Z = 0x100000000;

struct OptionConstant {
    const char* name;
    std::uint64_t value;
};

// In the order in which the module adds them.
inline constexpr std::array<OptionConstant, 33> kOptionConstants = {{
    {"OPT_YAML_1_1", OPT_YAML_1_1},
    {"OPT_PYYAML_COMPAT", OPT_PYYAML_COMPAT},
    {"OPT_UPGRADE_1_1", OPT_UPGRADE_1_1},
    {"OPT_YAML_1_1_WARN", OPT_YAML_1_1_WARN},
    {"OPT_ROUND_TRIP", OPT_ROUND_TRIP},
    {"OPT_ANNOTATED", OPT_ANNOTATED},
    {"OPT_ANNOTATE_NUMBERS", OPT_ANNOTATE_NUMBERS},
    {"OPT_INCLUDES", OPT_INCLUDES},
    {"OPT_INCLUDE_DIR_RECURSIVE", OPT_INCLUDE_DIR_RECURSIVE},
    {"OPT_SECRETS", OPT_SECRETS},
    {"OPT_ENV_VAR", OPT_ENV_VAR},
    {"OPT_SECRET_NOT_FOUND_WARN", OPT_SECRET_NOT_FOUND_WARN},
    {"OPT_ENV_VAR_NOT_FOUND_WARN", OPT_ENV_VAR_NOT_FOUND_WARN},
    {"OPT_PASSTHROUGH_TAG", OPT_PASSTHROUGH_TAG},
    {"OPT_DUPLICATE_KEYS_ERROR", OPT_DUPLICATE_KEYS_ERROR},
    {"OPT_DUPLICATE_KEYS_WARN", OPT_DUPLICATE_KEYS_WARN},
    {"OPT_REJECT_COMPLEX_KEYS", OPT_REJECT_COMPLEX_KEYS},
    {"OPT_INDENT_2", OPT_INDENT_2},
    {"OPT_INDENT_4", OPT_INDENT_4},
    {"OPT_INDENTLESS_SEQUENCES", OPT_INDENTLESS_SEQUENCES},
    {"OPT_FLOW_STYLE", OPT_FLOW_STYLE},
    {"OPT_SORT_KEYS", OPT_SORT_KEYS},
    {"OPT_EXPLICIT_START", OPT_EXPLICIT_START},
    {"OPT_EXPLICIT_END", OPT_EXPLICIT_END},
    {"OPT_SINGLE_QUOTES", OPT_SINGLE_QUOTES},
    {"OPT_NULL_AS_KEYWORD", OPT_NULL_AS_KEYWORD},
    {"OPT_NULL_AS_TILDE", OPT_NULL_AS_TILDE},
    {"OPT_SERIALIZE_NUMPY", OPT_SERIALIZE_NUMPY},
    {"OPT_PASSTHROUGH_DATETIME", OPT_PASSTHROUGH_DATETIME},
    {"OPT_PASSTHROUGH_DATACLASS", OPT_PASSTHROUGH_DATACLASS},
    {"OPT_OMIT_MICROSECONDS", OPT_OMIT_MICROSECONDS},
    {"OPT_NAIVE_UTC", OPT_NAIVE_UTC},
    {"OPT_UTC_Z", OPT_UTC_Z},
}};

}  // namespace quillmere::module

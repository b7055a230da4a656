// The %YAML directive: its version word, and the sniff that finds the
// version of a leading directive before anything is scanned.
//
// sniff_yaml_version looks only at the lines before the first content
// line, without scanning:
//
//     # comment
//     %TAG ! tag:x,2024:
//     %YAML 1.1          ->  (1, 1)
//
// Anything it does not recognise gives no version; it never fails.
// read_yaml_directive reads the words after "%YAML", for the sniff and for
// the decoder, which rejects a directive that is not well formed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quillmere::scanner {

struct YamlVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    friend bool operator==(const YamlVersion&, const YamlVersion&) = default;
};

struct YamlDirective {
    // The version word is major.minor, both non-empty ASCII digits, and
    // after it comes nothing or a comment.
    bool well_formed = false;
    // The version word's numbers, when it is major.minor in ASCII digits
    // that fit in 32 bits each, whatever follows it.
    std::optional<YamlVersion> version;
};

// `arguments`: the words of the directive after "YAML".
YamlDirective read_yaml_directive(std::span<const std::string_view> arguments);

std::optional<YamlVersion> sniff_yaml_version(std::string_view text);

}  // namespace quillmere::scanner

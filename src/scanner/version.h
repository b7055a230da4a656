// sniff_yaml_version: the version of a leading %YAML directive.
//
// Looks only at the lines before the first content line, without scanning:
//
//     # comment
//     %TAG ! tag:x,2024:
//     %YAML 1.1          ->  (1, 1)
//
// Anything it does not recognise gives no version; it never fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmere::scanner {

struct YamlVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    friend bool operator==(const YamlVersion&, const YamlVersion&) = default;
};

std::optional<YamlVersion> sniff_yaml_version(std::string_view text);

}  // namespace quillmere::scanner

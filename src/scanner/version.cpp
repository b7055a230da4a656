#include "scanner/version.h"

#include <algorithm>
#include <vector>

#include "scanner/reader.h"
#include "scanner/unicode.h"

namespace quillmere::scanner {

namespace {

// A number of ASCII digits, saturated just above the 32-bit range; nothing
// when the part is empty or holds another character.
std::optional<std::uint64_t> read_number(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min<std::uint64_t>(value * 10 + std::uint64_t(c - '0'), std::uint64_t(1) << 32);
    }
    return value;
}

}  // namespace

YamlDirective read_yaml_directive(std::span<const std::string_view> arguments) {
    YamlDirective directive;
    if (arguments.empty() || arguments[0].front() == '#') return directive;
    const std::string_view word = arguments[0];
    const std::size_t dot = word.find('.');
    if (dot == std::string_view::npos) return directive;
    const std::optional<std::uint64_t> major = read_number(word.substr(0, dot));
    const std::optional<std::uint64_t> minor = read_number(word.substr(dot + 1));
    if (!major || !minor) return directive;
    directive.well_formed = arguments.size() == 1 || arguments[1].front() == '#';
    if (*major <= 0xFFFFFFFFu && *minor <= 0xFFFFFFFFu)
        directive.version = YamlVersion{std::uint32_t(*major), std::uint32_t(*minor)};
    return directive;
}

std::optional<YamlVersion> sniff_yaml_version(std::string_view text) {
    while (!text.empty()) {
        std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        // Byte-order marks may start any line before the first document.
        while (line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());

        line = trim_white_space_start(trim_white_space_end(line));
        if (line.empty() || line.front() == '#') continue;
        if (line.front() != '%') return std::nullopt;
        const std::vector<std::string_view> words = split_words(line.substr(1));
        if (words.empty() || words[0] != "YAML") continue;
        return read_yaml_directive(std::span(words).subspan(1)).version;
    }
    return std::nullopt;
}

}  // namespace quillmere::scanner

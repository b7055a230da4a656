#include "parse/directives.h"

#include <span>
#include <string>
#include <vector>

#include "resolver/resolver.h"
#include "scanner/unicode.h"
#include "scanner/version.h"

namespace quillmere::parse {

namespace {

Err<LocatedError> fail(std::string message, Span span) {
    return Err<LocatedError>{LocatedError{std::move(message), span, LocatedErrorKind::Parse}};
}

// The named handle of a tag ("!e!" of "!e!x"), or empty when there is none.
std::string_view named_handle(std::string_view tag) {
    const std::size_t second = tag.find('!', 1);
    if (second == std::string_view::npos) return {};
    return tag.substr(0, second + 1);
}

}  // namespace

Result<DirectiveKind, LocatedError> read_directive(const Token& token, DirectiveGroup& group) {
    const std::vector<std::string_view> words = scanner::split_words(token.text);
    if (words.empty()) return DirectiveKind::Reserved;
    if (words[0] == "YAML") {
        // The version is the caller's to use; here it only has to be well formed.
        if (!scanner::read_yaml_directive(std::span(words).subspan(1)).well_formed)
            return fail("invalid %YAML directive", token.span);
        if (group.seen_yaml) return fail("duplicate %YAML directive", token.span);
        group.seen_yaml = true;
        return DirectiveKind::Yaml;
    }
    if (words[0] == "TAG") {
        if (words.size() < 3) return DirectiveKind::Reserved;
        const std::string_view handle = words[1];
        if (handle.front() != '!' || handle.back() != '!') return DirectiveKind::Reserved;
        if (!group.handles.emplace(handle, words[2]).second)
            return fail("duplicate %TAG directive for handle '" + std::string(handle) + "'", token.span);
        return DirectiveKind::Tag;
    }
    return DirectiveKind::Reserved;
}

Result<TagParts, LocatedError> split_tag(const Token& token, const TagHandles& handles) {
    const std::string_view tag = token.text;
    if (tag.starts_with("!<")) {
        // A verbatim standard tag is that tag: !<tag:yaml.org,2002:int> is !!int.
        const std::string_view uri = tag.substr(2, tag.size() - 3);
        return TagParts{{}, uri.starts_with(resolver::kStandardTagPrefix) ? uri : tag};
    }
    if (tag.starts_with("!!")) {
        auto it = handles.find(std::string_view("!!"));
        return TagParts{it != handles.end() ? it->second : resolver::kStandardTagPrefix, tag.substr(2)};
    }
    const std::string_view handle = named_handle(tag);
    if (!handle.empty()) {
        auto it = handles.find(handle);
        if (it == handles.end()) return fail("undefined tag handle: " + std::string(handle), token.span);
        return TagParts{it->second, tag.substr(handle.size())};
    }
    auto it = handles.find(std::string_view("!"));
    if (it == handles.end()) return TagParts{{}, tag};
    return TagParts{it->second, tag.substr(1)};
}

bool is_custom_tag(std::string_view tag) {
    return !(tag.starts_with("!!") || tag.starts_with(resolver::kStandardTagPrefix));
}

}  // namespace quillmere::parse

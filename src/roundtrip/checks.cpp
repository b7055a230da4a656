// Duplicate keys, YAML 1.1 warnings and the 1.1 upgrade over trees.
//
// Canonical key texts, for the mapping
//
//     {1: a, 1.0: b, "1": c, [x, 2]: d, *k: e, ~: f}
//
// are i:1, i:1, s:1:1, seq:[s:1:x,i:2], alias:1:k and null: the first two
// keys are one Python dict entry, so the second is a duplicate. Numbers
// compare by value as Python compares them (True, 1, 1.0 and the big
// integer 1 are equal; 0.0 and -0.0 too); texts carry their length, so no
// text can pass for a list of several. A float that is not integral is
// f: and its shortest decimal text; NaN is f:NaN, so two NaN keys count
// as repeated, as their texts are.
//
// Every walk goes through the stack guard: trees made by edits can be far
// deeper than the composer's nesting limit.
#include "roundtrip/checks.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_set>

#include "common/hash.h"
#include "common/stack_guard.h"
#include "decode/key_set.h"
#include "encode/scalar_text.h"

namespace quillmere::roundtrip {

using resolver::OwnedResolvedScalar;
using resolver::ResolvedKind;

namespace {

resolver::OptionalTag tag_of(const YamlNode& node) {
    return node.tag() ? resolver::OptionalTag(*node.tag()) : std::nullopt;
}

OwnedResolvedScalar resolve(const YamlNode& scalar, ResolveMode mode) {
    return resolver::resolve_scalar_owned(mode, scalar.text(), scalar.scalar_style() != ScalarStyle::Plain,
                                          tag_of(scalar));
}

void append_decimal(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void append_number(std::string& out, const OwnedResolvedScalar& scalar) {
    switch (scalar.kind) {
        case ResolvedKind::Bool:
            out += scalar.boolean ? "i:1" : "i:0";
            return;
        case ResolvedKind::Int:
            out += "i:";
            append_decimal(out, scalar.integer);
            return;
        case ResolvedKind::BigInt:
            // As written, less the forms that do not change the value.
            out += "i:";
            for (std::size_t i = 0; i < scalar.text.size(); ++i) {
                const char c = scalar.text[i];
                if (c != '_' && !(i == 0 && c == '+')) out += c;
            }
            return;
        default:
            break;
    }
    const double value = scalar.number;
    if (std::isnan(value)) {
        out += "f:NaN";
    } else if (std::isinf(value)) {
        out += value < 0 ? "f:-inf" : "f:inf";
    } else if (const std::optional<std::string> whole = decode::whole_number_text(Value::floating(value))) {
        out += "i:";
        out += *whole;
    } else {
        char buffer[400];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
        out += "f:";
        out.append(buffer, result.ptr);
    }
}

void append_text(std::string& out, std::string_view prefix, std::string_view text) {
    out += prefix;
    out += std::to_string(text.size());
    out += ':';
    out += text;
}

void append_canonical(std::string& out, const YamlNode& node, ResolveMode mode) {
    switch (node.kind()) {
        case NodeKind::Null:
            out += "null";
            return;
        case NodeKind::Alias:
            append_text(out, "alias:", node.text());
            return;
        case NodeKind::Scalar: {
            const OwnedResolvedScalar scalar = resolve(node, mode);
            if (scalar.kind == ResolvedKind::Null) {
                out += "null";
            } else if (scalar.kind == ResolvedKind::Invalid) {
                // A text that its core tag cannot read: the same text and tag.
                append_text(out, "invalid:", node.text());
                append_text(out, ":", *node.tag());
            } else if (scalar.kind == ResolvedKind::Str) {
                append_text(out, "s:", scalar.text);
            } else {
                append_number(out, scalar);
            }
            return;
        }
        case NodeKind::Sequence: {
            out += "seq:[";
            bool first = true;
            for (const YamlNode& item : node.items()) {
                if (!first) out += ',';
                first = false;
                with_stack_guard([&] { append_canonical(out, item, mode); });
            }
            out += ']';
            return;
        }
        case NodeKind::Mapping: {
            out += "map:{";
            bool first = true;
            for (const NodePair& pair : node.pairs()) {
                if (!first) out += ',';
                first = false;
                with_stack_guard([&] { append_canonical(out, pair.key, mode); });
                out += '=';
                with_stack_guard([&] { append_canonical(out, pair.value, mode); });
            }
            out += '}';
            return;
        }
    }
}

// A key as messages show it: a scalar's text, any other node in debug
// notation, such as Sequence([Scalar("a"), Alias("b")]).
void append_debug(std::string& out, const YamlNode& node) {
    switch (node.kind()) {
        case NodeKind::Null:
            out += "Null";
            return;
        case NodeKind::Scalar:
        case NodeKind::Alias:
            out += node.is(NodeKind::Scalar) ? "Scalar(" : "Alias(";
            encode::write_double_quoted(out, node.text());
            out += ')';
            return;
        case NodeKind::Sequence: {
            out += "Sequence([";
            bool first = true;
            for (const YamlNode& item : node.items()) {
                if (!first) out += ", ";
                first = false;
                with_stack_guard([&] { append_debug(out, item); });
            }
            out += "])";
            return;
        }
        case NodeKind::Mapping: {
            out += "Mapping([";
            bool first = true;
            for (const NodePair& pair : node.pairs()) {
                if (!first) out += ", ";
                first = false;
                out += '(';
                with_stack_guard([&] { append_debug(out, pair.key); });
                out += ", ";
                with_stack_guard([&] { append_debug(out, pair.value); });
                out += ')';
            }
            out += "])";
            return;
        }
    }
}

std::string display_text(const YamlNode& key) {
    if (key.is(NodeKind::Scalar)) return key.text();
    std::string out;
    append_debug(out, key);
    return out;
}

using KeyTexts = std::unordered_set<std::string, SeededHash, TextEqual>;

// Walks `node` in document order and reports each repeated key to
// `report`, which returns false to stop the walk. Returns false when
// stopped.
template <class Report>
bool walk_duplicates(const YamlNode& node, ResolveMode mode, Report& report) {
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (!with_stack_guard([&] { return walk_duplicates(item, mode, report); })) return false;
    } else if (node.is(NodeKind::Mapping)) {
        KeyTexts seen;
        for (const NodePair& pair : node.pairs()) {
            std::string text = canonical_key(pair.key, mode);
            if (text != "s:2:<<" && !seen.insert(std::move(text)).second && !report(pair.key)) return false;
            if (!with_stack_guard([&] { return walk_duplicates(pair.key, mode, report); })) return false;
            if (!with_stack_guard([&] { return walk_duplicates(pair.value, mode, report); })) return false;
        }
    }
    return true;
}

template <class Visit>
void walk_scalars(const YamlNode& node, Visit& visit) {
    if (node.is(NodeKind::Scalar)) {
        visit(node);
    } else if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items()) with_stack_guard([&] { walk_scalars(item, visit); });
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) {
            with_stack_guard([&] { walk_scalars(pair.key, visit); });
            with_stack_guard([&] { walk_scalars(pair.value, visit); });
        }
    }
}

void upgrade_node(YamlNode& node, ResolveMode mode) {
    if (node.is(NodeKind::Sequence)) {
        for (YamlNode& item : node.items()) with_stack_guard([&] { upgrade_node(item, mode); });
        return;
    }
    if (node.is(NodeKind::Mapping)) {
        for (NodePair& pair : node.pairs()) {
            with_stack_guard([&] { upgrade_node(pair.key, mode); });
            with_stack_guard([&] { upgrade_node(pair.value, mode); });
        }
        return;
    }
    if (!node.is(NodeKind::Scalar) || node.scalar_style() != ScalarStyle::Plain) return;

    const OwnedResolvedScalar old_reading = resolver::resolve_scalar_owned(mode, node.text(), false, tag_of(node));
    const OwnedResolvedScalar new_reading =
        resolver::resolve_scalar_owned(ResolveMode::Core12, node.text(), false, tag_of(node));
    if (old_reading.kind == ResolvedKind::Invalid) return;
    if (old_reading.kind == ResolvedKind::Str) {
        // A string that the 1.2 rules would type keeps its text in quotes.
        // Under a tag, quotes change nothing: the tag decides alone.
        if (new_reading.kind != ResolvedKind::Str && !node.tag()) {
            node.set_scalar_style(ScalarStyle::DoubleQuoted);
            node.comments.modified = true;
        }
        return;
    }
    if (old_reading.kind == new_reading.kind) {
        bool same = true;
        switch (old_reading.kind) {
            case ResolvedKind::Bool: same = old_reading.boolean == new_reading.boolean; break;
            case ResolvedKind::Int: same = old_reading.integer == new_reading.integer; break;
            case ResolvedKind::BigInt: same = old_reading.text == new_reading.text; break;
            case ResolvedKind::Float:
                same = old_reading.number == new_reading.number ||
                       (std::isnan(old_reading.number) && std::isnan(new_reading.number));
                break;
            default: break;
        }
        if (same) return;
    }
    std::string text;
    switch (old_reading.kind) {
        case ResolvedKind::Null: text = "null"; break;
        case ResolvedKind::Bool: text = old_reading.boolean ? "true" : "false"; break;
        case ResolvedKind::Int: append_decimal(text, old_reading.integer); break;
        case ResolvedKind::Float: text = encode::format_float(old_reading.number); break;
        case ResolvedKind::BigInt:
            for (char c : old_reading.text)
                if (c != '_') text += c;
            break;
        default: return;
    }
    node.text() = std::move(text);
    node.comments.modified = true;
}

}  // namespace

std::string canonical_key(const YamlNode& key, ResolveMode mode) {
    std::string out;
    append_canonical(out, key, mode);
    return out;
}

std::optional<LocatedError> first_duplicate_key(const YamlNode& tree, ResolveMode mode) {
    std::optional<LocatedError> found;
    auto report = [&](const YamlNode& key) {
        found = LocatedError{"duplicate mapping key: " + display_text(key), key.span, LocatedErrorKind::DuplicateKey};
        return false;
    };
    walk_duplicates(tree, mode, report);
    return found;
}

std::optional<LocatedError> check_duplicate_keys(std::span<const YamlNode> roots, ResolveMode mode) {
    for (const YamlNode& root : roots)
        if (auto found = first_duplicate_key(root, mode)) return found;
    return std::nullopt;
}

void duplicate_key_warnings(const YamlNode& tree, ResolveMode mode, std::vector<std::string>& warnings) {
    auto report = [&](const YamlNode& key) {
        warnings.push_back("duplicate mapping key '" + display_text(key) + "' at line " +
                           std::to_string(key.span.line + 1) + ", column " + std::to_string(key.span.column + 1) +
                           "; keeping the last value");
        return true;
    };
    walk_duplicates(tree, mode, report);
}

std::vector<std::string> collect_duplicate_key_warnings(std::span<const YamlNode> roots, ResolveMode mode) {
    std::vector<std::string> warnings;
    for (const YamlNode& root : roots) duplicate_key_warnings(root, mode, warnings);
    return warnings;
}

void yaml11_warnings(const YamlNode& tree, ResolveMode mode, std::vector<std::string>& warnings) {
    auto visit = [&](const YamlNode& scalar) {
        const auto difference = resolver::resolution_difference(
            mode, scalar.text(), scalar.scalar_style() != ScalarStyle::Plain, tag_of(scalar));
        if (!difference) return;
        warnings.push_back("YAML 1.1 syntax '" + scalar.text() + "' resolves as " + std::string(difference->first) +
                           " in 1.1 but " + std::string(difference->second) + " in 1.2 at line " +
                           std::to_string(scalar.span.line + 1) + ", column " +
                           std::to_string(scalar.span.column + 1));
    };
    walk_scalars(tree, visit);
}

std::vector<std::string> collect_yaml11_warnings(std::span<const YamlNode> roots, ResolveMode mode) {
    std::vector<std::string> warnings;
    for (const YamlNode& root : roots) yaml11_warnings(root, mode, warnings);
    return warnings;
}

void upgrade_1_1(YamlNode& tree, ResolveMode mode) {
    if (mode == ResolveMode::Core12) return;
    upgrade_node(tree, mode);
}

}  // namespace quillmere::roundtrip

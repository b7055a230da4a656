// Duplicate keys, YAML 1.1 warnings and the 1.1 upgrade over trees.
//
// Each key gets the canonical text of its value, and equal texts get one
// number. For the mapping
//
//     {&k 1: a, 1.0: b, "1": c, [x, 2]: d, *k: e, ~: f}
//
// the scalar keys read i:1, i:1, s:1:1 and null, the sequence
// seq:[#n#m] with the numbers of s:1:x and i:2, and the alias the number
// of the node it stands for, i:1: the keys 1.0 and *k are one Python dict
// entry with the first, so both are duplicates. Numbers compare by value
// as Python compares them (True, 1, 1.0 and the big integer 1 are equal;
// 0.0 and -0.0 too); texts carry their length, so no text can pass for
// another. A float that is not integral is f: and its shortest decimal
// text; NaN is f:NaN, so two NaN keys count as repeated, as their texts
// are.
//
// Every walk goes through the stack guard: trees made by edits can be far
// deeper than the composer's nesting limit.
#include "roundtrip/checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/hash.h"
#include "common/stack_guard.h"
#include "decode/key_set.h"
#include "encode/scalar_text.h"
#include "roundtrip/anchors.h"

namespace quillmere::roundtrip {

using resolver::OwnedResolvedScalar;
using resolver::ResolvedKind;

namespace {

resolver::OptionalTag tag_of(const YamlNode& node) { return node.tag_meaning(); }

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

// The canonical text of a scalar or null key.
void append_scalar_canonical(std::string& out, const YamlNode& node, ResolveMode mode) {
    if (node.is(NodeKind::Null)) {
        out += "null";
        return;
    }
    const OwnedResolvedScalar scalar = resolve(node, mode);
    if (scalar.kind == ResolvedKind::Null) {
        out += "null";
    } else if (scalar.kind == ResolvedKind::Invalid) {
        // A text that its core tag cannot read: the same text and tag.
        append_text(out, "invalid:", node.text());
        append_text(out, ":", *node.tag_meaning());
    } else if (scalar.kind == ResolvedKind::Str) {
        append_text(out, "s:", scalar.text);
    } else {
        append_number(out, scalar);
    }
}

constexpr std::string_view kMergeKeyText = "s:2:<<";

// Numbers the keys of one tree by their canonical texts: equal numbers
// for keys that are one Python dict entry. A collection's text is made of
// its children's numbers, and an alias has the number of the node it
// stands for, found once per anchored node: a key that aliases a large or
// deeply aliased collection costs no more than its own children, so the
// whole check stays linear in the tree.
class KeyNumbers {
public:
    KeyNumbers(const YamlNode& tree, ResolveMode mode) : tree_(tree), mode_(mode) {}

    std::uint64_t number(const YamlNode& key) {
        std::string text;
        switch (key.kind()) {
            case NodeKind::Null:
            case NodeKind::Scalar:
                append_scalar_canonical(text, key, mode_);
                break;
            case NodeKind::Alias: {
                const YamlNode* target = target_of(key);
                if (target == nullptr) {
                    append_text(text, "alias:", key.text());
                    break;
                }
                if (const auto known = by_target_.find(target); known != by_target_.end()) return known->second;
                const std::uint64_t id = with_stack_guard([&] { return number(*target); });
                by_target_.emplace(target, id);
                return id;
            }
            case NodeKind::Sequence:
                text += "seq:[";
                for (const YamlNode& item : key.items()) append_number_of(text, item);
                text += ']';
                break;
            case NodeKind::Mapping:
                text += "map:{";
                for (const NodePair& pair : key.pairs()) {
                    append_number_of(text, pair.key);
                    text += '=';
                    append_number_of(text, pair.value);
                }
                text += '}';
                break;
        }
        return numbers_.emplace(std::move(text), numbers_.size()).first->second;
    }

    // The node an alias stands for; null when it stands for none (or
    // `key` is no alias). Only definitions complete before an alias count,
    // so no alias stands for a node around it.
    const YamlNode* target_of(const YamlNode& key) {
        if (!key.is(NodeKind::Alias)) return nullptr;
        if (!targets_) targets_.emplace(std::span(&tree_, 1), AliasTargets::Unpreceded::Nothing);
        return targets_->find(key);
    }

    // Whether a scalar key numbered `id` is a merge key "<<", plain or
    // quoted, which the check passes over.
    bool is_merge_key(const YamlNode& key, std::uint64_t id) const {
        if (!key.is(NodeKind::Scalar)) return false;
        const auto merge = numbers_.find(kMergeKeyText);
        return merge != numbers_.end() && merge->second == id;
    }

private:
    void append_number_of(std::string& text, const YamlNode& child) {
        text += '#';
        text += std::to_string(with_stack_guard([&] { return number(child); }));
    }

    const YamlNode& tree_;
    ResolveMode mode_;
    std::optional<AliasTargets> targets_;
    std::unordered_map<std::string, std::uint64_t, SeededHash, TextEqual> numbers_;
    std::unordered_map<const YamlNode*, std::uint64_t> by_target_;
};

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


// A key as messages show it: a scalar's text, any other node in debug
// notation; an alias as the node it stands for, as the plain road shows
// the value it reads.
std::string display_text(const YamlNode& key, KeyNumbers& numbers) {
    const YamlNode* target = numbers.target_of(key);
    const YamlNode& shown = target != nullptr ? *target : key;
    if (shown.is(NodeKind::Scalar)) return shown.text();
    std::string out;
    append_debug(out, shown);
    return out;
}

// Walks `node` in document order and reports each repeated key to
// `report`, which returns false to stop the walk. Returns false when
// stopped.
template <class Report>
bool walk_duplicates(const YamlNode& node, KeyNumbers& numbers, Report& report) {
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (!with_stack_guard([&] { return walk_duplicates(item, numbers, report); })) return false;
    } else if (node.is(NodeKind::Mapping)) {
        std::unordered_set<std::uint64_t> seen;
        for (const NodePair& pair : node.pairs()) {
            const std::uint64_t id = numbers.number(pair.key);
            if (!numbers.is_merge_key(pair.key, id) && !seen.insert(id).second && !report(pair.key, numbers))
                return false;
            if (!with_stack_guard([&] { return walk_duplicates(pair.key, numbers, report); })) return false;
            if (!with_stack_guard([&] { return walk_duplicates(pair.value, numbers, report); })) return false;
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
            node.mark_rewritten();
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
    node.mark_rewritten();
    node.text() = std::move(text);
    node.comments.modified = true;
}

}  // namespace

std::optional<LocatedError> first_duplicate_key(const YamlNode& tree, ResolveMode mode) {
    std::optional<LocatedError> found;
    auto report = [&](const YamlNode& key, KeyNumbers& numbers) {
        found = LocatedError{"duplicate mapping key: " + display_text(key, numbers), key.span,
                             LocatedErrorKind::DuplicateKey};
        return false;
    };
    KeyNumbers numbers(tree, mode);
    walk_duplicates(tree, numbers, report);
    return found;
}

std::optional<LocatedError> check_duplicate_keys(std::span<const YamlNode> roots, ResolveMode mode) {
    for (const YamlNode& root : roots)
        if (auto found = first_duplicate_key(root, mode)) return found;
    return std::nullopt;
}

void duplicate_key_warnings(const YamlNode& tree, ResolveMode mode, std::vector<std::string>& warnings) {
    auto report = [&](const YamlNode& key, KeyNumbers& numbers) {
        warnings.push_back("duplicate mapping key '" + display_text(key, numbers) + "' at line " +
                           std::to_string(key.span.line + 1) + ", column " + std::to_string(key.span.column + 1) +
                           "; keeping the last value");
        return true;
    };
    KeyNumbers numbers(tree, mode);
    walk_duplicates(tree, numbers, report);
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

void upgrade_stream_1_1(std::span<YamlNode> roots, ResolveMode mode) {
    for (std::size_t i = 0; i < roots.size(); ++i) {
        YamlNode& root = roots[i];
        upgrade_1_1(root, mode);
        if (root.directives().empty()) continue;
        std::vector<std::string>& lines = root.mutable_directives();
        const auto is_version = [](const std::string& line) {
            return line.starts_with("%YAML") && line.size() > 5 && (line[5] == ' ' || line[5] == '\t');
        };
        const auto kept = std::remove_if(lines.begin(), lines.end(), is_version);
        if (kept == lines.end()) continue;
        lines.erase(kept, lines.end());
        if (i > 0) root.comments.modified = true;
    }
}

}  // namespace quillmere::roundtrip

// Edits of round-trip documents: item assignment on documents and views,
// the node setters (value, anchor, comment, comment_before), make_alias
// and detach.
//
// Every edit walks its handle's path, checks everything it needs, and only
// then changes the tree, so a refused edit changes nothing. It marks the
// nodes it wrote (comments.modified) and nothing else; serialising and
// saving find the marks and re-emit.
//
//     # ports                      doc["port"] = 81
//     port: &p 80  # http    ->    # ports
//     copy: *p                     port: &p 81  # http
//                                  copy: *p
//
// A replaced value keeps the comments, anchor and tag of the node it
// replaces, except a standard tag (!!int, ...), which would make the new
// value read back as something else. Five rules keep every edit writable
// and every written text loadable:
//
// - Content that a directive produced and that save() writes back as the
//   directive again (what !include_dir_*, !secret and !env_var made) cannot
//   be edited: the edit would be lost. An included file's root is written
//   back into that file, so what lies below it can be edited.
// - No edit leaves an alias without its anchor in its own file (each file
//   is read on its own): removing or renaming an anchor, or replacing a
//   subtree that defines one, is refused while an alias elsewhere uses the
//   name and no other node of the alias's file defines it; make_alias
//   refuses an anchor of another file.
// - New mapping keys are quoted when their plain text would read back as
//   something else ("123", "a: b", "").
// - Anchor names and comment texts are checked against what YAML can
//   write: no blanks, breaks or flow indicators in a name, no line break
//   in a comment.
// - No file nests deeper than loading accepts (1000 levels from its root).
#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/hash.h"
#include "common/stack_guard.h"
#include "document/document_api.h"
#include "parse/parser.h"
#include "py/errors.h"
#include "py/text.h"
#include "resolver/resolver.h"
#include "results/tree_values.h"
#include "roundtrip/anchors.h"
#include "roundtrip/queries.h"
#include "roundtrip/emitter.h"
#include "scanner/unicode.h"

namespace quillmere::document {

using roundtrip::AliasTargets;
using roundtrip::Comments;
using roundtrip::DocumentState;
using roundtrip::IncludeSource;
using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::Path;
using roundtrip::PathSegment;
using roundtrip::TextKey;
using roundtrip::TextPlace;
using roundtrip::YamlNode;
using roundtrip::kAliasExpansionBudget;

namespace {

void raise_stale_node() { PyErr_SetString(PyExc_KeyError, "stale node"); }
void raise_stale_view() { PyErr_SetString(PyExc_KeyError, "stale view"); }

// Raises `type` with a message that names a user's text (an anchor name, a
// tag) whole: a C format would cut the text at a NUL and name another one.
void raise_naming(PyObject* type, std::string_view before, std::string_view name, std::string_view after) {
    std::string message;
    message.reserve(before.size() + name.size() + after.size());
    message.append(before).append(name).append(after);
    py::ref text = py::text_to_str(message);
    if (text) PyErr_SetObject(type, text.get());
}

// ------------------------------------------------------------ arguments

// An index as the interpreter reads one (an int, or anything with
// __index__), as an unsigned 64-bit number. Nothing, with the interpreter's
// own exception set, for anything else or a negative or too large number.
std::optional<std::uint64_t> read_index(PyObject* key) {
    py::ref index = py::ref::steal(PyNumber_Index(key));
    if (!index) return std::nullopt;
    const unsigned long long number = PyLong_AsUnsignedLongLong(index.get());
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return static_cast<std::uint64_t>(number);
}

// The UTF-8 text of a str argument; a TypeError naming the argument for
// anything else.
std::optional<std::string_view> text_argument(PyObject* object, const char* name) {
    if (!PyUnicode_Check(object)) {
        PyErr_Format(PyExc_TypeError, "expected str, not %s", Py_TYPE(object)->tp_name);
        py::add_argument_note(name);
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (text == nullptr) {
        py::add_argument_note(name);
        return std::nullopt;
    }
    return std::string_view(text, static_cast<std::size_t>(size));
}

// The code points of valid UTF-8 text (str arguments always are), passed
// to `visit` until it returns false; whether all were visited.
template <class Visit>
bool each_code_point(std::string_view text, Visit&& visit) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t point = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (!visit(point)) return false;
        i += length;
    }
    return true;
}

// YAML's printable characters, line breaks and the byte order mark
// excepted (nb-char): what a comment may hold.
bool is_comment_char(char32_t c) {
    if (c == '\t') return true;
    if (c < 0x20 || c == 0x7F || c == 0xFEFF) return false;
    if (c >= 0x80 && c < 0xA0) return c == 0x85;
    if (c >= 0xD800 && c < 0xE000) return false;
    return c != 0xFFFE && c != 0xFFFF;
}

// What an anchor name may hold (ns-anchor-char): a comment character that
// is not a blank or a flow indicator.
bool is_anchor_char(char32_t c) {
    if (c == ' ' || c == '\t' || c == ',' || c == '[' || c == ']' || c == '{' || c == '}') return false;
    return is_comment_char(c);
}

// What YAML 1.1 reads as a line break besides line feed and carriage
// return: NEL, the line and the paragraph separator.
bool is_yaml11_break(char32_t c) { return c == 0x85 || c == 0x2028 || c == 0x2029; }

// Checks a comment line: no line break (`line_feed_allowed` lets '\n'
// separate lines), not even one that only YAML 1.1 reads as one, and
// nothing YAML cannot write in a comment.
bool check_comment_text(std::string_view text, bool line_feed_allowed) {
    char32_t refused = 0;
    const bool ok = each_code_point(text, [&](char32_t c) {
        if (c == '\n' && line_feed_allowed) return true;
        if (is_comment_char(c) && !is_yaml11_break(c)) return true;
        refused = c;
        return false;
    });
    if (ok) return true;
    if (is_yaml11_break(refused)) {
        PyErr_SetString(PyExc_ValueError, "comment text cannot contain a line break");
    } else if (refused == '\n' || refused == '\r') {
        PyErr_SetString(PyExc_ValueError, line_feed_allowed ? "comment text cannot contain a carriage return"
                                                            : "comment text cannot contain a line break");
    } else {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(refused));
        PyErr_Format(PyExc_ValueError, "comment text cannot contain the character %s", code);
    }
    return false;
}

bool check_anchor_name(std::string_view name) {
    if (name.empty()) {
        PyErr_SetString(PyExc_ValueError, "anchor name cannot be empty");
        return false;
    }
    if (each_code_point(name, is_anchor_char)) return true;
    raise_naming(PyExc_ValueError, "anchor name '", name,
                 "' is not allowed in YAML: it cannot contain blanks, line breaks, control characters or any of "
                 ", [ ] { }");
    return false;
}

// ------------------------------------------------------------ tree walks

// Visits every node of `top`'s subtree, keys included, in document order
// and without recursion. `visit` returns whether to go below the node.
template <class Visit>
void visit_nodes(const YamlNode& top, Visit&& visit) {
    std::vector<const YamlNode*> stack{&top};
    while (!stack.empty()) {
        const YamlNode* node = stack.back();
        stack.pop_back();
        if (!visit(*node)) continue;
        if (node->is(NodeKind::Sequence)) {
            const auto& items = node->items();
            for (auto item = items.rbegin(); item != items.rend(); ++item) stack.push_back(&*item);
        } else if (node->is(NodeKind::Mapping)) {
            const auto& pairs = node->pairs();
            for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
                stack.push_back(&pair->value);
                stack.push_back(&pair->key);
            }
        }
    }
}

// ------------------------------------------------------------ what save writes

// Whether save() would write an edit at `path` from `root`. Walking down,
// each node that a directive produced decides for what lies below it: an
// included file's root is written back into its file, anything else a
// directive made (at any depth of includes) is written as the directive
// again. `with_last` counts the addressed node itself (an edit of its
// properties or of its entries) rather than only the nodes above it (an
// edit that replaces it, dropping its provenance). A stale path is left to
// the caller's walk.
bool check_writable(const YamlNode& root, const Path& path, bool with_last) {
    const IncludeSource* blocking = nullptr;
    const YamlNode* node = &root;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() && !with_last) break;
        if (const auto& source = node->source()) {
            // An included file whose root is a directive holds that
            // directive: what it produced decides.
            const IncludeSource& produced = roundtrip::innermost_source(*source);
            blocking = produced.target_file_id ? nullptr : &produced;
        }
        if (i == path.size()) break;
        node = child_at(*node, path[i]);
        if (node == nullptr) return true;
    }
    if (blocking == nullptr) return true;
    raise_naming(PyExc_ValueError, "cannot edit content produced by ", blocking->tag,
                 ": save() could not write it back");
    return false;
}

// ------------------------------------------------------------ which file

// The text (queries.h: TextKey) of the node at `path` from `root`; with
// `replaced`, of a node that replaces it there and carries no provenance
// of its own. A stale path gives the text of the last node it reaches.
TextKey text_at(const YamlNode& root, const Path& path, bool replaced) {
    TextPlace place;
    const YamlNode* node = &root;
    for (std::size_t i = 0;; ++i) {
        if (i < path.size() || !replaced) place = roundtrip::place_within(*node, place);
        if (i == path.size()) break;
        const YamlNode* child = child_at(*node, path[i]);
        if (child == nullptr) break;
        node = child;
    }
    return roundtrip::text_key(*node, place);
}

// ------------------------------------------------------------ nesting

// The level of the node at `path` in the file its text is written in, the
// file's root counting one; with `replaced`, of a node that replaces it
// there and carries no provenance of its own. An included file's root is
// the first level of its own file.
std::uint64_t level_in_file(const YamlNode& root, const Path& path, bool replaced) {
    auto is_include_root = [](const YamlNode& node) { return node.source() && node.source()->target_file_id; };
    std::uint64_t level = 1;
    const YamlNode* node = &root;
    for (const PathSegment& step : path) {
        const YamlNode* child = child_at(*node, step);
        if (child == nullptr) break;
        level = (is_include_root(*node) ? 1 : level) + 1;
        node = child;
    }
    return !replaced && is_include_root(*node) ? 1 : level;
}

// Refuses a new node whose file would then nest deeper than loading
// accepts: `fresh` at `level` of its file.
bool check_nesting(std::uint64_t level, const YamlNode& fresh) {
    if (level - 1 + roundtrip::nesting_levels(fresh) <= parse::kMaxDepth) return true;
    PyErr_Format(PyExc_ValueError,
                 "value is too deeply nested to assign here: its file would nest more than %u levels, which loading "
                 "refuses",
                 static_cast<unsigned>(parse::kMaxDepth));
    return false;
}

// ------------------------------------------------------------ anchors

// What an edit takes away from `region`.
enum class Removal : std::uint8_t {
    Subtree,    // the node with everything below it
    Below,      // everything below the node; its own anchor stays
    OwnAnchor,  // only the node's anchor
};

// Refuses an edit that would leave an alias without its anchor: one of the
// names the removal takes away is used by an alias that stays, and no node
// that stays defines it before the alias in its document and in its file,
// where reading the written text looks for it (a definition counts from
// the end of its node on).
bool check_aliases_keep_anchors(const DocumentState& state, const YamlNode& region, Removal removal) {
    std::unordered_set<std::string_view, SeededHash, TextEqual> removed;
    if (removal == Removal::OwnAnchor) {
        if (region.anchor()) removed.insert(*region.anchor());
    } else {
        visit_nodes(region, [&](const YamlNode& node) {
            if (node.anchor() && (removal == Removal::Subtree || &node != &region)) removed.insert(*node.anchor());
            return true;
        });
    }
    if (removed.empty()) return true;

    // Each document in document order as it reads after the edit; a node is
    // met twice, entering (its aliases) and leaving (its anchor). A
    // definition is kept as its name and the text it is written in.
    auto defined_in = [](std::string_view name, TextKey text) {
        std::string entry(name);
        entry.append(reinterpret_cast<const char*>(&text), sizeof text);
        return entry;
    };
    struct Step {
        const YamlNode* node;
        bool leaving;
        TextPlace around;  // where the node stands
    };
    std::optional<std::string_view> orphan;
    for (const YamlNode& root : state.documents) {
        std::unordered_set<std::string, SeededHash, TextEqual> defined;
        std::vector<Step> stack{{&root, false, TextPlace{}}};
        while (!stack.empty() && !orphan) {
            const auto [node, leaving, around] = stack.back();
            stack.pop_back();
            const bool in_region = node == &region;
            const TextPlace place = roundtrip::place_within(*node, around);
            if (leaving) {
                if (node->anchor() && removed.contains(*node->anchor()) && !(in_region && removal == Removal::OwnAnchor))
                    defined.insert(defined_in(*node->anchor(), roundtrip::text_key(*node, place)));
                continue;
            }
            if (in_region && removal == Removal::Subtree) continue;
            if (node->is(NodeKind::Alias) && removed.contains(node->text()) &&
                !defined.contains(defined_in(node->text(), roundtrip::text_key(*node, place)))) {
                orphan = node->text();
                break;
            }
            stack.push_back({node, true, around});
            if (in_region && removal == Removal::Below) continue;
            if (node->is(NodeKind::Sequence)) {
                const auto& items = node->items();
                for (auto item = items.rbegin(); item != items.rend(); ++item) stack.push_back({&*item, false, place});
            } else if (node->is(NodeKind::Mapping)) {
                const auto& pairs = node->pairs();
                for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
                    stack.push_back({&pair->value, false, place});
                    stack.push_back({&pair->key, false, place});
                }
            }
        }
        if (orphan) break;
    }
    if (!orphan) return true;
    const std::string uses = std::string("' is still used by an alias (*").append(*orphan).append(
        "); an edit cannot remove it while the alias remains");
    raise_naming(PyExc_ValueError, "anchor '&", *orphan, uses);
    return false;
}

// Refuses a name that a node other than `target` defines in the handle's
// document, on keys too.
bool check_anchor_unique(const YamlNode& document, const YamlNode* target, std::string_view name) {
    bool taken = false;
    visit_nodes(document, [&](const YamlNode& node) {
        if (&node != target && node.anchor() == name) taken = true;
        return !taken;
    });
    if (!taken) return true;
    raise_naming(PyExc_ValueError, "anchor name '", name, "' is already used by another node");
    return false;
}

// Position of the entry a path step names in `container` (entry_position
// of its key, or the item index); none when the container has no such
// entry.
std::optional<std::uint64_t> step_position(const YamlNode& container, const PathSegment& step) {
    if (container.is(NodeKind::Sequence) && step.is_index()) {
        if (step.index() < container.items().size()) return step.index();
        return std::nullopt;
    }
    if (container.is(NodeKind::Mapping) && step.is_key()) return roundtrip::entry_position(container.pairs(), step.key());
    return std::nullopt;
}

// Whether the node at `anchor` comes before the node at `alias` in the
// document, neither containing the other: at the first step where the
// paths part, the anchor's entry is the earlier one. An alias step the
// container lacks counts as later (the node is stale; its walk says so).
bool comes_before(const YamlNode& document, const Path& anchor, const Path& alias) {
    const YamlNode* container = &document;
    std::size_t i = 0;
    while (i < anchor.size() && i < alias.size() && anchor[i] == alias[i]) {
        container = child_at(*container, anchor[i]);
        if (container == nullptr) return false;
        ++i;
    }
    if (i == anchor.size() || i == alias.size()) return false;
    const std::optional<std::uint64_t> first = step_position(*container, anchor[i]);
    const std::optional<std::uint64_t> second = step_position(*container, alias[i]);
    return first && (!second || *first < *second);
}

// Whether a node below `node` (at `path` from `document`) defines `name`
// and is written in `text`; the first such in pre-order over the
// addressable nodes (as anchor_path finds one) goes to `found`.
bool find_anchor_in_text(const YamlNode& document, const YamlNode& node, Path& path, std::string_view name,
                         TextKey text, std::optional<Path>& found) {
    return roundtrip::walk_with_path(node, path, [&](const YamlNode& child, Path& at) {
        if (child.anchor() == name && text_at(document, at, false) == text) {
            found = at;
            return true;
        }
        return with_stack_guard([&] { return find_anchor_in_text(document, child, at, name, text, found); });
    });
}

std::optional<Path> anchor_path_in_text(const YamlNode& document, std::string_view name, TextKey text) {
    if (document.anchor() == name && text_at(document, Path{}, false) == text) return Path{};
    std::optional<Path> found;
    Path path;
    find_anchor_in_text(document, document, path, name, text, found);
    return found;
}

// ------------------------------------------------------------ comments

// The comments an edit of `node`'s comments changes, marked changed: the
// node's own, or for an included file's root those of its directive in the
// including file (a copy of its own: copies of the node made by detach
// share the old one). For a node a directive produced, the directive
// carries the mark: the including file changed, not what was produced.
Comments& edited_comments(YamlNode& node) {
    if (!node.source()) {
        node.comments.modified = true;
        return node.comments;
    }
    IncludeSource& source = *node.mutable_source();
    source.comments_edited = true;
    if (!source.target_file_id) {
        node.comments.modified = true;
        return node.comments;
    }
    auto fresh = std::make_shared<Comments>(source.directive_comments ? *source.directive_comments : Comments{});
    fresh->modified = true;
    Comments& comments = *fresh;
    source.directive_comments = std::move(fresh);
    return comments;
}

// ------------------------------------------------------------ replacing

// Puts `fresh` where `target` stands, keeping the layout of the node it
// replaces: head, inline and foot comments, their spacing (the comment in
// a block scalar's header line counts as its inline comment), the anchor,
// the tag unless it names a core tag, and a document root's directive
// lines. A text of several lines that replaces a block scalar takes its
// style, as `dumps` writes such a text as a block. The replaced subtree is
// freed without recursion.
void replace_keeping_layout(YamlNode& target, YamlNode fresh) {
    // An included file's root keeps what its directive had: its own
    // comments are its file's, which the new value leaves.
    Comments directive;
    const bool included = target.source() && target.source()->target_file_id;
    if (included && target.source()->directive_comments) directive = *target.source()->directive_comments;
    Comments& old = included ? directive : target.comments;
    Comments kept;
    if (old.has_texts()) {
        if (!old.head().empty()) kept.mutable_head() = std::move(old.mutable_head());
        if (old.inline_comment()) kept.mutable_inline_comment() = std::move(old.mutable_inline_comment());
        if (!old.foot().empty()) kept.mutable_foot() = std::move(old.mutable_foot());
    }
    kept.inline_spaces = old.inline_spaces;
    if (!kept.inline_comment()) {
        if (const auto header = roundtrip::block_scalar_header_comment(target)) {
            kept.mutable_inline_comment() = std::string(scanner::trim_white_space_end(header->written));
            kept.inline_spaces = header->gap;
        }
    }
    kept.value_pad = old.value_pad;
    kept.modified = true;
    fresh.comments = std::move(kept);
    if (roundtrip::is_block_scalar(target) && fresh.is(NodeKind::Scalar) &&
        fresh.text().find('\n') != std::string::npos)
        fresh.set_scalar_style(target.scalar_style());
    fresh.set_replaced_region(written_region(target));
    fresh.replaced = true;
    if (target.anchor()) fresh.mutable_anchor() = std::move(target.mutable_anchor());
    if (const auto tag = target.tag_meaning(); tag && resolver::standard_tag_word(*tag).empty())
        fresh.copy_tag(target);
    if (!target.directives().empty()) fresh.mutable_directives() = std::move(target.mutable_directives());
    target = std::move(fresh);
}

// Whether strings written into documents[root] must read back as strings
// under the YAML 1.1 rules too: the document is read by them, or says
// "%YAML 1.1" itself, as readers that take each document's own directive
// go by.
bool reads_by_yaml11(const DocumentState& state, std::size_t root) {
    if (state.yaml11) return true;
    if (root >= state.documents.size()) return false;
    const std::vector<std::string>& lines = state.documents[root].directives();
    return std::any_of(lines.begin(), lines.end(), [](std::string_view line) {
        if (!line.starts_with("%YAML") || line.size() == 5 || (line[5] != ' ' && line[5] != '\t')) return false;
        const std::string_view version = scanner::trim_white_space_start(line.substr(5));
        return version.substr(0, version.find_first_of(" \t#")) == "1.1";
    });
}

// The value as a new node for documents[root]; nothing with the
// conversion's error set.
std::optional<YamlNode> convert(const DocumentState& state, std::size_t root, PyObject* value) {
    return results::from_python(value, state.prefer_double_quotes, 0, reads_by_yaml11(state, root));
}

// container[key] = value, for the container at `path` from documents[root].
bool set_child_value(DocumentState& state, std::size_t root, const Path& path, YamlNode& container, PyObject* key,
                     PyObject* value) {
    const YamlNode& document = state.documents[root];
    if (container.is(NodeKind::Sequence)) {
        const std::optional<std::uint64_t> index = read_index(key);
        if (!index) return false;
        if (*index >= container.items().size()) {
            PyErr_SetString(PyExc_IndexError, "index out of range");
            return false;
        }
        std::optional<YamlNode> fresh = convert(state, root, value);
        if (!fresh) return false;
        YamlNode& item = container.items()[*index];
        if (!check_writable(document, path, true)) return false;
        if (!check_nesting(level_in_file(document, path, false) + 1, *fresh)) return false;
        if (!check_aliases_keep_anchors(state, item, Removal::Below)) return false;
        replace_keeping_layout(item, std::move(*fresh));
        return true;
    }
    if (container.is(NodeKind::Mapping)) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
        if (utf8 == nullptr) {
            // Only a str without a UTF-8 form (lone surrogates) is refused
            // as a key; any other failure is the edit's error.
            if (PyErr_Occurred() && !PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError, "mapping keys must be str");
            return false;
        }
        const std::string_view text(utf8, static_cast<std::size_t>(size));
        std::optional<YamlNode> fresh = convert(state, root, value);
        if (!fresh) return false;
        fresh->comments.modified = true;
        if (!check_writable(document, path, true)) return false;
        if (!check_nesting(level_in_file(document, path, false) + 1, *fresh)) return false;
        if (const std::optional<std::size_t> at = roundtrip::entry_position(container.pairs(), text)) {
            YamlNode& target = container.pairs()[*at].value;
            if (!check_aliases_keep_anchors(state, target, Removal::Below)) return false;
            replace_keeping_layout(target, std::move(*fresh));
            return true;
        }
        YamlNode new_key = YamlNode::scalar(
            std::string(text),
            results::choose_string_style(text, state.prefer_double_quotes, reads_by_yaml11(state, root)));
        container.pairs().emplace_back(std::move(new_key), std::move(*fresh));
        return true;
    }
    PyErr_SetString(PyExc_TypeError, "node is not a mapping or sequence");
    return false;
}

}  // namespace

// ------------------------------------------------------------ item assignment

bool assign_document_item(DocumentState& state, PyObject* key, PyObject* value) {
    if (state.documents.size() == 1) return set_child_value(state, 0, Path{}, state.documents[0], key, value);
    // Zero or several documents: an index replaces a whole document.
    const std::optional<std::uint64_t> index = read_index(key);
    if (!index) return false;
    if (*index >= state.documents.size()) {
        PyErr_SetString(PyExc_IndexError, "index out of range");
        return false;
    }
    // The new root has no directives of its own.
    std::optional<YamlNode> fresh = results::from_python(value, state.prefer_double_quotes, 0, state.yaml11);
    if (!fresh) return false;
    YamlNode& root = state.documents[static_cast<std::size_t>(*index)];
    if (!check_aliases_keep_anchors(state, root, Removal::Subtree)) return false;
    fresh->comments.modified = true;
    fresh->set_replaced_region(written_region(root));
    fresh->replaced = true;
    root = std::move(*fresh);
    return true;
}

bool assign_view_item(DocumentState& state, const HandleAddress& view, PyObject* key, PyObject* value) {
    YamlNode* node = resolve_path(state, view.root, view.path);
    if (node == nullptr) {
        raise_stale_view();
        return false;
    }
    return set_child_value(state, view.root, view.path, *node, key, value);
}

// ------------------------------------------------------------ node setters

bool set_node_value(DocumentState& state, const HandleAddress& address, PyObject* value) {
    YamlNode* node = resolve_path(state, address.root, address.path);
    if (node == nullptr) {
        raise_stale_node();
        return false;
    }
    std::optional<YamlNode> fresh = convert(state, address.root, value);
    if (!fresh) return false;
    if (!check_writable(state.documents[address.root], address.path, false)) return false;
    if (!check_nesting(level_in_file(state.documents[address.root], address.path, true), *fresh)) return false;
    if (!check_aliases_keep_anchors(state, *node, Removal::Below)) return false;
    replace_keeping_layout(*node, std::move(*fresh));
    return true;
}

bool set_node_anchor(DocumentState& state, const HandleAddress& address, PyObject* name) {
    std::optional<std::string_view> text;
    if (name != Py_None) {
        text = text_argument(name, "name");
        if (!text || !check_anchor_name(*text)) return false;
    }
    YamlNode* node = resolve_path(state, address.root, address.path);
    const bool same_name = node != nullptr && text && node->anchor() == *text;
    if (text && !same_name && address.root < state.documents.size() &&
        !check_anchor_unique(state.documents[address.root], node, *text))
        return false;
    if (node == nullptr) {
        raise_stale_node();
        return false;
    }
    // "&a *b" does not read: an alias carries no properties.
    if (text && node->is(NodeKind::Alias)) {
        PyErr_SetString(PyExc_ValueError, "an alias node cannot have an anchor");
        return false;
    }
    if (!check_writable(state.documents[address.root], address.path, true)) return false;
    if (!same_name && !check_aliases_keep_anchors(state, *node, Removal::OwnAnchor)) return false;
    if (text) {
        node->mutable_anchor() = std::string(*text);
    } else if (node->anchor()) {
        node->mutable_anchor().reset();
        node->properties_changed = true;
    }
    if (text && !same_name) node->properties_changed = true;
    node->comments.modified = true;
    return true;
}

bool set_node_comment(DocumentState& state, const HandleAddress& address, PyObject* text) {
    std::optional<std::string_view> comment;
    if (text != Py_None) {
        comment = text_argument(text, "text");
        if (!comment || !check_comment_text(*comment, false)) return false;
    }
    YamlNode* node = resolve_path(state, address.root, address.path);
    if (node == nullptr) {
        raise_stale_node();
        return false;
    }
    if (!check_writable(state.documents[address.root], address.path, false)) return false;
    Comments& comments = edited_comments(*node);
    if (comment) {
        comments.mutable_inline_comment() = roundtrip::stored_comment(*comment);
    } else if (comments.inline_comment()) {
        comments.mutable_inline_comment().reset();
    }
    comments.inline_spaces = 0;
    comments.inline_changed = true;
    return true;
}

bool set_node_comment_before(DocumentState& state, const HandleAddress& address, PyObject* text) {
    std::vector<std::string> lines;
    if (text != Py_None) {
        const std::optional<std::string_view> comment = text_argument(text, "text");
        if (!comment || !check_comment_text(*comment, true)) return false;
        std::size_t start = 0;
        for (std::size_t end = comment->find('\n'); end != std::string_view::npos; end = comment->find('\n', start)) {
            lines.push_back(roundtrip::stored_comment(comment->substr(start, end - start)));
            start = end + 1;
        }
        lines.push_back(roundtrip::stored_comment(comment->substr(start)));
    }
    YamlNode* target = head_comment_owner(state, address);
    if (target == nullptr) {
        raise_stale_node();
        return false;
    }
    if (!check_writable(state.documents[address.root], address.path, false)) return false;
    Comments& comments = edited_comments(*target);
    if (!lines.empty() || !comments.head().empty()) comments.mutable_head() = std::move(lines);
    comments.head_changed = true;
    return true;
}

// ------------------------------------------------------------ aliases

bool make_node_alias(DocumentState& state, const HandleAddress& address, PyObject* name) {
    const std::optional<std::string_view> text = text_argument(name, "name");
    if (!text) return false;
    const std::string anchor_name(*text);
    const std::span<const YamlNode> document =
        address.root < state.documents.size() ? std::span(&state.documents[address.root], 1)
                                              : std::span<const YamlNode>();
    const std::optional<Path> first = anchor_path(document, anchor_name);
    if (!first) {
        raise_naming(PyExc_ValueError, "no anchor '&", anchor_name, "' is defined in this document");
        return false;
    }
    // The alias is written where the node stands, and reads back only
    // when the anchor is written in the same file: the definition there,
    // else (refused below) the first one.
    const std::optional<Path> own =
        anchor_path_in_text(document.front(), anchor_name, text_at(document.front(), address.path, true));
    const Path& anchor = own ? *own : *first;
    const Path& at = address.path;
    const bool anchor_contains_node =
        anchor.size() <= at.size() && std::equal(anchor.begin(), anchor.end(), at.begin());
    if (anchor_contains_node) {
        raise_naming(PyExc_ValueError, "anchor '&", anchor_name,
                     "' contains the alias that would reference it, which is a cycle");
        return false;
    }
    if (!comes_before(document.front(), anchor, at)) {
        raise_naming(PyExc_ValueError, "anchor '&", anchor_name,
                     "' must be defined before the alias that references it");
        return false;
    }
    YamlNode* node = resolve_path(state, address.root, at);
    if (node == nullptr) {
        raise_stale_node();
        return false;
    }
    if (!check_writable(document.front(), at, false)) return false;
    if (!own) {
        raise_naming(PyExc_ValueError, "anchor '&", anchor_name,
                     "' is defined in another file: an alias can only refer to an anchor of its own file");
        return false;
    }
    if (!check_aliases_keep_anchors(state, *node, Removal::Subtree)) return false;
    // An alias carries no properties of its own: the anchor would be a
    // second definition, the tag would not reload, and provenance would
    // have save() write the alias's target file from the alias.
    node->mark_rewritten();
    node->set_content(YamlNode::alias(anchor_name));
    node->mutable_anchor().reset();
    node->mutable_tag().reset();
    node->mutable_tag_expansion().reset();
    node->mutable_source().reset();
    node->comments.modified = true;
    return true;
}

bool detach_node(DocumentState& state, const HandleAddress& address) {
    YamlNode* node = resolve_path(state, address.root, address.path);
    if (node == nullptr) {
        raise_stale_node();
        return false;
    }
    if (!node->is(NodeKind::Alias)) {
        PyErr_SetString(PyExc_TypeError, "detach() is only valid on an alias node");
        return false;
    }
    if (!check_writable(state.documents[address.root], address.path, false)) return false;
    std::optional<YamlNode> copy;
    {
        const AliasTargets targets(state.documents);
        const YamlNode* definition = targets.find(*node);
        if (definition == nullptr) {
            raise_naming(PyExc_KeyError, "alias *", node->text(), " has no anchor to detach");
            return false;
        }
        std::uint64_t budget = kAliasExpansionBudget;
        copy = detach_copy(*definition, targets, 0, budget);
    }
    if (!check_nesting(level_in_file(state.documents[address.root], address.path, true), *copy)) return false;
    copy->comments.modified = true;
    // The copy's text stood at the definition; it goes where the alias was.
    copy->in_place = false;
    copy->set_replaced_region(written_region(*node));
    copy->replaced = true;
    *node = std::move(*copy);
    return true;
}

}  // namespace quillmere::document

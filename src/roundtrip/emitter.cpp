// Round-trip emitter.
//
// The writers follow the tree: a block mapping writes each entry as its
// key's blank lines and head comments, the key, ":" and the value; a block
// sequence writes "-" and the item; everything written on one line (flow
// collections, scalars, aliases, nulls) goes through the flow writers. For
//
//     Mapping [ key "a" head ["top"]  -> Sequence(Flow) [1, 2] inline "c"
//               key "b"               -> Scalar "x\ny" Literal, raw "|-\n  x\n  y" ]
//
// the text is
//
//     # top
//     a: [1, 2]  # c
//     b: |-
//       x
//       y
//
// Block collections indent their children by two: mapping entries at the
// key's indent + 2, sequence items under a key where the sequence stood
// (indentless when it was), items of items by two.
//
// A node's recorded style is kept where it can carry the content in its
// place and replaced by double quotes where it cannot: a plain text that
// would read back differently (a line feed, an indicator, ": " or " #",
// a "," inside brackets), a single-quoted text with a line break or a
// control character, a block scalar inside a flow collection or as a
// simple key. An unchanged block scalar is written from its source text,
// shifted when its new indentation differs; a changed one is written from
// its text with the header (chomping, an indentation indicator when the
// first line starts with a space, the header comment) that reads back as
// that text. A flow collection that holds comments is written over several
// lines so that every comment keeps its place.
//
// Every recursive writer goes through the stack guard.
#include "roundtrip/emitter.h"

#include <algorithm>

#include "common/stack_guard.h"
#include "encode/scalar_text.h"

namespace quillmere::roundtrip {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_flow_indicator(char c) { return c == ',' || c == '[' || c == ']' || c == '{' || c == '}'; }

// Characters that are written only escaped: C0 controls (tab, and line feed
// where `line_feed` allows it, aside), DEL, C1 controls, the line and
// paragraph separators and the byte order mark. Other readers treat some of
// them as line breaks, and none of them may stand in a YAML file as is.
bool has_unwritable(std::string_view text, bool line_feed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20) {
            if (c != '\t' && !(c == '\n' && line_feed)) return true;
        } else if (c == 0x7F) {
            return true;
        } else if (c == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return true;
        } else if (c == 0xE2 && text.substr(i + 1, 2) == "\x80\xA8") {
            return true;
        } else if (c == 0xE2 && text.substr(i + 1, 2) == "\x80\xA9") {
            return true;
        } else if (c == 0xEF && text.substr(i + 1, 2) == "\xBB\xBF") {
            return true;
        }
    }
    return false;
}

// Whether `text` written plain reads back as the same text, on one line,
// inside a flow collection or not.
bool plain_fits(std::string_view text, bool in_flow) {
    if (text.empty() || is_blank(text.front()) || is_blank(text.back())) return false;
    switch (text.front()) {
        case '-': case '?': case ':':
            // An indicator starts a plain scalar only before a safe character.
            if (text.size() == 1 || is_blank(text[1]) || (in_flow && is_flow_indicator(text[1]))) return false;
            break;
        case ',': case '[': case ']': case '{': case '}': case '#': case '&': case '*': case '!':
        case '|': case '>': case '\'': case '"': case '%': case '@': case '`':
            return false;
        default:
            break;
    }
    if (text.starts_with("---") || text.starts_with("...")) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            if (i + 1 == text.size() || is_blank(text[i + 1])) return false;
            if (in_flow && is_flow_indicator(text[i + 1])) return false;
        } else if (c == '#') {
            if (is_blank(text[i - 1])) return false;
        } else if (in_flow && is_flow_indicator(c)) {
            return false;
        }
    }
    return !has_unwritable(text, false);
}

bool single_quoted_fits(std::string_view text) { return !has_unwritable(text, false); }

bool is_include_root(const YamlNode& node) { return node.source() && node.source()->target_file_id; }

bool is_block_collection(const YamlNode& node) {
    return node.style() == CollectionStyle::Block &&
           ((node.is(NodeKind::Sequence) && !node.items().empty()) ||
            (node.is(NodeKind::Mapping) && !node.pairs().empty()));
}

bool is_block_scalar_style(const YamlNode& node) {
    return node.is(NodeKind::Scalar) &&
           (node.scalar_style() == ScalarStyle::Literal || node.scalar_style() == ScalarStyle::Folded);
}

// A node whose content is written as nothing or as "null": a Null, or a
// plain scalar with an empty text (both read as null).
bool is_null_like(const YamlNode& node) {
    return node.is(NodeKind::Null) ||
           (node.is(NodeKind::Scalar) && node.scalar_style() == ScalarStyle::Plain && node.text().empty() &&
            !node.tag());
}

bool has_comments(const YamlNode& node) {
    return !node.comments.head().empty() || node.comments.inline_comment().has_value();
}

// Whether any node inside a flow collection carries a comment, so that the
// collection must be written over several lines.
bool holds_comments(const YamlNode& node) {
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (has_comments(item) || with_stack_guard([&] { return holds_comments(item); })) return true;
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) {
            if (has_comments(pair.key) || has_comments(pair.value)) return true;
            if (with_stack_guard([&] { return holds_comments(pair.key) || holds_comments(pair.value); })) return true;
        }
    }
    return false;
}

// The pieces of a block scalar's header line as written in its source.
struct BlockHeader {
    char indicator = '|';
    int indent = 0;        // the indentation indicator, 0 when absent
    char chomping = 0;     // '-', '+' or 0 for clip
    std::string_view comment_gap;  // blanks before "#"
    std::optional<std::string_view> comment;  // after "#", as written
};

std::optional<BlockHeader> parse_block_header(std::string_view line) {
    if (line.empty() || (line[0] != '|' && line[0] != '>')) return std::nullopt;
    BlockHeader header;
    header.indicator = line[0];
    std::size_t i = 1;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (c >= '1' && c <= '9' && header.indent == 0) {
            header.indent = c - '0';
        } else if ((c == '-' || c == '+') && header.chomping == 0) {
            header.chomping = c;
        } else {
            break;
        }
    }
    const std::size_t gap = i;
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i < line.size()) {
        if (line[i] != '#' || i == gap) return std::nullopt;
        header.comment_gap = line.substr(gap, i - gap);
        header.comment = line.substr(i + 1);
    }
    return header;
}

// Lines of `text` cut at LF, CR LF and lone CR.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::size_t leading_spaces(std::string_view line) {
    std::size_t n = 0;
    while (n < line.size() && line[n] == ' ') ++n;
    return n;
}

// Whether the line holds something besides spaces.
bool has_content(std::string_view line) { return leading_spaces(line) < line.size(); }

// Changed-subtree test that stops at nodes produced by a directive.
bool subtree_modified(const YamlNode& node);

bool pair_modified_below(const NodePair& pair) {
    const auto below = [](const YamlNode& node) {
        if (node.is(NodeKind::Sequence)) {
            for (const YamlNode& item : node.items())
                if (with_stack_guard([&] { return subtree_modified(item); })) return true;
        } else if (node.is(NodeKind::Mapping)) {
            for (const NodePair& inner : node.pairs())
                if (with_stack_guard([&] { return pair_modified_below(inner); })) return true;
        }
        return false;
    };
    if (pair.key.comments.modified || below(pair.key)) return true;
    if (pair.value.source()) return false;
    return pair.value.comments.modified || below(pair.value);
}

bool subtree_modified(const YamlNode& node) {
    if (node.source()) return false;
    if (node.comments.modified) return true;
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (with_stack_guard([&] { return subtree_modified(item); })) return true;
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs())
            if (with_stack_guard([&] { return pair_modified_below(pair); })) return true;
    }
    return false;
}

// The content of an include root changed: its own mark, or a mark below it
// within its file.
bool include_modified(const YamlNode& root) {
    if (root.comments.modified) return true;
    if (root.is(NodeKind::Sequence)) {
        return std::any_of(root.items().begin(), root.items().end(),
                           [](const YamlNode& item) { return subtree_modified(item); });
    }
    if (root.is(NodeKind::Mapping)) {
        return std::any_of(root.pairs().begin(), root.pairs().end(),
                           [](const NodePair& pair) { return pair_modified_below(pair); });
    }
    return false;
}

// Where a node is written, which decides what its content may look like.
enum class Place : std::uint8_t {
    Root,   // the document itself
    Block,  // after "key:", "-" or "?": block scalars allowed, a null may be empty
    Key,    // a simple key of a block mapping: one line
    Flow,   // inside a flow collection
};

class Renderer {
public:
    Renderer(std::string& out, NullStyle null_style) : out_(out), null_style_(null_style) {}

    // With `as_file`, an include root is written as its content (the text
    // of its own file) instead of as its directive.
    void render_document(const YamlNode& root, bool as_file);

private:
    void newline() { out_ += '\n'; }
    void end_line() {
        if (out_.empty() || out_.back() != '\n') newline();
    }
    void spaces(std::uint64_t n) { out_.append(n, ' '); }

    // Small writers.
    void render_tag(const std::string& tag);
    void render_properties(const YamlNode& node);
    void render_trailing_properties(const YamlNode& node);
    void render_source_directive(const IncludeSource& source, bool in_flow);
    void render_comment_line(std::string_view text, std::uint64_t indent);
    void render_inline_comment(const YamlNode& node);
    void render_head(const YamlNode& node, std::uint64_t indent);
    void render_leading_comments(const YamlNode& item, std::uint64_t indent);
    void render_inline_as_line(const YamlNode& node, std::uint64_t indent);

    // Content writers. `parent` is the indentation of the block collection
    // around the node (-1 at the root), `indent` that of the lines of a
    // block scalar, `flow_indent` that of the closing bracket of a flow
    // collection written over several lines (its items go two further).
    bool render_content(const YamlNode& node, Place place, std::int64_t parent, std::uint64_t indent,
                        std::uint64_t flow_indent);
    bool render_scalar(const YamlNode& node, Place place, std::int64_t parent, std::uint64_t indent);
    void render_null(const YamlNode& node, Place place);
    void render_flow_node(const YamlNode& node, std::uint64_t indent, bool one_line);
    void render_flow_item(const YamlNode& node, std::uint64_t indent, bool one_line);
    bool render_block_scalar(const YamlNode& node, std::int64_t parent, std::uint64_t indent);
    bool render_raw_block_scalar(const YamlNode& node, std::int64_t parent, std::uint64_t indent);
    void render_block_scalar_header(const YamlNode& node, const BlockHeader& header, int indent_indicator);

    // Block writers.
    void render_block_mapping(const std::vector<NodePair>& pairs, std::uint64_t indent);
    void render_entry(const NodePair& pair, std::uint64_t indent);
    void render_key(const YamlNode& key);
    bool is_simple_key(const YamlNode& key) const;
    void render_complex_key(const YamlNode& key, const YamlNode& value, std::uint64_t indent);
    void render_block_value(const YamlNode& value, std::uint64_t indent);
    void render_block_sequence(const std::vector<YamlNode>& items, std::uint64_t indent, bool compact);
    void render_sequence_item(const YamlNode& item, std::uint64_t indent);
    bool is_compact_mapping(const YamlNode& item) const;
    bool is_compact_sequence(const YamlNode& item) const;
    bool is_empty_null(const YamlNode& node) const;

    std::string& out_;
    NullStyle null_style_;
};

void Renderer::render_tag(const std::string& tag) {
    // A tag is written as the scanner read it; a text that no tag token can
    // hold (an edit can set any text) goes into the verbatim form.
    const bool token = !tag.empty() && tag[0] == '!' &&
                       std::none_of(tag.begin(), tag.end(), [](char c) {
                           const auto b = static_cast<unsigned char>(c);
                           return b <= 0x20 || b == 0x7F;
                       });
    if (token) {
        out_ += tag;
    } else {
        encode::append_tag(out_, tag);
    }
}

// "tag &anchor", with one space between; nothing when there is neither.
void Renderer::render_properties(const YamlNode& node) {
    if (node.tag()) render_tag(*node.tag());
    if (node.anchor()) {
        if (node.tag()) out_ += ' ';
        out_ += '&';
        out_ += *node.anchor();
    }
}

void Renderer::render_trailing_properties(const YamlNode& node) {
    if (!node.tag() && !node.anchor()) return;
    out_ += ' ';
    render_properties(node);
}

void Renderer::render_source_directive(const IncludeSource& source, bool in_flow) {
    out_ += source.tag;
    out_ += ' ';
    if (plain_fits(source.target, in_flow)) {
        out_ += source.target;
    } else {
        encode::write_double_quoted(out_, source.target);
    }
}

void Renderer::render_comment_line(std::string_view text, std::uint64_t indent) {
    spaces(indent);
    out_ += '#';
    if (!text.empty()) {
        out_ += ' ';
        out_ += text;
    }
    newline();
}

void Renderer::render_inline_comment(const YamlNode& node) {
    const auto& comment = node.comments.inline_comment();
    if (!comment || is_include_root(node)) return;
    spaces(std::max<std::uint32_t>(node.comments.inline_spaces, 1));
    out_ += '#';
    if (!comment->empty()) {
        out_ += ' ';
        out_ += *comment;
    }
}

// Blank lines and head comments. Those of an include root belong to its
// file and are written there.
void Renderer::render_head(const YamlNode& node, std::uint64_t indent) {
    if (is_include_root(node)) return;
    out_.append(node.comments.blank_before, '\n');
    for (const std::string& comment : node.comments.head()) render_comment_line(comment, indent);
}

// The inline comment of a block collection stood at the end of its first
// line; it is written on a line of its own above the collection's
// entries, where it reads back as a head comment in the same order.
void Renderer::render_inline_as_line(const YamlNode& node, std::uint64_t indent) {
    if (const auto& comment = node.comments.inline_comment(); comment && !is_include_root(node))
        render_comment_line(*comment, indent);
}

// Comments above a sequence item, including those of the entry or item
// that shares the item's dash line, which cannot stand between the dash
// and that entry.
void Renderer::render_leading_comments(const YamlNode& item, std::uint64_t indent) {
    render_head(item, indent);
    const YamlNode* node = &item;
    for (;;) {
        if (is_block_collection(*node) && !node->source()) render_inline_as_line(*node, indent);
        const YamlNode* first = nullptr;
        if (is_compact_mapping(*node)) {
            first = &node->pairs().front().key;
        } else if (is_compact_sequence(*node)) {
            first = &node->items().front();
        }
        if (first == nullptr) return;
        render_head(*first, indent);
        if (!is_compact_sequence(*node)) return;
        node = first;
    }
}

void Renderer::render_document(const YamlNode& root, bool as_file) {
    for (const std::string& directive : root.directives()) {
        out_ += directive;
        newline();
    }
    if (root.explicit_start || !root.directives().empty()) {
        out_ += "---";
        newline();
    }
    const bool directive = root.source() && !as_file;
    if (directive && is_include_root(root)) {
        render_source_directive(*root.source(), false);
        newline();
        return;
    }
    for (const std::string& comment : root.comments.head()) render_comment_line(comment, 0);
    if (directive) {
        render_source_directive(*root.source(), false);
        render_inline_comment(root);
        newline();
    } else if (is_block_collection(root)) {
        if (root.tag() || root.anchor()) {
            render_properties(root);
            newline();
        }
        render_inline_as_line(root, 0);
        if (root.is(NodeKind::Sequence)) {
            render_block_sequence(root.items(), 0, false);
        } else {
            render_block_mapping(root.pairs(), 0);
        }
    } else {
        render_properties(root);
        const std::size_t mark = out_.size();
        if (root.tag() || root.anchor()) out_ += ' ';
        const std::size_t content = out_.size();
        if (!render_content(root, Place::Root, -1, 2, 0)) render_inline_comment(root);
        if (out_.size() == content) out_.resize(mark);
        end_line();
    }
    for (const std::string& comment : root.comments.foot()) render_comment_line(comment, 0);
}

// Writes the node's content (no properties). Returns true when the node's
// inline comment was written as part of it (the header of a block scalar).
bool Renderer::render_content(const YamlNode& node, Place place, std::int64_t parent, std::uint64_t indent,
                              std::uint64_t flow_indent) {
    if (node.source() && place != Place::Root) {
        render_source_directive(*node.source(), place == Place::Flow);
        return false;
    }
    switch (node.kind()) {
        case NodeKind::Scalar:
            if (is_null_like(node)) {
                render_null(node, place);
                return false;
            }
            return render_scalar(node, place, parent, indent);
        case NodeKind::Null:
            render_null(node, place);
            return false;
        case NodeKind::Alias:
            out_ += '*';
            out_ += node.text();
            return false;
        case NodeKind::Sequence:
        case NodeKind::Mapping:
            render_flow_node(node, flow_indent, place == Place::Key);
            return false;
    }
    return false;
}

// A null after its properties: nothing where an empty node reads as null
// (and always under properties with a tag, whose tag then stays on a
// null), else "null", or "~" for an assigned None under the Tilde style.
void Renderer::render_null(const YamlNode& node, Place place) {
    if (node.synthetic) {
        if (null_style_ == NullStyle::Tilde) {
            out_ += '~';
        } else if (null_style_ == NullStyle::Keyword || place != Place::Block) {
            out_ += "null";
        }
        return;
    }
    if (node.tag() || place == Place::Block) return;
    out_ += "null";
}

bool Renderer::render_scalar(const YamlNode& node, Place place, std::int64_t parent, std::uint64_t indent) {
    const std::string& text = node.text();
    switch (node.scalar_style()) {
        case ScalarStyle::Plain:
            if (plain_fits(text, place == Place::Flow)) {
                out_ += text;
                return false;
            }
            break;
        case ScalarStyle::SingleQuoted:
            if (single_quoted_fits(text)) {
                encode::write_single_quoted(out_, text);
                return false;
            }
            break;
        case ScalarStyle::DoubleQuoted:
            break;
        case ScalarStyle::Literal:
        case ScalarStyle::Folded:
            if ((place == Place::Block || place == Place::Root) && render_block_scalar(node, parent, indent))
                return true;
            break;
    }
    encode::write_double_quoted(out_, text);
    return false;
}

void Renderer::render_block_scalar_header(const YamlNode& node, const BlockHeader& header, int indent_indicator) {
    out_ += header.indicator;
    if (indent_indicator != 0) out_ += static_cast<char>('0' + indent_indicator);
    if (header.chomping != 0) out_ += header.chomping;
    if (node.comments.inline_comment()) {
        render_inline_comment(node);
    } else if (header.comment) {
        out_ += header.comment_gap;
        out_ += '#';
        out_ += *header.comment;
    }
    newline();
}

// A block scalar written from its text. The header says how many line
// feeds end the text (strip, clip or keep) and, when the first line with
// content starts with a space, where the content starts; folded lines get
// the extra line breaks that folding takes away again.
bool Renderer::render_block_scalar(const YamlNode& node, std::int64_t parent, std::uint64_t indent) {
    if (node.comments.raw() && !node.comments.modified && render_raw_block_scalar(node, parent, indent)) return true;
    const std::string& text = node.text();
    if (has_unwritable(text, true)) return false;
    const bool literal = node.scalar_style() == ScalarStyle::Literal;
    std::size_t trailing = 0;
    while (trailing < text.size() && text[text.size() - 1 - trailing] == '\n') ++trailing;
    const std::string_view rest = std::string_view(text).substr(0, text.size() - trailing);

    BlockHeader header;
    header.indicator = literal ? '|' : '>';
    header.chomping = trailing == 0 ? '-' : (trailing == 1 && !rest.empty()) ? 0 : '+';
    if (const auto& raw = node.comments.raw()) {
        if (auto source = parse_block_header(std::string_view(*raw).substr(0, raw->find_first_of("\r\n")))) {
            header.comment_gap = source->comment_gap;
            header.comment = source->comment;
        }
    }
    const std::vector<std::string_view> pieces =
        rest.empty() ? std::vector<std::string_view>{} : split_lines(rest);
    // Lines of spaces before the first line with content, or that line
    // starting with a space, would mislead the detection of the indentation.
    bool indicator = false;
    for (std::string_view piece : pieces) {
        if (piece.empty()) continue;
        indicator = piece[0] == ' ' || !has_content(piece);
        break;
    }
    const std::uint64_t base = parent < 0 ? 0 : static_cast<std::uint64_t>(parent);
    render_block_scalar_header(node, header, indicator ? static_cast<int>(indent - base) : 0);
    if (rest.empty()) {
        out_.append(trailing, '\n');
        return true;
    }
    const auto more_indented = [](std::string_view piece) { return is_blank(piece[0]); };
    std::optional<std::string_view> previous;
    std::size_t empty = 0;
    for (std::string_view piece : pieces) {
        if (piece.empty()) {
            ++empty;
            continue;
        }
        // Between two lines of text that start without a blank, folding
        // reads one line break as a space: one more empty line keeps it.
        if (!literal && previous && !more_indented(*previous) && !more_indented(piece)) ++empty;
        out_.append(empty, '\n');
        empty = 0;
        spaces(indent);
        out_ += piece;
        newline();
        previous = piece;
    }
    if (trailing > 1) out_.append(trailing - 1, '\n');
    return true;
}

// An unchanged block scalar from its source text. Its lines keep their
// indentation when the content stands deep enough in its new place; else
// they move to `indent`. Returns false when the source text does not match
// the node's text line for line, and the text is written anew.
bool Renderer::render_raw_block_scalar(const YamlNode& node, std::int64_t parent, std::uint64_t indent) {
    const std::string_view raw = *node.comments.raw();
    const std::size_t header_end = raw.find_first_of("\r\n");
    if (header_end == std::string_view::npos) return false;
    const auto header = parse_block_header(raw.substr(0, header_end));
    if (!header || (header->indicator == '|') != (node.scalar_style() == ScalarStyle::Literal)) return false;
    const std::size_t body_start = header_end + (raw.substr(header_end, 2) == "\r\n" ? 2 : 1);
    std::vector<std::string_view> lines = split_lines(raw.substr(body_start));
    // The scanner's end can lie in the indentation of the next line.
    if (!has_content(lines.back())) lines.pop_back();

    // The content indentation in the source: the first line with content
    // starts with it, followed by whatever the text's first such line
    // starts with.
    const auto first_line = std::find_if(lines.begin(), lines.end(), has_content);
    if (first_line == lines.end()) return false;
    std::size_t text_spaces = 0;
    {
        const std::vector<std::string_view> text_lines = split_lines(node.text());
        const auto first_text = std::find_if(text_lines.begin(), text_lines.end(), has_content);
        if (first_text == text_lines.end()) return false;
        text_spaces = leading_spaces(*first_text);
    }
    const std::size_t first_spaces = leading_spaces(*first_line);
    if (first_spaces < text_spaces) return false;
    const std::size_t source_indent = first_spaces - text_spaces;
    bool spaces_before_content = text_spaces > 0;
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        const std::size_t n = leading_spaces(*it);
        if (has_content(*it) && n < source_indent) return false;
        if (it < first_line && it->size() > source_indent) spaces_before_content = true;
    }

    const std::uint64_t base = parent < 0 ? 0 : static_cast<std::uint64_t>(parent);
    const bool in_place = header->indent != 0 ? source_indent == base + static_cast<std::uint64_t>(header->indent)
                                              : static_cast<std::int64_t>(source_indent) > parent;
    std::uint64_t target = source_indent;
    if (in_place && !node.comments.inline_comment()) {
        out_ += raw.substr(0, header_end);
        newline();
    } else {
        if (!in_place) target = indent;
        const int indicator = spaces_before_content ? static_cast<int>(target - base) : 0;
        render_block_scalar_header(node, *header, indicator);
    }
    for (std::string_view line : lines) {
        if (line.size() > source_indent) {
            spaces(target);
            out_ += line.substr(source_indent);
        }
        newline();
    }
    return true;
}

void Renderer::render_flow_item(const YamlNode& node, std::uint64_t indent, bool one_line) {
    if (node.source()) {
        render_source_directive(*node.source(), true);
        return;
    }
    render_properties(node);
    if (node.tag() || node.anchor()) out_ += ' ';
    if (node.is(NodeKind::Sequence) || node.is(NodeKind::Mapping)) {
        with_stack_guard([&] { render_flow_node(node, indent, one_line); });
    } else {
        render_content(node, Place::Flow, -1, indent, indent);
    }
}

// A collection in brackets or braces. On one line unless it holds
// comments: then each item goes on a line of its own at `indent` + 2 with
// its comments, and the closing bracket on a line at `indent`.
void Renderer::render_flow_node(const YamlNode& node, std::uint64_t indent, bool one_line) {
    const bool sequence = node.is(NodeKind::Sequence);
    const std::size_t size = sequence ? node.items().size() : node.pairs().size();
    out_ += sequence ? '[' : '{';
    if (size == 0) {
        out_ += sequence ? ']' : '}';
        return;
    }
    const bool lines = !one_line && holds_comments(node);
    const std::uint64_t inner = indent + 2;
    for (std::size_t i = 0; i < size; ++i) {
        const YamlNode& last = sequence ? node.items()[i] : node.pairs()[i].value;
        if (lines) {
            newline();
            if (sequence) {
                render_head(last, inner);
            } else {
                render_head(node.pairs()[i].key, inner);
                render_head(last, inner);
            }
            spaces(inner);
        } else if (i > 0) {
            out_ += ", ";
        }
        if (sequence) {
            render_flow_item(last, inner, !lines);
        } else {
            const YamlNode& key = node.pairs()[i].key;
            render_flow_item(key, inner, !lines);
            if (key.is(NodeKind::Alias)) out_ += ' ';
            out_ += ": ";
            render_flow_item(last, inner, !lines);
        }
        if (lines) {
            if (i + 1 < size) out_ += ',';
            render_inline_comment(last);
        }
    }
    if (lines) {
        newline();
        spaces(indent);
    }
    out_ += sequence ? ']' : '}';
}

bool Renderer::is_empty_null(const YamlNode& node) const {
    return is_null_like(node) && !node.comments.inline_comment() && !node.anchor() && !node.tag() &&
           node.comments.head().empty() && (!node.synthetic || null_style_ == NullStyle::Empty);
}

bool Renderer::is_simple_key(const YamlNode& key) const {
    switch (key.kind()) {
        case NodeKind::Scalar:
            return !is_block_scalar_style(key);
        case NodeKind::Alias:
        case NodeKind::Null:
            return true;
        case NodeKind::Sequence:
        case NodeKind::Mapping:
            return !is_block_collection(key) && !holds_comments(key);
    }
    return false;
}

// A simple key and what must separate it from its ":": "*a:" would make
// the colon part of the alias name, and a key of properties alone keeps
// the space after them.
void Renderer::render_key(const YamlNode& key) {
    render_properties(key);
    if (key.tag() || key.anchor()) out_ += ' ';
    render_content(key, Place::Key, -1, 0, 0);
    if (key.is(NodeKind::Alias)) out_ += ' ';
}

void Renderer::render_block_mapping(const std::vector<NodePair>& pairs, std::uint64_t indent) {
    for (const NodePair& pair : pairs) {
        render_head(pair.key, indent);
        spaces(indent);
        render_entry(pair, indent);
    }
}

// One entry after its indentation (or after "- " for the first entry of a
// compact mapping).
void Renderer::render_entry(const NodePair& pair, std::uint64_t indent) {
    if (!is_simple_key(pair.key)) {
        render_complex_key(pair.key, pair.value, indent);
        return;
    }
    render_key(pair.key);
    out_ += ':';
    render_block_value(pair.value, indent);
}

void Renderer::render_complex_key(const YamlNode& key, const YamlNode& value, std::uint64_t indent) {
    out_ += '?';
    if (is_block_collection(key)) {
        render_trailing_properties(key);
        newline();
        render_inline_as_line(key, indent + 2);
        if (key.is(NodeKind::Sequence)) {
            with_stack_guard([&] { render_block_sequence(key.items(), indent + 2, false); });
        } else {
            with_stack_guard([&] { render_block_mapping(key.pairs(), indent + 2); });
        }
    } else {
        out_ += ' ';
        render_properties(key);
        if (key.tag() || key.anchor()) out_ += ' ';
        if (!render_content(key, Place::Block, static_cast<std::int64_t>(indent), indent + 2, indent + 2))
            render_inline_comment(key);
        end_line();
    }
    spaces(indent);
    out_ += ':';
    render_block_value(value, indent);
}

// What follows "key:" at `indent`, up to and including its last line break.
void Renderer::render_block_value(const YamlNode& value, std::uint64_t indent) {
    if (value.source()) {
        out_ += ' ';
        render_source_directive(*value.source(), false);
        render_inline_comment(value);
        newline();
        return;
    }
    if (is_block_collection(value)) {
        // A sequence stays indentless when it was; one made by an edit
        // (column 0) is written indentless too.
        const bool sequence = value.is(NodeKind::Sequence);
        const std::uint64_t inner = !sequence || value.span.column > indent ? indent + 2 : indent;
        render_trailing_properties(value);
        newline();
        render_head(value, inner);
        render_inline_as_line(value, inner);
        with_stack_guard([&] {
            if (sequence) {
                render_block_sequence(value.items(), inner, false);
            } else {
                render_block_mapping(value.pairs(), inner);
            }
        });
        return;
    }
    if (is_empty_null(value)) {
        newline();
        return;
    }
    if (!value.comments.head().empty()) {
        // Comments above a value that stood on the line below its key.
        newline();
        render_head(value, indent + 2);
        spaces(indent + 2);
    } else {
        spaces(std::max<std::uint32_t>(value.comments.value_pad, 1));
    }
    render_properties(value);
    const std::size_t mark = out_.size();
    if (value.tag() || value.anchor()) out_ += ' ';
    const std::size_t content = out_.size();
    if (!render_content(value, Place::Block, static_cast<std::int64_t>(indent), indent + 2, indent + 2)) {
        if (out_.size() == content) out_.resize(mark);
        render_inline_comment(value);
    }
    end_line();
}

bool Renderer::is_compact_mapping(const YamlNode& item) const {
    return item.is(NodeKind::Mapping) && is_block_collection(item) && !item.source() && !item.tag() &&
           !item.anchor();
}

bool Renderer::is_compact_sequence(const YamlNode& item) const {
    return item.is(NodeKind::Sequence) && is_block_collection(item) && !item.source() && item.comments.compact &&
           !item.tag() && !item.anchor();
}

void Renderer::render_block_sequence(const std::vector<YamlNode>& items, std::uint64_t indent, bool compact) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        // The first item of a compact sequence continues its parent's dash
        // line; its comments were written above that line.
        if (!(compact && i == 0)) {
            render_leading_comments(items[i], indent);
            spaces(indent);
        }
        out_ += '-';
        render_sequence_item(items[i], indent);
    }
}

// What follows the "-" of an item at `indent`, up to and including its
// last line break.
void Renderer::render_sequence_item(const YamlNode& item, std::uint64_t indent) {
    if (item.source()) {
        out_ += ' ';
        render_source_directive(*item.source(), false);
        render_inline_comment(item);
        newline();
        return;
    }
    if (is_block_collection(item)) {
        const bool sequence = item.is(NodeKind::Sequence);
        if (is_compact_mapping(item)) {
            // The first entry on the dash line, the others below it.
            out_ += ' ';
            const std::vector<NodePair>& pairs = item.pairs();
            with_stack_guard([&] {
                render_entry(pairs.front(), indent + 2);
                for (std::size_t i = 1; i < pairs.size(); ++i) {
                    render_head(pairs[i].key, indent + 2);
                    spaces(indent + 2);
                    render_entry(pairs[i], indent + 2);
                }
            });
        } else if (is_compact_sequence(item)) {
            out_ += ' ';
            with_stack_guard([&] { render_block_sequence(item.items(), indent + 2, true); });
        } else {
            // Properties stay on the dash line, the content below them.
            render_trailing_properties(item);
            newline();
            with_stack_guard([&] {
                if (sequence) {
                    render_block_sequence(item.items(), indent + 2, false);
                } else {
                    render_block_mapping(item.pairs(), indent + 2);
                }
            });
        }
        return;
    }
    if (is_empty_null(item)) {
        newline();
        return;
    }
    spaces(std::max<std::uint32_t>(item.comments.value_pad, 1));
    render_properties(item);
    const std::size_t mark = out_.size();
    if (item.tag() || item.anchor()) out_ += ' ';
    const std::size_t content = out_.size();
    if (!render_content(item, Place::Block, static_cast<std::int64_t>(indent), indent + 4, indent + 2)) {
        if (out_.size() == content) out_.resize(mark);
        render_inline_comment(item);
    }
    end_line();
}

}  // namespace

void render_document(std::string& out, NullStyle null_style, const YamlNode& root) {
    Renderer(out, null_style).render_document(root, false);
}

std::string render_file_text(const YamlNode& node) {
    std::string out;
    out.reserve(256);
    if (node.leading_bom) out += "\xEF\xBB\xBF";
    Renderer(out, NullStyle::Keyword).render_document(node, true);
    return out;
}

namespace {

template <class Append>
void visit_include_roots(const YamlNode& node, Append& append) {
    if (is_include_root(node)) append(node);
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items()) with_stack_guard([&] { visit_include_roots(item, append); });
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) {
            with_stack_guard([&] { visit_include_roots(pair.key, append); });
            with_stack_guard([&] { visit_include_roots(pair.value, append); });
        }
    }
}

}  // namespace

void collect_modified_includes(const YamlNode& node, std::vector<IncludeText>& out) {
    auto append = [&](const YamlNode& root) {
        if (include_modified(root)) out.emplace_back(*root.source()->target_file_id, render_file_text(root));
    };
    visit_include_roots(node, append);
}

void collect_include_texts(const YamlNode& node, std::span<const std::optional<std::string>> file_texts,
                           std::vector<IncludeText>& out) {
    auto append = [&](const YamlNode& root) {
        const std::uint32_t id = *root.source()->target_file_id;
        if (id < file_texts.size() && file_texts[id] && !include_modified(root)) {
            out.emplace_back(id, *file_texts[id]);
        } else {
            out.emplace_back(id, render_file_text(root));
        }
    };
    visit_include_roots(node, append);
}

}  // namespace quillmere::roundtrip

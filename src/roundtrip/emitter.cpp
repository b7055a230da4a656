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
// a "," inside brackets), a new text that readers of YAML 1.1 cannot
// take (a ":" or a "?" inside brackets), a text with a character that
// only an escape carries for every reader (NEL, the line and paragraph
// separators), a single-quoted text with a line break or a control
// character, a block scalar inside a flow collection or as a simple key.
// An unchanged block scalar is written from its source text, shifted
// when its new indentation differs; a changed one is written from
// its text with the header (chomping, an indentation indicator when the
// first line starts with a space, the header comment) that reads back as
// that text. A flow collection that holds comments is written over several
// lines so that every comment keeps its place.
//
// A comment is written where reading the text back attaches it to a node
// in the same order, and where the next cycle writes it again: the inline
// comment of a block collection that is a simple key's value after
// "key:", that of any other block collection, and the comments of its
// first entry, above the collection; those of a value that stood below its
// key, below the key; a tag with no content ("key: !t" and nothing), which
// stands where the next token does, gets the comments up to that token
// above it, below its key or dash.
//
// Every recursive writer goes through the stack guard.
#include "roundtrip/emitter.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/stack_guard.h"
#include "encode/scalar_text.h"
#include "roundtrip/composer.h"
#include "roundtrip/queries.h"
#include "roundtrip/splice.h"
#include "scanner/unicode.h"

namespace quillmere::roundtrip {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_flow_indicator(char c) { return c == ',' || c == '[' || c == ']' || c == '{' || c == '}'; }

// What a byte of a scalar's text may mean for its style. Lead bytes start
// the characters that are written only escaped besides the controls.
enum class ByteClass : std::uint8_t { Plain, Control, Tab, LineFeed, Hash, Colon, Question, Flow, Lead };

constexpr std::array<ByteClass, 256> make_byte_classes() {
    std::array<ByteClass, 256> classes{};
    for (int c = 0; c < 0x20; ++c) classes[c] = ByteClass::Control;
    classes[0x7F] = ByteClass::Control;
    classes['\t'] = ByteClass::Tab;
    classes['\n'] = ByteClass::LineFeed;
    classes['#'] = ByteClass::Hash;
    classes[':'] = ByteClass::Colon;
    classes['?'] = ByteClass::Question;
    for (unsigned char c : {',', '[', ']', '{', '}'}) classes[c] = ByteClass::Flow;
    classes[0xC2] = classes[0xE2] = classes[0xEF] = ByteClass::Lead;
    return classes;
}
constexpr std::array<ByteClass, 256> kByteClasses = make_byte_classes();

// Whether `text` holds a character written only escaped: a control other
// than tab (and line feed, where `line_feed` allows it), or one of those of
// encode::escaped_only_length.
bool has_unwritable(std::string_view text, bool line_feed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (kByteClasses[static_cast<unsigned char>(text[i])]) {
            case ByteClass::Control: return true;
            case ByteClass::LineFeed:
                if (!line_feed) return true;
                break;
            case ByteClass::Lead:
                if (encode::escaped_only_length(text, i) != 0) return true;
                break;
            default: break;
        }
    }
    return false;
}

// Whether `text` written plain reads back as the same text, on one line,
// inside a flow collection or not. `every_reader` asks that readers of
// YAML 1.1 read it too, which take no ":" and no "?" in a plain scalar
// inside brackets: a new text is held to that, while a text read from the
// source keeps the plain style it was read in.
bool plain_fits(std::string_view text, bool in_flow, bool every_reader = true) {
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
        switch (kByteClasses[static_cast<unsigned char>(text[i])]) {
            case ByteClass::Plain:
            case ByteClass::Tab:
                break;
            case ByteClass::Control:
            case ByteClass::LineFeed:
                return false;
            case ByteClass::Hash:
                if (is_blank(text[i - 1])) return false;
                break;
            case ByteClass::Colon:
                if (i + 1 == text.size() || is_blank(text[i + 1]) ||
                    (in_flow && (every_reader || is_flow_indicator(text[i + 1]))))
                    return false;
                break;
            case ByteClass::Question:
                if (in_flow && every_reader) return false;
                break;
            case ByteClass::Flow:
                if (in_flow) return false;
                break;
            case ByteClass::Lead:
                if (encode::escaped_only_length(text, i) != 0) return false;
                break;
        }
    }
    return true;
}

// Whether a node was read from a source text: a node made from a value
// has no position. (The only node at the very start of a text is a root,
// which no bracket holds.)
bool from_source(const YamlNode& node) { return node.span != Span{}; }

bool single_quoted_fits(std::string_view text) { return !has_unwritable(text, false); }

// A plain scalar without properties whose text starts with ":" and is
// written plain inside brackets.
bool starts_with_colon(const YamlNode& node) {
    return node.is(NodeKind::Scalar) && node.scalar_style() == ScalarStyle::Plain && !node.tag() && !node.anchor() &&
           node.text().starts_with(':') && plain_fits(node.text(), true, !from_source(node));
}

// Double quotes, with NEL, the line and paragraph separators and the byte
// order mark escaped as well: readers of YAML 1.1 fold the first three
// inside quotes as line breaks, and readers drop the last.
void write_double_quoted(std::string& out, std::string_view text) {
    const std::size_t start = out.size();
    encode::write_double_quoted(out, text);
    std::size_t at = out.find_first_of("\xC2\xE2\xEF", start);
    if (at == std::string::npos) return;
    std::string escaped(out, start, at - start);
    for (; at < out.size(); ++at) {
        const std::string_view rest = std::string_view(out).substr(at);
        if (rest.starts_with("\xC2\x85")) {
            escaped += "\\N";
            at += 1;
        } else if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9")) {
            escaped += rest[2] == '\xA8' ? "\\L" : "\\P";
            at += 2;
        } else if (rest.starts_with("\xEF\xBB\xBF")) {
            escaped += "\\uFEFF";
            at += 2;
        } else {
            escaped += out[at];
        }
    }
    out.resize(start);
    out += escaped;
}

bool is_include_root(const YamlNode& node) { return node.source() && node.source()->target_file_id; }

// A node whose content is written as nothing or as "null": a Null, or a
// plain scalar with an empty text (both read as null).
bool is_null_like(const YamlNode& node) {
    return node.is(NodeKind::Null) ||
           (node.is(NodeKind::Scalar) && node.scalar_style() == ScalarStyle::Plain && node.text().empty() &&
            !node.tag());
}

const Comments kNoComments;

// The comments a node has in the text it stands in: an included file's
// root has those of its directive there (its own are its file's).
const Comments& comments_in_text(const YamlNode& node) {
    if (!is_include_root(node)) return node.comments;
    const auto& kept = node.source()->directive_comments;
    return kept ? *kept : kNoComments;
}

bool has_comments(const YamlNode& node) {
    const Comments& comments = comments_in_text(node);
    return !comments.head().empty() || comments.inline_comment().has_value();
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

// Reads a header as the scanner does: indicators and blanks in any order,
// the last of each kind counting, then an optional comment.
std::optional<BlockHeader> parse_block_header(std::string_view line) {
    if (line.empty() || (line[0] != '|' && line[0] != '>')) return std::nullopt;
    BlockHeader header;
    header.indicator = line[0];
    std::size_t gap = 1;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (is_blank(c)) continue;
        if (c == '#') {
            if (!is_blank(line[i - 1])) return std::nullopt;
            header.comment_gap = line.substr(gap, i - gap);
            header.comment = line.substr(i + 1);
            break;
        }
        if (c >= '1' && c <= '9') {
            header.indent = c - '0';
        } else if (c == '-' || c == '+') {
            header.chomping = c;
        } else {
            return std::nullopt;
        }
        gap = i + 1;
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

// A block scalar's source text, read against the node's text.
struct RawBlock {
    BlockHeader header;
    std::string_view header_line;
    // The lines after the header, without the indentation of the next line
    // that the scanner's end can take in.
    std::vector<std::string_view> lines;
    std::size_t indent = 0;  // the content indentation in the source
    bool content = false;    // some line has content
    bool final_break = true;  // the last line ends with a line break
    // Lines of spaces before the first line with content, or that line
    // starting with a space: the indentation cannot be detected.
    bool spaces_before_content = false;
    std::size_t empty_at_end = 0;  // lines without content after the last one with
};

// None when the source text does not match the text line for line.
std::optional<RawBlock> read_raw_block(std::string_view raw, std::string_view text) {
    const std::size_t header_end = raw.find_first_of("\r\n");
    if (header_end == std::string_view::npos) return std::nullopt;
    RawBlock block;
    block.header_line = raw.substr(0, header_end);
    const auto header = parse_block_header(block.header_line);
    if (!header) return std::nullopt;
    block.header = *header;
    block.lines = split_lines(raw.substr(header_end + (raw.substr(header_end, 2) == "\r\n" ? 2 : 1)));
    std::vector<std::string_view>& lines = block.lines;

    // The content indentation: the first line with content starts with it,
    // followed by whatever the text's first such line starts with.
    const auto first = std::find_if(lines.begin(), lines.end(), has_content);
    if (first != lines.end()) {
        // The spaces that start the text's first line with content: the
        // first character besides a space or line break, back to its line.
        const std::size_t at = text.find_first_not_of(" \n");
        if (at == std::string_view::npos) return std::nullopt;
        const std::size_t line_start = text.find_last_of('\n', at) + 1;
        const std::size_t text_spaces = at - line_start;
        if (leading_spaces(*first) < text_spaces) return std::nullopt;
        block.indent = leading_spaces(*first) - text_spaces;
        block.content = true;
        block.spaces_before_content = text_spaces > 0;
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (has_content(*it) && leading_spaces(*it) < block.indent) return std::nullopt;
            if (it < first && it->size() > block.indent) block.spaces_before_content = true;
        }
    }
    // After the last line break: the next line's indentation, or a last
    // line that the end of the text cut off.
    if (has_content(lines.back()) || (block.content && lines.back().size() > block.indent)) {
        block.final_break = false;
    } else {
        lines.pop_back();
    }
    while (block.empty_at_end < lines.size() && lines[lines.size() - 1 - block.empty_at_end].size() <= block.indent &&
           !has_content(lines[lines.size() - 1 - block.empty_at_end]))
        ++block.empty_at_end;
    return block;
}

// The comment in the header of a block scalar that has to be written
// double-quoted: it goes on a line above the scalar.
std::optional<std::string_view> displaced_header_comment(const YamlNode& node) {
    const std::optional<HeaderComment> header = block_scalar_header_comment(node);
    if (!header || !has_unwritable(node.text(), true)) return std::nullopt;
    // The text as a comment line of its own has it as it stood, without
    // its trailing blanks.
    return scanner::trim_white_space_end(header->written);
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

    // The places of a document that the splicing writer has rendered
    // anew: what follows a block mapping key's ":" or an item's "-",
    // entries of a block mapping, a node in a flow collection, a root.
    void render_value_place(const YamlNode& value, std::uint64_t indent);
    void render_item_place(const YamlNode& item, std::uint64_t indent);
    void render_entries_place(std::span<const NodePair> pairs, std::uint64_t indent);
    void render_flow_place(const YamlNode& node);
    bool render_inline_place(const YamlNode& value, std::uint64_t indent);
    void render_root_place(const YamlNode& root, std::uint64_t indent);

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
    void render_inline_comment(const YamlNode& node, std::uint32_t written = 0);
    void render_head(const YamlNode& node, std::uint64_t indent, bool blank_lines = true);
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

    // Block writers. The first entry of a collection either has its
    // comments written with it (Normal), or they were written above the
    // collection already (CommentsWritten), or it continues the line of an
    // indicator as well (SameLine).
    enum class First : std::uint8_t { Normal, CommentsWritten, SameLine };
    void render_leading_comments(const YamlNode& node, std::uint64_t indent, bool inline_written = false);
    void render_block_collection(const YamlNode& node, std::uint64_t indent, First first);
    void render_block_mapping(std::span<const NodePair> pairs, std::uint64_t indent, First first);
    void render_entry(const NodePair& pair, std::uint64_t indent);
    void render_key(const YamlNode& key);
    bool is_simple_key(const YamlNode& key) const;
    void render_complex_key(const YamlNode& key, const YamlNode& value, std::uint64_t indent);
    void render_block_value(const YamlNode& value, std::uint64_t indent, bool after_simple_key = false);
    void render_block_sequence(const std::vector<YamlNode>& items, std::uint64_t indent, First first);
    void render_sequence_item(const YamlNode& item, std::uint64_t indent, bool comments_below);
    bool writes_nothing(const YamlNode& node) const;
    bool writes_lines(const YamlNode& node, bool in_flow = false) const;
    bool is_bare_tag(const YamlNode& node) const;
    bool is_empty_null(const YamlNode& node) const;
    bool follows_empty_value() const;
    void link_bare_tags(const YamlNode& node, const YamlNode*& pending);
    void link_document();
    void render_taken_comments(const YamlNode& node, std::uint64_t indent);
    bool render_below(const YamlNode& node, std::uint64_t indent);
    void render_directive_line(const YamlNode& node);
    bool render_rest_of_line(const YamlNode& node, std::int64_t parent, std::uint64_t indent,
                             std::uint64_t flow_indent);
    // A node written as its directive: one with a source, except the root
    // of a file that is written as that file's text.
    bool is_directive(const YamlNode& node) const { return node.source() && &node != file_root_; }
    bool is_included(const YamlNode& node) const { return is_directive(node) && node.source()->target_file_id; }
    // The comments written with a node here: an included file's root
    // written as its directive has those of the directive.
    const Comments& comments_here(const YamlNode& node) const {
        return is_included(node) ? comments_in_text(node) : node.comments;
    }
    bool is_taken(const YamlNode& node) const { return !taken_.empty() && taken_.count(&node) != 0; }

    std::string& out_;
    NullStyle null_style_;
    // Where the line ends that holds the last mapping value with no
    // content (nothing, or properties alone).
    std::size_t empty_value_break_ = std::string::npos;
    // Where the content of the text's first document starts.
    std::size_t text_start_ = std::string::npos;
    // The last node written is a block scalar that keeps its final breaks.
    bool after_keep_block_ = false;
    // A tag with no content stands where the next token does, so the
    // comments between it and the node on the next line (or the end of the
    // document) read back as its own: they are written with it, and not
    // with the node they came before.
    std::unordered_map<const YamlNode*, const YamlNode*> takes_;
    std::unordered_set<const YamlNode*> taken_;
    // The links are made when the first such tag turns up, which in most
    // documents it never does.
    bool linked_ = false;
    const YamlNode* document_ = nullptr;
    const YamlNode* foot_owner_ = nullptr;
    const YamlNode* file_root_ = nullptr;
    // The last node written is a tag with no content.
    bool after_bare_tag_ = false;
};

// Links each tag with no content in block context to the node that
// starts the next line after it; `pending` is the last one not linked yet.
void Renderer::link_bare_tags(const YamlNode& node, const YamlNode*& pending) {
    const auto take = [&](const YamlNode& next) {
        if (pending == nullptr) return;
        takes_.emplace(pending, &next);
        taken_.insert(&next);
        pending = nullptr;
    };
    const auto visit = [&](const YamlNode& child) {
        if (is_block_collection(child)) {
            if (!is_directive(child)) with_stack_guard([&] { link_bare_tags(child, pending); });
        } else if (is_bare_tag(child) && !is_directive(child)) {
            pending = &child;
        }
    };
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items()) {
            // Such an item has its comments below its dash: nothing above
            // it to take.
            if (pending != nullptr && is_bare_tag(item)) pending = nullptr;
            take(item);
            visit(item);
        }
        return;
    }
    for (const NodePair& pair : node.pairs()) {
        take(pair.key);
        // A key stands before its ":", on its own line: it takes nothing.
        if (is_block_collection(pair.key) && !is_directive(pair.key))
            with_stack_guard([&] { link_bare_tags(pair.key, pending); });
        // A ":" line after a key written with "?" comes before the value.
        if (pending != nullptr && !is_simple_key(pair.key) && !is_empty_null(pair.value)) pending = nullptr;
        visit(pair.value);
    }
}

void Renderer::link_document() {
    if (std::exchange(linked_, true)) return;
    const YamlNode* pending = is_bare_tag(*document_) ? document_ : nullptr;
    if (is_block_collection(*document_) && !is_directive(*document_)) link_bare_tags(*document_, pending);
    if (pending != nullptr && !document_->comments.foot().empty()) foot_owner_ = pending;
}

// Whether the last thing written was a mapping value with no content,
// followed by nothing but comment lines, blank lines and the indentation of
// the current line.
bool Renderer::follows_empty_value() const {
    if (empty_value_break_ == std::string::npos) return false;
    std::size_t line = empty_value_break_ + 1;
    while (line < out_.size()) {
        const std::size_t end = out_.find('\n', line);
        std::size_t first = line;
        while (first < out_.size() && out_[first] == ' ') ++first;
        if (end == std::string::npos) return first == out_.size();
        if (first != end && out_[first] != '#') return false;
        line = end + 1;
    }
    return true;
}

void Renderer::render_tag(const std::string& tag) {
    // A tag is written as the scanner read it; a text that no tag token can
    // hold (an edit can set any text) goes into the verbatim form, control
    // characters escaped.
    const bool token = !tag.empty() && tag[0] == '!' && std::none_of(tag.begin(), tag.end(), [](char c) {
        return is_blank(c) || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
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
        write_double_quoted(out_, source.target);
    }
}

// Comment texts are written as they are kept: as read after the "#".
void Renderer::render_comment_line(std::string_view text, std::uint64_t indent) {
    spaces(indent);
    out_ += '#';
    out_ += text;
    newline();
}

// The inline comment, `inline_spaces` columns after the end of the node's
// content, `written` of which are taken already (by a "," or by the "-" of
// a null item), and at least one blank after whatever precedes it.
void Renderer::render_inline_comment(const YamlNode& node, std::uint32_t written) {
    const Comments& comments = comments_here(node);
    const auto& comment = comments.inline_comment();
    if (!comment) return;
    const std::uint32_t gap = comments.inline_spaces;
    spaces(gap > written ? gap - written : 1);
    out_ += '#';
    out_ += *comment;
}

// Blank lines and head comments. Those of an include root belong to its
// file and are written there; its directive's are written here.
void Renderer::render_head(const YamlNode& node, std::uint64_t indent, bool blank_lines) {
    const Comments& comments = comments_here(node);
    // Blank lines before anything else of a text are not kept when it is
    // read again; a tag with no content would take in those after it, and
    // a block scalar that keeps its final line breaks would count them as
    // more of its own.
    const bool after_keep = std::exchange(after_keep_block_, false);
    if (!std::exchange(after_bare_tag_, false) && !after_keep && blank_lines && out_.size() != text_start_)
        out_.append(comments.blank_before, '\n');
    for (const std::string& comment : comments.head()) render_comment_line(comment, indent);
    if (is_directive(node)) return;
    if (const auto comment = displaced_header_comment(node)) render_comment_line(*comment, indent);
}

// The inline comment of a block collection stood at the end of its first
// line; it is written on a line of its own above the collection's
// entries, where it reads back as a head comment in the same order.
void Renderer::render_inline_as_line(const YamlNode& node, std::uint64_t indent) {
    if (const auto& comment = node.comments.inline_comment(); comment && !is_included(node))
        render_comment_line(*comment, indent);
}

void Renderer::render_document(const YamlNode& root, bool as_file) {
    const bool first = out_.empty() || out_ == "\xEF\xBB\xBF";
    // Directive lines after a document need that document ended first.
    if (!root.directives().empty() && !first) {
        out_ += "...";
        newline();
    }
    for (const std::string& directive : root.directives()) {
        out_ += directive;
        newline();
    }
    if (root.explicit_start || !root.directives().empty()) {
        out_ += "---";
        newline();
    }
    if (first) text_start_ = out_.size();
    if (as_file) file_root_ = &root;
    if (is_directive(root)) {
        // A directive; the comments of an included file stay in that file.
        const Comments& comments = comments_here(root);
        for (const std::string& comment : comments.head()) render_comment_line(comment, 0);
        render_source_directive(*root.source(), false);
        render_inline_comment(root);
        newline();
        for (const std::string& comment : comments.foot()) render_comment_line(comment, 0);
        return;
    }
    document_ = &root;
    render_leading_comments(root, 0);
    if (is_block_collection(root)) {
        if (root.tag() || root.anchor()) {
            render_properties(root);
            newline();
        }
        render_block_collection(root, 0, First::CommentsWritten);
    } else {
        render_properties(root);
        if (root.tag() || root.anchor()) out_ += ' ';
        const bool block_scalar = render_content(root, Place::Root, -1, 2, 0);
        while (!out_.empty() && out_.back() == ' ') out_.pop_back();
        if (!block_scalar && !is_bare_tag(root) && !writes_lines(root)) render_inline_comment(root);
        end_line();
        // Comment lines after a block scalar at the root could be more of
        // its lines (when they are at column 0, or when it has none):
        // the document ends first.
        if (block_scalar && !root.comments.foot().empty()) {
            out_ += "...";
            newline();
        }
    }
    if (foot_owner_ == nullptr)
        for (const std::string& comment : root.comments.foot()) render_comment_line(comment, 0);
}

void Renderer::render_value_place(const YamlNode& value, std::uint64_t indent) {
    document_ = &value;
    render_block_value(value, indent, true);
}

void Renderer::render_item_place(const YamlNode& item, std::uint64_t indent) {
    document_ = &item;
    render_sequence_item(item, indent, false);
}

void Renderer::render_entries_place(std::span<const NodePair> pairs, std::uint64_t indent) {
    if (pairs.empty()) return;
    document_ = &pairs.front().key;
    render_block_mapping(pairs, indent, First::Normal);
}

void Renderer::render_flow_place(const YamlNode& node) {
    document_ = &node;
    render_flow_item(node, 0, true);
}

// A value as its properties and content alone, for a place whose
// padding and comments (above and after it) stay as they stand; false when
// the value does not fit on the line (a block collection or block scalar,
// nothing to write).
bool Renderer::render_inline_place(const YamlNode& value, std::uint64_t indent) {
    document_ = &value;
    if (is_block_collection(value) || is_block_scalar(value) || is_directive(value) || writes_nothing(value) ||
        is_bare_tag(value))
        return false;
    render_properties(value);
    if (value.tag() || value.anchor()) out_ += ' ';
    if (render_content(value, Place::Block, static_cast<std::int64_t>(indent), indent + 2, indent + 2)) return false;
    return out_.find('\n') == std::string::npos && !out_.empty() && out_.back() != ' ';
}

void Renderer::render_root_place(const YamlNode& root, std::uint64_t indent) {
    document_ = &root;
    if (is_block_collection(root) && !is_directive(root)) {
        if (root.tag() || root.anchor()) {
            render_properties(root);
            newline();
            spaces(indent);
        }
        const std::size_t first = out_.size();
        render_block_collection(root, indent, First::CommentsWritten);
        // The first line continues the place's own indentation.
        if (out_.compare(first, indent, std::string(indent, ' ')) == 0) out_.erase(first, indent);
        return;
    }
    if (is_directive(root)) {
        render_source_directive(*root.source(), false);
        render_inline_comment(root);
        end_line();
        return;
    }
    render_properties(root);
    if (root.tag() || root.anchor()) out_ += ' ';
    const bool block_scalar = render_content(root, Place::Root, -1, indent + 2, indent);
    while (!out_.empty() && out_.back() == ' ') out_.pop_back();
    if (!block_scalar && !is_bare_tag(root)) render_inline_comment(root);
    end_line();
}

// Writes the node's content (no properties). Returns true when the node's
// inline comment was written as part of it (the header of a block scalar).
bool Renderer::render_content(const YamlNode& node, Place place, std::int64_t parent, std::uint64_t indent,
                              std::uint64_t flow_indent) {
    if (is_directive(node) && place != Place::Root) {
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

// A null after its properties: nothing where an empty node reads as null,
// and always after a tag, where "~" or "null" would be a text under the
// tag and no null; else "null", or "~" for an assigned None under the
// Tilde style.
void Renderer::render_null(const YamlNode& node, Place place) {
    if (node.tag()) return;
    if (node.synthetic && null_style_ == NullStyle::Tilde) {
        out_ += '~';
    } else if (node.synthetic && null_style_ == NullStyle::Keyword) {
        out_ += "null";
    } else if (place != Place::Block || node.anchor()) {
        // An anchor alone would stand where the next token does and take
        // that line's comment for its own.
        out_ += "null";
    }
}

bool Renderer::render_scalar(const YamlNode& node, Place place, std::int64_t parent, std::uint64_t indent) {
    const std::string& text = node.text();
    switch (node.scalar_style()) {
        case ScalarStyle::Plain:
            if (plain_fits(text, place == Place::Flow, !from_source(node))) {
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
    write_double_quoted(out_, text);
    return false;
}

void Renderer::render_block_scalar_header(const YamlNode& node, const BlockHeader& header, int indent_indicator) {
    after_keep_block_ = header.chomping == '+';
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
    const std::string& text = node.text();
    if (has_unwritable(text, true)) return false;
    if (node.comments.raw() && !node.comments.modified && render_raw_block_scalar(node, parent, indent)) return true;
    const bool literal = node.scalar_style() == ScalarStyle::Literal;
    // Empty lines after the content of a scalar that does not keep them are
    // layout that the scalar's source text took in; they stay.
    std::size_t layout_lines = 0;
    std::size_t trailing = 0;
    while (trailing < text.size() && text[text.size() - 1 - trailing] == '\n') ++trailing;
    const std::string_view rest = std::string_view(text).substr(0, text.size() - trailing);

    BlockHeader header;
    header.indicator = literal ? '|' : '>';
    header.chomping = trailing == 0 ? '-' : (trailing == 1 && !rest.empty()) ? 0 : '+';
    if (const auto& raw = node.comments.raw()) {
        const std::string_view source(*raw);
        if (auto written = parse_block_header(source.substr(0, source.find_first_of("\r\n")))) {
            header.comment_gap = written->comment_gap;
            header.comment = written->comment;
        }
        const std::optional<RawBlock> block = read_raw_block(source, text);
        if (block && block->header.chomping != '+') layout_lines = block->empty_at_end;
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
        out_.append(trailing == 0 ? layout_lines : trailing, '\n');
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
    if (trailing > 1) {
        out_.append(trailing - 1, '\n');
    } else {
        out_.append(layout_lines, '\n');
    }
    return true;
}

// An unchanged block scalar from its source text. Its lines keep their
// indentation when the content stands deep enough in its new place; else
// they move to `indent`. Returns false when the source text does not match
// the node's text line for line, and the text is written anew.
bool Renderer::render_raw_block_scalar(const YamlNode& node, std::int64_t parent, std::uint64_t indent) {
    const std::optional<RawBlock> block = read_raw_block(*node.comments.raw(), node.text());
    if (!block || !block->content ||
        (block->header.indicator == '|') != (node.scalar_style() == ScalarStyle::Literal))
        return false;
    // A text that ended without a line break after its last line: the
    // line break written after it now would be one more kept line feed, or
    // the final line feed that clipping keeps.
    if (block->header.chomping != '-' && !block->final_break) return false;

    const std::uint64_t base = parent < 0 ? 0 : static_cast<std::uint64_t>(parent);
    const bool in_place = block->header.indent != 0
                              ? block->indent == base + static_cast<std::uint64_t>(block->header.indent)
                              : static_cast<std::int64_t>(block->indent) > parent;
    std::uint64_t target = block->indent;
    if (in_place && !node.comments.inline_comment()) {
        out_ += block->header_line;
        newline();
        after_keep_block_ = block->header.chomping == '+';
    } else {
        if (!in_place) target = indent;
        const int indicator = block->spaces_before_content ? static_cast<int>(target - base) : 0;
        render_block_scalar_header(node, block->header, indicator);
    }
    for (std::string_view line : block->lines) {
        if (line.size() > block->indent) {
            spaces(target);
            out_ += line.substr(block->indent);
        }
        newline();
    }
    return true;
}

void Renderer::render_flow_item(const YamlNode& node, std::uint64_t indent, bool one_line) {
    if (is_directive(node)) {
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
        // A tag with no content at the end stands where the closing bracket
        // does, on the next line: its comment goes above it.
        const bool alone = i + 1 == size && is_bare_tag(last) && !is_directive(last);
        const bool nested_lines = lines && writes_lines(last, true);
        if (lines) {
            newline();
            // Blank lines after a comment are not kept: the value's count
            // only while its key has none.
            const bool key_comments = !sequence && !node.pairs()[i].key.comments.head().empty();
            if (!sequence) render_head(node.pairs()[i].key, inner);
            render_head(last, inner, !key_comments);
            if (alone || nested_lines) render_inline_as_line(last, inner);
            spaces(inner);
        } else if (i > 0) {
            out_ += ", ";
        } else if (starts_with_colon(sequence ? last : node.pairs()[i].key)) {
            // "[ ::vector ]": glued to the bracket, readers that take every
            // ":" in a flow collection for a value indicator misread it.
            out_ += ' ';
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
            const bool comma = i + 1 < size;
            if (comma) out_ += ',';
            if (!alone && !nested_lines) render_inline_comment(last, comma ? 1 : 0);
        }
    }
    if (lines) {
        newline();
        spaces(indent);
    }
    out_ += sequence ? ']' : '}';
}

// A null that is written as nothing after "key:" or "-".
bool Renderer::writes_nothing(const YamlNode& node) const {
    return is_null_like(node) && !node.anchor() && !node.tag() &&
           (!node.synthetic || null_style_ == NullStyle::Empty);
}

// ... with nothing else on its line either.
bool Renderer::is_empty_null(const YamlNode& node) const {
    return writes_nothing(node) && !node.comments.inline_comment() && node.comments.head().empty() &&
           !displaced_header_comment(node);
}

// A null written as its tag alone (an anchor alone is given "null"). It
// stands where the next token does, so comments after it read back as
// comments above it.
bool Renderer::is_bare_tag(const YamlNode& node) const { return is_null_like(node) && node.tag(); }

// A flow collection written over several lines, as it holds comments. Its
// own inline comment can end neither its first line, which its items
// follow, nor its last, where it would read back as the next node's: it
// is written on a line of its own above the collection, as a block
// collection's is.
// Inside brackets every collection is a flow collection, whatever its style.
bool Renderer::writes_lines(const YamlNode& node, bool in_flow) const {
    return (node.is(NodeKind::Sequence) || node.is(NodeKind::Mapping)) && (in_flow || !is_block_collection(node)) &&
           !is_directive(node) && holds_comments(node);
}

// Everything written on lines of their own above a node at `indent`: its
// blank lines and head comments, and every comment that reads back as its
// own when the text is read again: the inline comment of a block
// collection or of a tag with no content, the header comment of a block
// scalar that goes double-quoted, the comments that such a tag takes in
// from the next line's node or the document's end, and the same of a block
// collection's first entry, which cannot stand between the collection's
// properties or indicator line and that entry.
//
// All of it reads back above the outermost node, where blank lines after a
// comment are not kept: only those before the first comment are written.
void Renderer::render_leading_comments(const YamlNode& node, std::uint64_t indent, bool inline_written) {
    const YamlNode* at = &node;
    bool commented = false;
    // What keeps blank lines out keeps them out of the whole chain.
    const bool after_keep = std::exchange(after_keep_block_, false);
    const bool blank_lines = !std::exchange(after_bare_tag_, false) && !after_keep;
    for (;;) {
        render_head(*at, indent, blank_lines && !commented);
        if (is_directive(*at)) return;
        if (is_bare_tag(*at)) {
            render_taken_comments(*at, indent);
            return;
        }
        commented = commented || !at->comments.head().empty() || displaced_header_comment(*at);
        if ((is_block_collection(*at) || writes_lines(*at)) && !(inline_written && at == &node)) {
            render_inline_as_line(*at, indent);
            commented = commented || at->comments.inline_comment();
        }
        if (!is_block_collection(*at)) return;
        at = at->is(NodeKind::Mapping) ? &at->pairs().front().key : &at->items().front();
    }
}

// What a tag with no content takes in besides its head comments: its
// inline comment, the comments above the node after it (without their
// blank lines, which a comment before them would not keep), and the
// comments below the document when it ends the document.
void Renderer::render_taken_comments(const YamlNode& node, std::uint64_t indent) {
    link_document();
    render_inline_as_line(node, indent);
    if (const auto next = takes_.find(&node); next != takes_.end()) {
        after_bare_tag_ = true;
        render_leading_comments(*next->second, indent);
    }
    if (&node == foot_owner_)
        for (const std::string& comment : document_->comments.foot()) render_comment_line(comment, indent);
}

// The comments of a tag with no content on the lines below its key or
// dash, at `indent`, followed by that indentation; false, and nothing
// written, when there are none.
bool Renderer::render_below(const YamlNode& node, std::uint64_t indent) {
    const std::size_t mark = out_.size();
    newline();
    const std::size_t start = out_.size();
    render_head(node, indent);
    render_taken_comments(node, indent);
    if (out_.size() == start) {
        out_.resize(mark);
        return false;
    }
    spaces(indent);
    return true;
}

// A block collection's entries or items at `indent`.
void Renderer::render_block_collection(const YamlNode& node, std::uint64_t indent, First first) {
    with_stack_guard([&] {
        if (node.is(NodeKind::Sequence)) {
            render_block_sequence(node.items(), indent, first);
        } else {
            render_block_mapping(node.pairs(), indent, first);
        }
    });
}

bool Renderer::is_simple_key(const YamlNode& key) const {
    switch (key.kind()) {
        case NodeKind::Scalar:
            // A block scalar that has to be double-quoted is one line.
            return !is_block_scalar(key) || has_unwritable(key.text(), true);
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

void Renderer::render_block_mapping(std::span<const NodePair> pairs, std::uint64_t indent, First first) {
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if ((i > 0 || first == First::Normal) && !is_taken(pairs[i].key))
            render_leading_comments(pairs[i].key, indent);
        if (i > 0 || first != First::SameLine) spaces(indent);
        render_entry(pairs[i], indent);
    }
}

// One entry after its indentation.
void Renderer::render_entry(const NodePair& pair, std::uint64_t indent) {
    if (!is_simple_key(pair.key)) {
        render_complex_key(pair.key, pair.value, indent);
        return;
    }
    if ((pair.key.tag() || pair.key.anchor()) && follows_empty_value()) {
        // After "key:" with nothing behind it, properties at the start of a
        // later line at or left of that key are taken for the empty
        // value's; behind "? " they are the key's.
        out_ += "? ";
        render_key(pair.key);
        while (out_.back() == ' ') out_.pop_back();
        newline();
        // A key that is a tag alone stands where the next token does: its
        // ":" keeps that token on the next line.
        if (is_empty_null(pair.value) && !is_bare_tag(pair.key)) return;
        spaces(indent);
    } else {
        render_key(pair.key);
        out_ += ':';
        render_block_value(pair.value, indent, true);
        return;
    }
    out_ += ':';
    render_block_value(pair.value, indent);
}

// "?", the key on that line or, when it is a block collection, below it
// (its comments are above the "?"), then ":" and the value. A key alone
// has an empty value, and an empty ":" line could take properties on the
// next line for its own: the ":" is left out then.
void Renderer::render_complex_key(const YamlNode& key, const YamlNode& value, std::uint64_t indent) {
    out_ += '?';
    if (is_block_collection(key)) {
        render_trailing_properties(key);
        newline();
        render_block_collection(key, indent + 2, First::CommentsWritten);
    } else {
        out_ += ' ';
        render_properties(key);
        if (key.tag() || key.anchor()) out_ += ' ';
        if (!render_content(key, Place::Block, static_cast<std::int64_t>(indent), indent + 2, indent + 2) &&
            !writes_lines(key))
            render_inline_comment(key);
        while (out_.back() == ' ') out_.pop_back();
        end_line();
    }
    if (is_empty_null(value)) return;
    spaces(indent);
    out_ += ':';
    render_block_value(value, indent);
}

// What follows "key:" at `indent`, up to and including its last line break.
// After a simple key, on the key's line, a block collection's inline
// comment ends that line, where it reads back as the collection's.
void Renderer::render_block_value(const YamlNode& value, std::uint64_t indent, bool after_simple_key) {
    if (is_directive(value)) {
        if (!comments_here(value).head().empty()) {
            // Comments above a directive that stood on the line below its
            // key; the directive line adds one blank of its own.
            newline();
            render_leading_comments(value, indent + 2);
            spaces(indent + 1);
        }
        render_directive_line(value);
        return;
    }
    if (is_block_collection(value)) {
        // A sequence stays indentless when it was; one made by an edit
        // (column 0) is written indentless too.
        const bool indented = value.is(NodeKind::Mapping) || value.span.column > indent;
        const std::uint64_t inner = indented ? indent + 2 : indent;
        render_trailing_properties(value);
        const bool inline_here = after_simple_key && value.comments.inline_comment();
        if (inline_here) render_inline_comment(value);
        newline();
        render_leading_comments(value, inner, inline_here);
        render_block_collection(value, inner, First::CommentsWritten);
        return;
    }
    if (is_empty_null(value)) {
        empty_value_break_ = out_.size();
        newline();
        return;
    }
    const bool bare_tag = is_bare_tag(value);
    if (writes_nothing(value) && value.comments.head().empty()) {
        // The comment stays on the key's line after an explicit null. A
        // null made for a missing value has no position to measure from.
        out_ += " null";
        render_inline_comment(value, value.span == Span{} ? value.comments.inline_spaces : 0);
        newline();
        return;
    }
    if (bare_tag) {
        if (!render_below(value, indent + 2)) spaces(std::max<std::uint32_t>(value.comments.value_pad, 1));
    } else if (!value.comments.head().empty() || displaced_header_comment(value) ||
               (writes_lines(value) && value.comments.inline_comment())) {
        // Comments above a value that stood on the line below its key. A
        // null there is written "null": nothing after the comments would
        // leave a line of blanks, and the comments would read back as the
        // next line's.
        newline();
        render_leading_comments(value, indent + 2);
        spaces(indent + 2);
        if (writes_nothing(value)) {
            out_ += "null";
            render_inline_comment(value);
            newline();
            return;
        }
    } else {
        spaces(std::max<std::uint32_t>(value.comments.value_pad, 1));
    }
    if (render_rest_of_line(value, static_cast<std::int64_t>(indent), indent + 2, indent + 2))
        empty_value_break_ = out_.size() - 1;
}

void Renderer::render_block_sequence(const std::vector<YamlNode>& items, std::uint64_t indent, First first) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool own = i > 0 || first == First::Normal;
        // A tag with no content has its comments below its dash, where the
        // tag before it cannot take them in.
        const bool below = own && is_bare_tag(items[i]) && !is_directive(items[i]);
        if (own && !below && !is_taken(items[i])) render_leading_comments(items[i], indent);
        if (i > 0 || first != First::SameLine) spaces(indent);
        out_ += '-';
        render_sequence_item(items[i], indent, below);
    }
}

// What follows the "-" of an item at `indent`, up to and including its
// last line break. The item's comments are above its dash, or with
// `comments_below` below it.
void Renderer::render_sequence_item(const YamlNode& item, std::uint64_t indent, bool comments_below) {
    if (is_directive(item)) {
        render_directive_line(item);
        return;
    }
    if (is_block_collection(item)) {
        if (item.tag() || item.anchor()) {
            // Properties stay on the dash line, the content below them.
            render_trailing_properties(item);
            newline();
            render_block_collection(item, indent + 2, First::CommentsWritten);
        } else if (item.is(NodeKind::Mapping) || item.comments.compact) {
            // The first entry or item on the dash line, the others below.
            out_ += ' ';
            render_block_collection(item, indent + 2, First::SameLine);
        } else {
            newline();
            render_block_collection(item, indent + 2, First::CommentsWritten);
        }
        return;
    }
    if (writes_nothing(item)) {
        // A null item stands at its dash, which the "-" already takes.
        render_inline_comment(item, 1);
        newline();
        return;
    }
    if (!(comments_below && render_below(item, indent + 2))) spaces(std::max<std::uint32_t>(item.comments.value_pad, 1));
    render_rest_of_line(item, static_cast<std::int64_t>(indent), indent + 4, indent + 2);
}

// " " and the directive of a directive node after its key's ":" or its
// "-", with the node's inline comment (unless its file has it).
void Renderer::render_directive_line(const YamlNode& node) {
    out_ += ' ';
    render_source_directive(*node.source(), false);
    render_inline_comment(node);
    newline();
}

// A node after its indicator and padding: its properties, its content and
// its inline comment (in the header of a block scalar), up to the end of
// its last line. True when nothing but the properties was written.
bool Renderer::render_rest_of_line(const YamlNode& node, std::int64_t parent, std::uint64_t indent,
                                   std::uint64_t flow_indent) {
    render_properties(node);
    const std::size_t mark = out_.size();
    if (node.tag() || node.anchor()) out_ += ' ';
    const std::size_t content = out_.size();
    const bool bare_tag = is_bare_tag(node);
    bool empty = false;
    if (!render_content(node, Place::Block, parent, indent, flow_indent)) {
        empty = out_.size() == content;
        if (empty) out_.resize(mark);
        // A bare tag's comment went above it, and so did that of a flow
        // collection over several lines.
        if (!bare_tag && !writes_lines(node)) render_inline_comment(node);
    }
    // Blank lines after a bare tag are the next line's, unless that line's
    // node is taken in (and its blank lines dropped) already.
    after_bare_tag_ = bare_tag && (takes_.empty() || !takes_.count(&node));
    end_line();
    return empty;
}

}  // namespace

std::optional<HeaderComment> block_scalar_header_comment(const YamlNode& node) {
    if (!is_block_scalar(node) || !node.comments.raw()) return std::nullopt;
    const std::string_view raw(*node.comments.raw());
    const auto header = parse_block_header(raw.substr(0, raw.find_first_of("\r\n")));
    if (!header || !header->comment) return std::nullopt;
    return HeaderComment{*header->comment, static_cast<std::uint32_t>(header->comment_gap.size())};
}

void render_document(std::string& out, NullStyle null_style, const YamlNode& root) {
    Renderer(out, null_style).render_document(root, false);
}

std::string render_value_text(const YamlNode& value, std::uint64_t indent, NullStyle null_style) {
    std::string out;
    Renderer(out, null_style).render_value_place(value, indent);
    return out;
}

std::string render_item_text(const YamlNode& item, std::uint64_t indent, NullStyle null_style) {
    std::string out;
    Renderer(out, null_style).render_item_place(item, indent);
    return out;
}

std::string render_entries_text(std::span<const NodePair> pairs, std::uint64_t indent, NullStyle null_style) {
    std::string out;
    Renderer(out, null_style).render_entries_place(pairs, indent);
    return out;
}

std::string render_flow_text(const YamlNode& node, NullStyle null_style) {
    std::string out;
    Renderer(out, null_style).render_flow_place(node);
    return out;
}

std::optional<std::string> render_inline_text(const YamlNode& value, std::uint64_t indent, NullStyle null_style) {
    std::string out;
    if (!Renderer(out, null_style).render_inline_place(value, indent)) return std::nullopt;
    return out;
}

std::string render_root_text(const YamlNode& root, std::uint64_t indent, NullStyle null_style) {
    std::string out;
    Renderer(out, null_style).render_root_place(root, indent);
    return out;
}

void render_documents(std::string& out, NullStyle null_style, std::span<const YamlNode> roots) {
    if (!roots.empty() && roots.front().leading_bom) out += "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < roots.size(); ++i) {
        // A document with directive lines writes its own "---" after them.
        if (i > 0 && !roots[i].explicit_start && roots[i].directives().empty()) out += "---\n";
        render_document(out, null_style, roots[i]);
    }
}

namespace {

// The text of the file that `file`, an !include of `node`'s chain, names:
// the node's content for the chain's last include, else the directive the
// file holds (the next provenance of the chain, with the comments it has
// in that file). With `file_text`, the file as it was read, the file's
// documents after the first (which an include does not hold) follow.
std::string render_included_file(const YamlNode& node, const IncludeSource& file,
                                 std::optional<std::string_view> file_text) {
    std::string out;
    const std::uint32_t id = node.source() && node.source()->target_file_id ? *node.source()->target_file_id : 0;
    // The file as it was read, with the places that edits changed written
    // anew.
    if (file_text && node.span.file_id == id) {
        out.reserve(file_text->size() + 256);
        if (splice_text(out, *file_text, id, std::span(&node, 1), NullStyle::Keyword, &node)) return out;
    }
    out.reserve(256);
    if (file.inner) {
        // The directive alone: a node that is nothing but its provenance.
        YamlNode directive = YamlNode::null();
        directive.mutable_source() = *file.inner;
        directive.mutable_source()->inner.reset();
        if (!file.inner->target_file_id) directive.comments = node.comments;
        Renderer(out, NullStyle::Keyword).render_document(directive, false);
    } else {
        if (node.leading_bom) out += "\xEF\xBB\xBF";
        Renderer(out, NullStyle::Keyword).render_document(node, true);
    }
    // The include holds the file's first document; the others are read
    // again from the file as it was and written after it.
    if (!file_text) return out;
    auto composed = parse_source_documents(*file_text, file.target_file_id.value_or(0));
    if (!composed.ok()) return out;
    const std::vector<YamlNode>& documents = composed.value();
    for (std::size_t i = 1; i < documents.size(); ++i) {
        if (!documents[i].explicit_start && documents[i].directives().empty()) out += "---\n";
        render_document(out, NullStyle::Keyword, documents[i]);
    }
    return out;
}

std::optional<std::string_view> file_text(std::span<const std::optional<std::string>> file_texts, std::uint32_t id) {
    if (id >= file_texts.size() || !file_texts[id]) return std::nullopt;
    return std::string_view(*file_texts[id]);
}

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

std::string render_file_text(const YamlNode& node, std::optional<std::string_view> file_text) {
    if (!is_include_root(node)) return render_included_file(node, IncludeSource{}, file_text);
    return render_included_file(node, last_include(*node.source()), file_text);
}

// An include root stands for one file per !include of its chain. Only the
// last one's can change: every file before it holds the next directive,
// which no edit reaches (the root's comments are those of the last file,
// the directive's those of the including text).
void collect_modified_includes(const YamlNode& node, std::span<const std::optional<std::string>> file_texts,
                               std::vector<IncludeText>& out) {
    auto append = [&](const YamlNode& root) {
        const IncludeSource& file = last_include(*root.source());
        const std::uint32_t id = *file.target_file_id;
        if (content_modified(root)) out.emplace_back(id, render_included_file(root, file, file_text(file_texts, id)));
    };
    visit_include_roots(node, append);
}

void collect_include_texts(const YamlNode& node, std::span<const std::optional<std::string>> file_texts,
                           std::vector<IncludeText>& out) {
    auto append = [&](const YamlNode& root) {
        const IncludeSource& last = last_include(*root.source());
        for (const IncludeSource* file = &*root.source(); file != nullptr && file->target_file_id;
             file = file->inner.get()) {
            const std::uint32_t id = *file->target_file_id;
            const std::optional<std::string_view> text = file_text(file_texts, id);
            if (text && (file != &last || !content_modified(root))) {
                out.emplace_back(id, std::string(*text));
            } else {
                out.emplace_back(id, render_included_file(root, *file, text));
            }
        }
    };
    visit_include_roots(node, append);
}

}  // namespace quillmere::roundtrip

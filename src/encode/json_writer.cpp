// The JSON writer. See json_writer.h for what it produces.
//
// One walk over the tree appends to the caller's buffer. A mapping's keys
// are turned into texts once, into a list of (key text, pair) that is
// sorted in place when sort_keys asks for it; the texts that have to be
// made (numbers) live in one scratch string shared by all levels, and the
// lists of nested mappings are stacked on one vector, so the walk allocates
// nothing per node once the scratch space has grown.
#include "encode/json_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>
#include <vector>

#include "common/stack_guard.h"
#include "encode/scalar_text.h"
#include "encode/stable_sort.h"

namespace quillmere::encode {


namespace {

constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

struct Member {
    std::string_view text;  // valid until nested members are written
    std::size_t offset;     // where a made text starts in the scratch string
    const Pair* pair;
};

bool member_before(const Member& a, const Member& b) { return a.text.compare(b.text) < 0; }

std::size_t format_int(char* buffer, std::int64_t value) {
    return static_cast<std::size_t>(std::to_chars(buffer, buffer + 24, value).ptr - buffer);
}

// A big integer as a JSON number: YAML 1.1 texts may carry a '+' or '_',
// which JSON does not allow; a text that is no integer at all is written
// as a string rather than as broken JSON.
void write_json_big_int(std::string& out, std::string_view text) {
    const std::size_t begin = out.size();
    std::size_t i = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        if (text[0] == '-') out += '-';
        i = 1;
    }
    bool digits = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            out += c;
            digits = true;
        } else if (c != '_') {
            digits = false;
            break;
        }
    }
    if (!digits) {
        out.resize(begin);
        write_json_string(out, text);
    }
}

class JsonWriter {
public:
    JsonWriter(std::string& out, const JsonWriterConfig& config) : out_(out), config_(config) {}

    Result<void, std::string> write_json_value(const Value& value, std::uint64_t depth);

private:
    Result<void, std::string> write_sequence(std::span<const Value> items, std::uint64_t depth);
    Result<void, std::string> write_mapping(std::span<const Pair> pairs, std::uint64_t depth);
    Result<void, std::string> write_member(const Pair& pair, std::string_view key, std::uint64_t depth, bool first);
    // The key's text, made in `buffer` when it has to be; false for a
    // collection key.
    static bool key_text(const Value& key, char* buffer, std::string_view& text);
    void line_break(std::uint64_t level) {
        if (config_.indent == 0) return;
        out_ += '\n';
        out_.append(config_.indent * level, ' ');
    }

    std::string& out_;
    const JsonWriterConfig& config_;
    std::vector<Member> members_;
    std::string made_texts_;
};

Result<void, std::string> JsonWriter::write_json_value(const Value& value, std::uint64_t depth) {
    switch (value.kind()) {
        case ValueKind::Null:
            out_ += "null";
            break;
        case ValueKind::Bool:
            out_ += value.as_bool() ? "true" : "false";
            break;
        case ValueKind::Int: {
            char buffer[24];
            out_.append(buffer, format_int(buffer, value.as_int()));
            break;
        }
        case ValueKind::BigInt:
            write_json_big_int(out_, value.text());
            break;
        case ValueKind::Float:
            write_json_float(out_, value.as_float());
            break;
        case ValueKind::String:
            write_json_string(out_, value.text());
            break;
        case ValueKind::Sequence:
            return write_sequence(value.items(), depth);
        case ValueKind::Mapping:
            return write_mapping(value.pairs(), depth);
        case ValueKind::Tagged:
            return with_stack_guard([&] { return write_json_value(value.tagged_value().inner, depth); });
    }
    return Ok{};
}

Result<void, std::string> JsonWriter::write_sequence(std::span<const Value> items, std::uint64_t depth) {
    if (items.empty()) {
        out_ += "[]";
        return Ok{};
    }
    out_ += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out_ += ',';
        line_break(depth + 1);
        QM_TRY(with_stack_guard([&] { return write_json_value(items[i], depth + 1); }));
    }
    line_break(depth);
    out_ += ']';
    return Ok{};
}

bool JsonWriter::key_text(const Value& key, char* buffer, std::string_view& text) {
    const Value* k = &key;
    while (k->is(ValueKind::Tagged)) k = &k->tagged_value().inner;
    switch (k->kind()) {
        case ValueKind::Null:
            text = "null";
            return true;
        case ValueKind::Bool:
            text = k->as_bool() ? "true" : "false";
            return true;
        case ValueKind::Int:
            text = std::string_view(buffer, format_int(buffer, k->as_int()));
            return true;
        case ValueKind::Float:
            text = std::string_view(buffer, write_float(buffer, k->as_float(), FloatLayout::Json));
            return true;
        case ValueKind::BigInt:
        case ValueKind::String:
            text = k->text();
            return true;
        case ValueKind::Sequence:
        case ValueKind::Mapping:
        case ValueKind::Tagged:
            break;
    }
    return false;
}

Result<void, std::string> JsonWriter::write_member(const Pair& pair, std::string_view key, std::uint64_t depth,
                                                   bool first) {
    if (!first) out_ += ',';
    line_break(depth + 1);
    write_json_string(out_, key);
    out_ += ':';
    if (config_.indent != 0) out_ += ' ';
    return with_stack_guard([&] { return write_json_value(pair.value, depth + 1); });
}

Result<void, std::string> JsonWriter::write_mapping(std::span<const Pair> pairs, std::uint64_t depth) {
    if (pairs.empty()) {
        out_ += "{}";
        return Ok{};
    }
    char buffer[kFloatTextCapacity];
    if (!config_.sort_keys) {
        // Keys are checked before anything of the mapping is written.
        std::string_view text;
        for (const Pair& pair : pairs) {
            if (!key_text(pair.key, buffer, text)) return make_err(std::string(kJsonCollectionKeyError));
        }
        out_ += '{';
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            key_text(pairs[i].key, buffer, text);
            QM_TRY(write_member(pairs[i], text, depth, i == 0));
        }
        line_break(depth);
        out_ += '}';
        return Ok{};
    }

    const std::size_t mark = members_.size();
    const std::size_t text_mark = made_texts_.size();
    for (const Pair& pair : pairs) {
        std::string_view text;
        if (!key_text(pair.key, buffer, text)) {
            members_.resize(mark);
            made_texts_.resize(text_mark);
            return make_err(std::string(kJsonCollectionKeyError));
        }
        std::size_t offset = kNoOffset;
        if (text.data() == buffer) {
            offset = made_texts_.size();
            made_texts_ += text;
        }
        members_.push_back(Member{text, offset, &pair});
    }
    // Made texts are viewed only now that the scratch string has stopped
    // growing for this mapping.
    for (std::size_t i = mark; i < members_.size(); ++i) {
        Member& m = members_[i];
        if (m.offset != kNoOffset) m.text = std::string_view(made_texts_.data() + m.offset, m.text.size());
    }
    const std::size_t n = pairs.size();
    if (n > kInsertionSortLimit) members_.resize(mark + 2 * n);
    stable_sort_entries(std::span(members_).subspan(mark, n),
                        n > kInsertionSortLimit ? std::span(members_).subspan(mark + n, n) : std::span<Member>(),
                        member_before);
    members_.resize(mark + n);

    out_ += '{';
    Result<void, std::string> result = Ok{};
    for (std::size_t i = 0; i < n && result.ok(); ++i) {
        // Nested mappings grow both scratch vectors: look the member up
        // afresh and view a made text again.
        const Member m = members_[mark + i];
        const std::string_view text =
            m.offset == kNoOffset ? m.text : std::string_view(made_texts_.data() + m.offset, m.text.size());
        result = write_member(*m.pair, text, depth, i == 0);
    }
    members_.resize(mark);
    made_texts_.resize(text_mark);
    if (!result.ok()) return result;
    line_break(depth);
    out_ += '}';
    return Ok{};
}

}  // namespace

Result<void, std::string> write_json(std::string& out, const Value& value, const JsonWriterConfig& config) {
    JsonWriter writer(out, config);
    return writer.write_json_value(value, 0);
}

void write_json_float(std::string& out, double value) { append_float(out, value, FloatLayout::Json); }

namespace {

// Bytes that may need an escape: control characters, '"', '\\', and the
// lead byte of U+2028 and U+2029.
constexpr std::array<bool, 256> make_attention() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    table['"'] = table['\\'] = table[0xE2] = true;
    return table;
}
constexpr std::array<bool, 256> kAttention = make_attention();

}  // namespace

void write_json_string(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    out += '"';
    std::size_t run = 0;  // start of the bytes not yet copied
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!kAttention[byte(i)]) continue;
        const unsigned char c = byte(i);
        if (c == 0xE2) {
            if (i + 2 >= text.size() || byte(i + 1) != 0x80 || (byte(i + 2) != 0xA8 && byte(i + 2) != 0xA9)) continue;
            out.append(text.data() + run, i - run);
            out += byte(i + 2) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
            run = i + 1;
            continue;
        }
        out.append(text.data() + run, i - run);
        switch (c) {
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
                break;
        }
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
    out += '"';
}

}  // namespace quillmere::encode

#include "support/trees.h"

#include <algorithm>
#include <vector>

#include "decode/decoder.h"

namespace quillmere::testing {

namespace {

// The offset of the first character that YAML allows in no file (c-printable
// in the YAML specification: tab, line feed, carriage return, U+0020 to
// U+007E, NEL, U+00A0 to U+D7FF, U+E000 to U+FFFD, U+10000 and above), or
// npos. `text` is valid UTF-8.
std::size_t first_non_printable(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const bool printable = cp == '\t' || cp == '\n' || cp == '\r' || (cp >= 0x20 && cp <= 0x7E) || cp == 0x85 ||
                               (cp >= 0xA0 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000;
        if (!printable) return i;
        i += length;
    }
    return std::string_view::npos;
}

}  // namespace

std::string write_yaml(const Value& value, const encode::EmitterConfig& config) {
    std::string out;
    out.reserve(1024);
    encode::emit_document(out, value, config);
    return out;
}

Value TreeBuilder::s(std::string_view text) { return Value::string(arena.copy_text(text), arena); }

Value TreeBuilder::big(std::string_view text) { return Value::big_int(arena.copy_text(text), arena); }

Value TreeBuilder::seq(std::initializer_list<Value> items) {
    Value* array = arena.allocate_array<Value>(items.size());
    std::copy(items.begin(), items.end(), array);
    return Value::sequence(array, items.size());
}

Value TreeBuilder::map(std::initializer_list<std::pair<Value, Value>> pairs) {
    Pair* array = arena.allocate_array<Pair>(pairs.size());
    std::size_t n = 0;
    for (const auto& [k, v] : pairs) array[n++] = Pair{k, v};
    return Value::mapping(array, pairs.size());
}

Value TreeBuilder::tag(std::string_view tag, Value inner) { return Value::tagged(arena.copy_text(tag), inner, arena); }

Value sorted_copy(const Value& value, Arena& arena) {
    switch (value.kind()) {
        case ValueKind::Sequence: {
            Value* items = arena.allocate_array<Value>(value.items().size());
            for (std::size_t i = 0; i < value.items().size(); ++i) items[i] = sorted_copy(value.items()[i], arena);
            return Value::sequence(items, value.items().size());
        }
        case ValueKind::Mapping: {
            std::vector<const Pair*> order;
            encode::ordered_entries(value.pairs(), true, order);
            Pair* pairs = arena.allocate_array<Pair>(order.size());
            for (std::size_t i = 0; i < order.size(); ++i)
                pairs[i] = Pair{sorted_copy(order[i]->key, arena), sorted_copy(order[i]->value, arena)};
            return Value::mapping(pairs, order.size());
        }
        case ValueKind::Tagged:
            return Value::tagged(value.tagged_value().tag, sorted_copy(value.tagged_value().inner, arena), arena);
        default:
            return value;
    }
}

std::string yaml_read_back_fault(std::string_view text, const Value& tree, const encode::EmitterConfig& config) {
    if (const std::size_t at = first_non_printable(text); at != std::string_view::npos)
        return "a character YAML does not allow at byte " + std::to_string(at);
    if (text.empty() || text.back() != '\n') return "does not end with a line feed";
    auto decoded = decode::decode_documents(text, decode::DecodeOptions{});
    if (!decoded.ok()) {
        return "does not decode: " + decoded.error().message + " at line " +
               std::to_string(decoded.error().span.line + 1) + ", column " +
               std::to_string(decoded.error().span.column + 1);
    }
    if (decoded.value().documents.size() != 1)
        return "decodes to " + std::to_string(decoded.value().documents.size()) + " documents";
    Arena arena;
    const Value expected = config.sort_keys ? sorted_copy(tree, arena) : tree;
    if (!values_equal(decoded.value().documents[0], expected)) {
        encode::EmitterConfig flow;
        flow.flow_style = true;
        return "reads back as " + write_yaml(decoded.value().documents[0], flow);
    }
    return "";
}

}  // namespace quillmere::testing

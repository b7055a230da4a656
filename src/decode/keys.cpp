// Texts of mapping keys: the canonical form that decides whether two keys
// are the same, and the form that messages show.
//
//     canonical:  Int 1, Float 1.0, Bool true -> "2:1;"   String "1" -> "5:1:1"   Float 0.5 -> "4:4602678819172646912;"
//     display:    String "a" -> a   Int 1 -> Int(1)   [a] -> Sequence([String("a")])
#include <charconv>
#include <cstring>

#include "common/stack_guard.h"
#include "common/utf8.h"
#include "decode/key_set.h"
#include "decode/keys.h"
#include "encode/scalar_text.h"

namespace quillmere::decode {

namespace {

void append_number(std::string& out, std::uint64_t n) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, r.ptr);
}

void append_signed(std::string& out, std::int64_t n) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, r.ptr);
}

void append_canonical(std::string& out, const Value& v) {
    switch (v.kind()) {
        case ValueKind::Null: out += '0'; break;
        case ValueKind::Bool:
        case ValueKind::Int:
        case ValueKind::BigInt:
        case ValueKind::Float:
            if (const std::optional<std::string> whole = whole_number_text(v)) {
                out += "2:";
                out += *whole;
            } else if (v.is(ValueKind::Float)) {
                std::uint64_t bits;
                const double d = v.as_float();
                std::memcpy(&bits, &d, sizeof bits);
                out += "4:";
                append_number(out, bits);
            } else {
                out += "3:";
                out += v.text();
            }
            out += ';';
            break;
        case ValueKind::String:
            out += "5:";
            append_number(out, v.text().size());
            out += ':';
            out += v.text();
            break;
        case ValueKind::Tagged: {
            const TaggedValue& t = v.tagged_value();
            out += "6:";
            append_number(out, t.tag.size());
            out += ':';
            out += t.tag;
            with_stack_guard([&] { append_canonical(out, t.inner); });
            break;
        }
        case ValueKind::Sequence:
            out += "7:";
            append_number(out, v.items().size());
            out += ':';
            for (const Value& item : v.items()) with_stack_guard([&] { append_canonical(out, item); });
            break;
        case ValueKind::Mapping:
            out += "8:";
            append_number(out, v.pairs().size());
            out += ':';
            for (const Pair& p : v.pairs()) {
                with_stack_guard([&] { append_canonical(out, p.key); });
                with_stack_guard([&] { append_canonical(out, p.value); });
            }
            break;
    }
}

// Characters shown escaped in a debug text besides the named escapes.
bool is_unprintable(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
           c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
           c == 0xFEFF || (c >= 0xE000 && c <= 0xF8FF) || (c >= 0xFFF0 && c <= 0xFFFF);
}

void append_debug_text(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + n > text.size()) n = text.size() - i;
        char32_t cp = n == 1 ? lead : lead & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
        for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (cp == 0)
            out += "\\0";
        else
            append_quoted_char(out, cp, !is_unprintable(cp));
        i += n;
    }
    out += '"';
}

void append_debug(std::string& out, const Value& v) {
    switch (v.kind()) {
        case ValueKind::Null: out += "Null"; break;
        case ValueKind::Bool: out += v.as_bool() ? "Bool(true)" : "Bool(false)"; break;
        case ValueKind::Int:
            out += "Int(";
            append_signed(out, v.as_int());
            out += ')';
            break;
        case ValueKind::BigInt:
            out += "BigInt(";
            append_debug_text(out, v.text());
            out += ')';
            break;
        case ValueKind::Float:
            out += "Float(";
            encode::append_float(out, v.as_float(), encode::FloatLayout::Debug);
            out += ')';
            break;
        case ValueKind::String:
            out += "String(";
            append_debug_text(out, v.text());
            out += ')';
            break;
        case ValueKind::Sequence: {
            out += "Sequence([";
            bool first = true;
            for (const Value& item : v.items()) {
                if (!first) out += ", ";
                first = false;
                with_stack_guard([&] { append_debug(out, item); });
            }
            out += "])";
            break;
        }
        case ValueKind::Mapping: {
            out += "Mapping([";
            bool first = true;
            for (const Pair& p : v.pairs()) {
                if (!first) out += ", ";
                first = false;
                out += '(';
                with_stack_guard([&] { append_debug(out, p.key); });
                out += ", ";
                with_stack_guard([&] { append_debug(out, p.value); });
                out += ')';
            }
            out += "])";
            break;
        }
        case ValueKind::Tagged:
            out += "Tagged(";
            append_debug_text(out, v.tagged_value().tag);
            out += ", ";
            with_stack_guard([&] { append_debug(out, v.tagged_value().inner); });
            out += ')';
            break;
    }
}

}  // namespace

std::string canonical_key_text(const Value& key) {
    std::string out;
    append_canonical(out, key);
    return out;
}

std::string key_display_text(const Value& key) {
    if (key.is(ValueKind::String)) return std::string(key.text());
    std::string out;
    append_debug(out, key);
    return out;
}

}  // namespace quillmere::decode

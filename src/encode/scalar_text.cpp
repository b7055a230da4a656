// Float text and quoted-string bodies.
//
// format_float writes the shortest digits that read back as the same double
// (std::to_chars, which is locale-free), laid out positionally when the
// decimal exponent is between -4 and 15 and in exponent form otherwise, and
// always with a '.' so that the text reads back as a float:
//
//     1.0 -> 1.0     0.0001 -> 0.0001    1e15 -> 1000000000000000.0
//     1e16 -> 1.0e+16    0.00001 -> 1.0e-05    inf -> .inf
//
// The double-quoted body escapes NUL, tab, line feed, carriage return, the
// quote and the backslash by name, every other C0 control, DEL and the C1
// controls but NEL as \xNN, U+FFFE and U+FFFF as \uFFFE and \uFFFF (YAML
// allows none of these in a file), and passes everything else through as
// UTF-8:
//
//     a<TAB>"b"<BEL><U+009F>  ->  "a\t\"b\"\x07\x9f"
//
// The append_ forms write straight into the caller's buffer; runs of bytes
// that need no escape are copied in one piece.
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>

#include "encode/scalar_text.h"

namespace quillmere::encode {

namespace {

// The escape of `c`, or an empty view when it is written as it is. \xNN
// escapes are handled by the caller.
std::string_view named_escape(unsigned char c) {
    switch (c) {
    case 0x00: return "\\0";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '"': return "\\\"";
    case '\\': return "\\\\";
    }
    return {};
}

// Bytes that may need an escape: C0 controls, DEL, the quote, the
// backslash, and the lead bytes of the C1 controls, U+FFFE and U+FFFF.
constexpr std::array<bool, 256> make_escape_attention() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    table[0x7F] = table['"'] = table['\\'] = table[0xC2] = table[0xEF] = true;
    return table;
}
constexpr std::array<bool, 256> kEscapeAttention = make_escape_attention();

}  // namespace

void append_float(std::string& out, double value) {
    if (std::isnan(value)) {
        out += ".nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-.inf" : ".inf";
        return;
    }
    // Scientific form gives the shortest round-trip digits as d[.ddd]e±XX.
    char scientific[40];
    auto result = std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific);
    std::string_view text(scientific, std::size_t(result.ptr - scientific));

    bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    std::size_t e = text.find('e');
    char digits[20];
    std::size_t count = 0;
    for (char c : text.substr(0, e))
        if (c != '.') digits[count++] = c;
    bool negative_exponent = text[e + 1] == '-';
    int exponent = 0;
    for (char c : text.substr(e + 2)) exponent = exponent * 10 + (c - '0');
    if (negative_exponent) exponent = -exponent;

    if (negative) out += '-';
    std::string_view mantissa(digits, count);
    if (exponent >= -4 && exponent <= 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(std::size_t(-exponent - 1), '0');
            out += mantissa;
            return;
        }
        std::size_t whole = std::size_t(exponent) + 1;
        if (count <= whole) {
            out += mantissa;
            out.append(whole - count, '0');
            out += ".0";
        } else {
            out += mantissa.substr(0, whole);
            out += '.';
            out += mantissa.substr(whole);
        }
        return;
    }
    out += mantissa[0];
    out += '.';
    if (count > 1)
        out += mantissa.substr(1);
    else
        out += '0';
    out += exponent < 0 ? "e-" : "e+";
    int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) out += '0';
    char exponent_digits[8];
    auto end = std::to_chars(exponent_digits, exponent_digits + sizeof exponent_digits, magnitude).ptr;
    out.append(exponent_digits, end);
}

std::string format_float(double value) {
    std::string out;
    append_float(out, value);
    return out;
}

std::size_t non_printable_length(std::string_view text, std::size_t i) {
    if (i + 1 >= text.size()) return 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    if (byte(i) == 0xC2) return byte(i + 1) <= 0x9F && byte(i + 1) != 0x85 ? 2 : 0;
    if (byte(i) == 0xEF && i + 2 < text.size() && byte(i + 1) == 0xBF && byte(i + 2) >= 0xBE) return 3;
    return 0;
}

void append_escaped_double_quoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!kEscapeAttention[c]) continue;
        std::size_t length = 1;
        if (c >= 0x80) {
            length = non_printable_length(text, i);
            if (length == 0) continue;
        }
        out.append(text, run, i - run);
        run = i + length;
        std::string_view escape = named_escape(c);
        if (!escape.empty()) {
            out += escape;
        } else if (length == 3) {
            out += text[i + 2] == '\xBE' ? "\\uFFFE" : "\\uFFFF";
        } else {
            // A C1 control is escaped by its code point, which is its
            // second byte.
            if (length == 2) c = static_cast<unsigned char>(text[i + 1]);
            const char hex[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
            out.append(hex, sizeof hex);
        }
        i = run - 1;
    }
    out.append(text, run, text.size() - run);
}

std::string escape_double_quoted(std::string_view text) {
    std::string out;
    append_escaped_double_quoted(out, text);
    return out;
}

void write_double_quoted(std::string& out, std::string_view text) {
    out += '"';
    append_escaped_double_quoted(out, text);
    out += '"';
}

void write_single_quoted(std::string& out, std::string_view text) {
    out += '\'';
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\'') continue;
        // The quote ends the run, so it is written twice: once here and
        // once as the start of the next run.
        out.append(text, run, i + 1 - run);
        run = i;
    }
    out.append(text, run, text.size() - run);
    out += '\'';
}

}  // namespace quillmere::encode

// Float text and quoted-string bodies.
//
// write_float writes the shortest digits that read back as the same double
// (std::to_chars, which is locale-free). In YAML they are laid out
// positionally when the decimal exponent is between -4 and 15 and in
// exponent form otherwise, and always with a '.' so that the text reads
// back as a float; JSON lays every number out positionally, and the debug
// form of messages writes the exponent form as short as it can:
//
//     YAML   1.0 -> 1.0     0.0001 -> 0.0001    1e15 -> 1000000000000000.0
//            1e16 -> 1.0e+16    0.00001 -> 1.0e-05    inf -> .inf
//     JSON   1e16 -> 10000000000000000.0    0.00001 -> 0.00001
//     debug  1e16 -> 1e16    1.5e-7 -> 1.5e-7    inf -> inf
//
// The double-quoted body escapes NUL, tab, line feed, carriage return, the
// quote and the backslash by name, every other C0 control, DEL and the C1
// controls but NEL as \xNN, U+FFFE and U+FFFF as \uFFFE and \uFFFF (YAML
// allows none of these in a file), NEL, the line and paragraph separators
// as \N, \L and \P and the byte-order mark as \uFEFF (YAML 1.1 readers
// fold or drop them), and passes everything else through as UTF-8:
//
//     a<TAB>"b"<BEL><U+009F><U+2028>  ->  "a\t\"b\"\x07\x9f\L"
//
// The append_ forms write straight into the caller's buffer; runs of bytes
// that need no escape are copied in one piece.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>

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
// backslash, and the lead bytes of the characters of escaped_only_length.
constexpr std::array<bool, 256> make_escape_attention() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    table[0x7F] = table['"'] = table['\\'] = table[0xC2] = table[0xE2] = table[0xEF] = true;
    return table;
}

// The escape of a three-byte character of escaped_only_length.
std::string_view three_byte_escape(std::string_view character) {
    if (character == "\xE2\x80\xA8") return "\\L";
    if (character == "\xE2\x80\xA9") return "\\P";
    if (character == "\xEF\xBB\xBF") return "\\uFEFF";
    return character[2] == '\xBE' ? "\\uFFFE" : "\\uFFFF";
}
constexpr std::array<bool, 256> kEscapeAttention = make_escape_attention();

}  // namespace

std::size_t write_float(char* buffer, double value, FloatLayout layout) {
    char* out = buffer;
    auto put = [&](std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        out += text.size();
    };
    if (!std::isfinite(value)) {
        if (layout == FloatLayout::Json)
            put("null");
        else if (std::isnan(value))
            put(layout == FloatLayout::Yaml ? ".nan" : "NaN");
        else if (layout == FloatLayout::Yaml)
            put(value < 0 ? "-.inf" : ".inf");
        else
            put(value < 0 ? "-inf" : "inf");
        return std::size_t(out - buffer);
    }
    // The scientific form gives the shortest round-trip digits as
    // [-]d[.ddd]e±XX; they are laid out again from there.
    char scientific[32];
    const char* end = std::to_chars(scientific, scientific + sizeof scientific, value,
                                    std::chars_format::scientific).ptr;
    const char* p = scientific;
    if (*p == '-') *out++ = *p++;
    char digits[20];
    std::size_t count = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[count++] = *p;
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);

    if (layout == FloatLayout::Json || (exponent >= -4 && exponent <= 15)) {
        if (exponent < 0) {
            put("0.");
            out = std::fill_n(out, -exponent - 1, '0');
            put({digits, count});
            return std::size_t(out - buffer);
        }
        const std::size_t whole = std::size_t(exponent) + 1;
        for (std::size_t i = 0; i < whole; ++i) *out++ = i < count ? digits[i] : '0';
        *out++ = '.';
        if (count <= whole)
            *out++ = '0';
        else
            put({digits + whole, count - whole});
        return std::size_t(out - buffer);
    }
    *out++ = digits[0];
    if (count > 1) {
        *out++ = '.';
        put({digits + 1, count - 1});
    } else if (layout == FloatLayout::Yaml) {
        put(".0");
    }
    *out++ = 'e';
    if (layout == FloatLayout::Yaml) {
        // A sign always, and at least two digits.
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) *out++ = '0';
        out = std::to_chars(out, out + 8, magnitude).ptr;
    } else {
        out = std::to_chars(out, out + 8, exponent).ptr;
    }
    return std::size_t(out - buffer);
}

void append_float(std::string& out, double value, FloatLayout layout) {
    char buffer[kFloatTextCapacity];
    out.append(buffer, write_float(buffer, value, layout));
}

std::string format_float(double value) {
    std::string out;
    append_float(out, value);
    return out;
}

std::size_t escaped_only_length(std::string_view text, std::size_t i) {
    if (i + 1 >= text.size()) return 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    switch (byte(i)) {
        case 0xC2: return byte(i + 1) <= 0x9F ? 2 : 0;
        case 0xE2: return i + 2 < text.size() && byte(i + 1) == 0x80 && (byte(i + 2) | 1) == 0xA9 ? 3 : 0;
        case 0xEF:
            if (i + 2 >= text.size()) return 0;
            return (byte(i + 1) == 0xBF && byte(i + 2) >= 0xBE) || (byte(i + 1) == 0xBB && byte(i + 2) == 0xBF) ? 3 : 0;
        default: return 0;
    }
}

void append_escaped_double_quoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!kEscapeAttention[c]) continue;
        std::size_t length = 1;
        if (c >= 0x80) {
            length = escaped_only_length(text, i);
            if (length == 0) continue;
        }
        out.append(text, run, i - run);
        run = i + length;
        std::string_view escape = named_escape(c);
        if (!escape.empty()) {
            out += escape;
        } else if (length == 3) {
            out += three_byte_escape(text.substr(i, 3));
        } else if (length == 2 && text[i + 1] == '\x85') {
            out += "\\N";
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

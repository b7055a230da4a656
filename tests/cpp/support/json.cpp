#include "support/json.h"

#include <cstdint>

#include "common/utf8.h"

namespace quillmere::testing {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    Result<JsonStream, std::string> stream() {
        if (!is_valid_utf8(text_)) return make_err(std::string("invalid UTF-8"));
        JsonStream stream;
        for (skip_space(); pos_ < text_.size(); skip_space()) {
            Json value;
            if (!read_value(value)) return make_err(error_ + " at byte " + std::to_string(pos_));
            stream.values.push_back(std::move(value));
        }
        stream.whitespace = whitespace_;
        return stream;
    }

private:
    bool fail(const char* message) {
        if (error_.empty()) error_ = message;
        return false;
    }
    void skip_space() {
        while (pos_ < text_.size() && std::string_view(" \t\n\r").find(text_[pos_]) != std::string_view::npos) {
            ++pos_;
            ++whitespace_;
        }
    }
    bool take(char c) {
        skip_space();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    bool digit() const { return pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; }

    bool read_value(Json& out) {
        skip_space();
        if (pos_ == text_.size()) return fail("missing value");
        const char c = text_[pos_];
        if (c == '{') return read_object(out);
        if (c == '[') return read_array(out);
        if (c == '"') {
            out.kind = Json::Kind::String;
            return read_string(out.text);
        }
        if (literal("null")) {
            out.kind = Json::Kind::Null;
            return true;
        }
        if (literal("true")) {
            out.kind = Json::Kind::Bool;
            out.boolean = true;
            return true;
        }
        if (literal("false")) {
            out.kind = Json::Kind::Bool;
            return true;
        }
        return read_number(out);
    }

    bool read_number(Json& out) {
        const std::size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
        if (!digit()) return fail("bad number");
        if (text_[pos_] == '0') {
            ++pos_;
        } else {
            while (digit()) ++pos_;
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!digit()) return fail("bad fraction");
            while (digit()) ++pos_;
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
            if (!digit()) return fail("bad exponent");
            while (digit()) ++pos_;
        }
        out.kind = Json::Kind::Number;
        out.text = std::string(text_.substr(start, pos_ - start));
        return true;
    }

    bool hex4(std::uint32_t& code) {
        if (pos_ + 4 > text_.size()) return false;
        code = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = text_[pos_++];
            code <<= 4;
            if (h >= '0' && h <= '9') code |= std::uint32_t(h - '0');
            else if (h >= 'a' && h <= 'f') code |= std::uint32_t(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') code |= std::uint32_t(h - 'A' + 10);
            else return false;
        }
        return true;
    }

    bool read_string(std::string& out) {
        ++pos_;  // the opening quote
        out.clear();
        while (pos_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[pos_++]);
            if (c == '"') return true;
            if (c < 0x20) return fail("raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (pos_ == text_.size()) break;
            switch (text_[pos_++]) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    std::uint32_t code = 0;
                    if (!hex4(code)) return fail("bad \\u escape");
                    if (code >= 0xD800 && code < 0xDC00) {
                        std::uint32_t low = 0;
                        if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                            return fail("lone surrogate");
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xDC00 && code <= 0xDFFF) {
                        return fail("lone surrogate");
                    }
                    append_utf8(out, code);
                    break;
                }
                default: return fail("bad escape");
            }
        }
        return fail("unterminated string");
    }

    bool read_array(Json& out) {
        out.kind = Json::Kind::Array;
        ++pos_;
        if (take(']')) return true;
        do {
            Json item;
            if (!read_value(item)) return false;
            out.items.push_back(std::move(item));
        } while (take(','));
        return take(']') || fail("expected ']'");
    }

    bool read_object(Json& out) {
        out.kind = Json::Kind::Object;
        ++pos_;
        if (take('}')) return true;
        do {
            skip_space();
            std::string key;
            if (pos_ == text_.size() || text_[pos_] != '"') return fail("expected a key");
            if (!read_string(key)) return false;
            if (!take(':')) return fail("expected ':'");
            Json member;
            if (!read_value(member)) return false;
            out.members.push_back(JsonMember{std::move(key), std::move(member)});
        } while (take(','));
        return take('}') || fail("expected '}'");
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t whitespace_ = 0;
    std::string error_;
};

}  // namespace

Result<JsonStream, std::string> read_json_stream(std::string_view text) { return Reader(text).stream(); }

}  // namespace quillmere::testing

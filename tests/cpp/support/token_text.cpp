#include "support/token_text.h"

#include <fstream>
#include <sstream>

namespace quillmere::testing {

std::string escape_text(std::string_view text, bool escape_quotes) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            case '"':
                if (escape_quotes) out += '\\';
                out += c;
                break;
            default: out += c;
        }
    }
    return out;
}

std::string describe_tokens(const TokenList& tokens) {
    std::string out;
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::StreamStart || t.kind == TokenKind::StreamEnd) continue;
        if (!out.empty()) out += ' ';
        out += token_kind_name(t.kind);
        switch (t.kind) {
            case TokenKind::MappingStart:
            case TokenKind::SequenceStart:
                out += t.collection_style() == CollectionStyle::Block ? "(Block)" : "(Flow)";
                break;
            case TokenKind::Scalar:
                switch (t.scalar_style()) {
                    case ScalarStyle::Plain: break;
                    case ScalarStyle::SingleQuoted: out += '\''; break;
                    case ScalarStyle::DoubleQuoted: out += '"'; break;
                    case ScalarStyle::Literal: out += '|'; break;
                    case ScalarStyle::Folded: out += '>'; break;
                }
                out += '(' + escape_text(t.text, false) + ')';
                break;
            case TokenKind::Anchor:
            case TokenKind::Alias:
            case TokenKind::Tag:
            case TokenKind::Directive:
                out += '(' + escape_text(t.text, false) + ')';
                break;
            default:
                break;
        }
    }
    return out;
}

std::string scan_to_text(std::string_view text) {
    scanner::Scanner s(text);
    auto result = scanner::tokenize(s);
    if (!result.ok()) {
        const ScanError& e = result.error();
        return "error: " + e.message + " @" + std::to_string(e.span.line + 1) + ":" +
               std::to_string(e.span.column + 1);
    }
    return describe_tokens(result.value());
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string shared_dir() { return QUILLMERE_SHARED_DIR; }

}  // namespace quillmere::testing

#include "support/value_text.h"

#include "decode/keys.h"
#include "encode/scalar_text.h"
#include "support/token_text.h"

namespace quillmere::testing {

namespace {

void describe(std::string& out, const Value& v) {
    switch (v.kind()) {
        case ValueKind::Null: out += "null"; break;
        case ValueKind::Bool: out += v.as_bool() ? "true" : "false"; break;
        case ValueKind::Int: out += std::to_string(v.as_int()); break;
        case ValueKind::BigInt: out += "big(" + std::string(v.text()) + ")"; break;
        case ValueKind::Float: out += "float(" + encode::format_float(v.as_float()) + ")"; break;
        case ValueKind::String: out += '"' + escape_text(v.text(), true) + '"'; break;
        case ValueKind::Sequence: {
            out += '[';
            bool first = true;
            for (const Value& item : v.items()) {
                if (!first) out += ", ";
                first = false;
                describe(out, item);
            }
            out += ']';
            break;
        }
        case ValueKind::Mapping: {
            out += '{';
            bool first = true;
            for (const auto& p : v.pairs()) {
                if (!first) out += ", ";
                first = false;
                describe(out, p.key);
                out += ": ";
                describe(out, p.value);
            }
            out += '}';
            break;
        }
        case ValueKind::Tagged:
            out += v.tagged_value().tag;
            out += '(';
            describe(out, v.tagged_value().inner);
            out += ')';
            break;
    }
}

}  // namespace

std::string describe_value(const Value& value) {
    std::string out;
    describe(out, value);
    return out;
}

std::vector<std::string> decode_warnings(std::string_view text, const decode::DecodeOptions& options) {
    auto result = decode::decode_documents(text, options);
    if (!result.ok()) return {"error: " + result.error().message};
    std::vector<std::string> out;
    for (const LocatedWarning& warning : result.value().warnings) {
        std::string shown = warning.kind == WarningKind::DuplicateKey ? "dup(" + decode::key_display_text(warning.key)
                                                                      : "yaml11(";
        for (std::string_view part : warning.parts) {
            if (part.empty()) continue;
            if (shown.back() != '(') shown += ", ";
            shown += part;
        }
        out.push_back(shown + ") @" + std::to_string(warning.span.line + 1) + ":" +
                      std::to_string(warning.span.column + 1));
    }
    return out;
}

std::string decode_to_text(std::string_view text, const decode::DecodeOptions& options) {
    auto result = decode::decode_documents(text, options);
    if (!result.ok()) {
        const auto& e = result.error();
        const char* kind = e.kind == LocatedErrorKind::Parse          ? "parse"
                           : e.kind == LocatedErrorKind::DuplicateKey ? "dup"
                                                                              : "complex";
        return std::string("error(") + kind + "): " + e.message + " @" + std::to_string(e.span.line + 1) + ":" +
               std::to_string(e.span.column + 1);
    }
    std::string out;
    for (const Value& doc : result.value().documents) {
        if (!out.empty()) out += " | ";
        out += describe_value(doc);
    }
    return out;
}

}  // namespace quillmere::testing

// Validates arbitrary valid UTF-8 text against schemas taken from the same
// text: its documents, decoded, are the schemas, and its documents, as
// trees and as decoded values, are the instances, each checked against each
// under one resolve mode. Validation must end with a violation or none,
// never a crash, hang, leak or sanitizer report, and a violation points
// into the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/utf8.h"
#include "decode/decoder.h"
#include "roundtrip/composer.h"
#include "schema/modeline.h"
#include "schema/validator.h"

using namespace quillmere;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the resolve mode; the rest is the text.
    const auto mode = static_cast<resolver::ResolveMode>(data[0] % 3);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (!is_valid_utf8(text)) return -1;

    if (const auto reference = schema::find_schema_modeline(text); reference && reference->empty()) std::abort();
    auto schemas = decode::decode_documents(text, decode::DecodeOptions{.mode = mode});
    auto trees = roundtrip::compose_text(text, roundtrip::ComposeOptions{.file_id = 0, .keep_empty = true});
    if (!schemas.ok() || !trees.ok()) return 0;
    const auto& documents = schemas.value().documents;
    const auto& roots = trees.value();
    for (std::size_t s = 0; s < documents.size() && s < 4; ++s) {
        for (std::size_t t = 0; t < roots.size() && t < documents.size() && t < 4; ++t) {
            const auto violation = schema::validate_document(roots[t], documents[s], mode);
            if (violation && (violation->offset > text.size() || violation->message.empty() ||
                              !violation->path.starts_with("$")))
                std::abort();
            schema::DecodedCheck check = schema::validate_decoded(documents[t], documents[s], mode);
            if (check.outcome == schema::DecodedCheck::Outcome::Violation) {
                schema::locate_violation(roots[t], mode, check.violation);
                if (check.violation.offset > text.size() || !check.violation.path.starts_with("$")) std::abort();
            }
        }
    }
    return 0;
}

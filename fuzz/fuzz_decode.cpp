// Tokenizes and decodes arbitrary valid UTF-8 text under every resolver mode
// and key policy. Decoding must end with documents or one located error,
// never a crash, hang, leak or sanitizer report; a decoded tree must be
// walkable (counted, copied, compared, keyed).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/utf8.h"
#include "decode/decoder.h"
#include "decode/keys.h"

using namespace quillmere;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the options; the rest is the text.
    const std::uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (!is_valid_utf8(text)) return -1;

    decode::DecodeOptions options;
    options.mode = static_cast<resolver::ResolveMode>(flags % 3);
    options.dup_error = flags & 0x04;
    options.dup_warn = !options.dup_error && (flags & 0x08);
    options.reject_complex = flags & 0x10;
    options.yaml11_warn = options.mode != resolver::ResolveMode::Core12 && (flags & 0x20);

    auto result = decode::decode_documents(text, options);
    if (!result.ok()) {
        if (result.error().message.empty() || result.error().span.offset > text.size()) std::abort();
        return 0;
    }
    auto& docs = result.value();
    for (const Value& doc : docs.documents) {
        const std::uint64_t n = count_nodes(doc);
        if (n == 0) std::abort();
        if (n < 5000) {
            Value copy = deep_copy(doc, docs.arena);
            // NaN floats compare unequal, so equality is checked on the keys' texts.
            if (decode::canonical_key_text(copy) != decode::canonical_key_text(doc)) std::abort();
            (void)decode::key_display_text(doc);
        }
    }
    return 0;
}

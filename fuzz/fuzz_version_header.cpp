// Puts the "%YAML 1.2" header of the 1.1 upgrade on arbitrary valid UTF-8
// text that composes: the text with the header must compose to the same
// documents, event for event, whatever comments, blank lines and
// directives stand before the first one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/utf8.h"
#include "roundtrip/composer.h"
#include "roundtrip/serialize.h"
#include "support/node_text.h"

using namespace quillmere;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (!is_valid_utf8(input)) return -1;
    auto before = roundtrip::parse_documents(input);
    if (!before.ok()) return 0;
    std::string text(input);
    roundtrip::apply_version_header(text);
    auto after = roundtrip::parse_documents(text);
    if (!after.ok() || testing::node_events(after.value()) != testing::node_events(before.value())) {
        std::fprintf(stderr, "the header changed the documents\n---- input\n%.*s\n---- with the header\n%s\n----\n",
                     static_cast<int>(input.size()), input.data(), text.c_str());
        std::abort();
    }
    return 0;
}

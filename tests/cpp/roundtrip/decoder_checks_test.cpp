// What the plain road's decoder refuses, found on round-trip trees, and the
// decode that only looks for errors: both must agree with the decoder.
#include <gtest/gtest.h>

#include <string>

#include "decode/decoder.h"
#include "roundtrip/composer.h"
#include "roundtrip/decoder_checks.h"
#include "support/suite.h"

namespace quillmere::testing {
namespace {

using resolver::ResolveMode;

std::string bomb(int levels, int width = 10) {
    std::string text = "a0: &a0 [";
    for (int i = 0; i < width; ++i) text += i ? ", x" : "x";
    text += "]\n";
    for (int level = 1; level < levels; ++level) {
        text += "a" + std::to_string(level) + ": &a" + std::to_string(level) + " [";
        for (int i = 0; i < width; ++i) text += (i ? ", *a" : "*a") + std::to_string(level - 1);
        text += "]\n";
    }
    return text;
}

std::optional<roundtrip::DecoderRefusal> refusal_of(const std::string& text, ResolveMode mode = ResolveMode::Core12) {
    auto roots = roundtrip::compose_text(text, roundtrip::ComposeOptions{0, true});
    EXPECT_TRUE(roots.ok());
    return roundtrip::first_decoder_refusal(roots.value(), mode);
}

TEST(DecoderChecks, AliasBudgetAsTheDecoderCountsIt) {
    for (const std::string& text : {bomb(7), bomb(8), bomb(6) + "b: [*a5, *a5, *a5, *a5, *a5, *a5, *a5, *a5, *a5]\n",
                                    bomb(7, 9) + "m: {<<: *a6, k: !t v}\n"}) {
        SCOPED_TRACE(text.substr(0, 60));
        auto decoded = decode::decode_documents(text, {});
        auto refusal = refusal_of(text);
        ASSERT_EQ(decoded.ok(), !refusal.has_value());
        if (refusal) {
            EXPECT_EQ(refusal->error.message, decoded.error().message);
            EXPECT_EQ(refusal->error.span, decoded.error().span);
            EXPECT_FALSE(refusal->to_confirm);
        }
    }
}

TEST(DecoderChecks, TextsTheirCoreTagCannotRead) {
    auto refusal = refusal_of("a: 1\n---\nb: !!int abc\n");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->error.message, "cannot read 'abc' as !!int");
    EXPECT_EQ(refusal->error.span.line, 2u);
    EXPECT_TRUE(refusal->to_confirm);
    EXPECT_TRUE(refusal_of("a: !!null x\n"));
    EXPECT_FALSE(refusal_of("a: !!int 0x1F\nb: !custom abc\nc: !!str 5\n"));
}

// Where the decoder refuses them: at the tag, however the tag is written
// and wherever its node begins.
TEST(DecoderChecks, RefusedAtTheTag) {
    const char* const texts[] = {
        "a: &a0 [x]\n---\nc: !<tag:yaml.org,2002:int> port\n",
        "a: !!int port\n",
        "- !!int\n- x\n",
        "a: !!float\n  # c\nb: 1\n",
        "- !!bool &b\n  maybe\n",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        auto decoded = decode::decode_documents(text, {});
        auto refusal = refusal_of(text);
        ASSERT_FALSE(decoded.ok());
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal->error.message, decoded.error().message);
        EXPECT_EQ(refusal->error.span, decoded.error().span);
    }
    // A verbatim standard tag is no custom tag: one node, as the decoder counts.
    EXPECT_FALSE(refusal_of("- !<tag:yaml.org,2002:int> 5\n- !<tag:yaml.org,2002:str> x\n"));
}

// Over every conformance case: the trees refuse what the decoder refuses
// for these reasons, and a decode that keeps no alias copies fails exactly
// as the full one does.
TEST(DecoderChecks, AgreeWithTheDecoderOnEveryCase) {
    const std::vector<SuiteCase> cases = load_suite();
    if (cases.empty()) GTEST_SKIP() << "yaml-test-suite not found";
    for (const SuiteCase& c : cases) {
        SCOPED_TRACE(c.id);
        for (const bool reject_complex : {false, true}) {
            decode::DecodeOptions full;
            full.reject_complex = reject_complex;
            decode::DecodeOptions errors_only = full;
            errors_only.copy_aliases = false;
            auto a = decode::decode_documents(c.input, full);
            auto b = decode::decode_documents(c.input, errors_only);
            ASSERT_EQ(a.ok(), b.ok());
            if (!a.ok()) {
                EXPECT_EQ(a.error().message, b.error().message);
                EXPECT_EQ(a.error().span, b.error().span);
            }
        }
        auto roots = roundtrip::compose_text(c.input, roundtrip::ComposeOptions{0, true});
        if (!roots.ok()) continue;
        auto decoded = decode::decode_documents(c.input, {});
        auto refusal = roundtrip::first_decoder_refusal(roots.value(), ResolveMode::Core12);
        if (decoded.ok()) {
            EXPECT_FALSE(refusal) << refusal->error.message;
        } else if (refusal) {
            EXPECT_EQ(refusal->error.message, decoded.error().message);
        }
    }
}

}  // namespace
}  // namespace quillmere::testing

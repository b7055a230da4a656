// Every conformance input tokenizes without crashing; the valid ones
// tokenize without error. (Values are compared in the decoder's suite test.)
#include <gtest/gtest.h>

#include <map>

#include "support/suite.h"
#include "support/token_text.h"

namespace quillmere::testing {
namespace {

// Valid cases that the scanner's rules reject on purpose.
const std::map<std::string, std::string> kRejectedValidCases = {
    {"DK95/00", "a tab after the indentation spaces of a line, before content, is always "
                "\"a tab cannot be used for indentation\""},
};

TEST(SuiteTokenize, ValidCasesTokenize) {
    const std::vector<SuiteCase> cases = load_suite();
    ASSERT_FALSE(cases.empty()) << "yaml-test-suite not found under '" << shared_dir() << "'";
    int failures = 0;
    for (const SuiteCase& c : cases) {
        scanner::Scanner s(c.input);
        auto result = scanner::tokenize(s);
        const bool listed = kRejectedValidCases.count(c.id) != 0;
        if (listed) {
            EXPECT_FALSE(result.ok()) << c.id << " is listed as rejected but tokenizes";
            continue;
        }
        if (!c.is_error && !result.ok()) {
            ++failures;
            ADD_FAILURE() << c.id << ": " << result.error().message << " at " << result.error().span.line + 1 << ":"
                          << result.error().span.column + 1;
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace quillmere::testing

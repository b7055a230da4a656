// The public YAML conformance cases in the shared test data.
#pragma once

#include <string>
#include <vector>

namespace quillmere::testing {

struct SuiteCase {
    std::string id;     // "2JQS" or "M2N8/01"
    std::string dir;    // folder holding in.yaml
    std::string input;  // in.yaml, bytes as they stand
    bool is_error = false;
    bool has_json = false;
};

// Every case, sorted by id. Empty when the suite is not found.
std::vector<SuiteCase> load_suite();

}  // namespace quillmere::testing

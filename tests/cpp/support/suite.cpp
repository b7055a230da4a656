#include "support/suite.h"

#include <algorithm>
#include <filesystem>

#include "support/token_text.h"

namespace quillmere::testing {

std::vector<SuiteCase> load_suite() {
    namespace fs = std::filesystem;
    std::vector<SuiteCase> cases;
    const fs::path root = fs::path(shared_dir()) / "yaml-test-suite";
    std::error_code ec;
    if (shared_dir().empty() || !fs::is_directory(root, ec)) return cases;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().filename() != "in.yaml") continue;
        const fs::path dir = entry.path().parent_path();
        SuiteCase c;
        c.id = fs::relative(dir, root).generic_string();
        c.dir = dir.string();
        c.input = read_file(entry.path().string());
        c.is_error = fs::exists(dir / "error");
        c.has_json = fs::exists(dir / "in.json");
        cases.push_back(std::move(c));
    }
    std::sort(cases.begin(), cases.end(), [](const SuiteCase& a, const SuiteCase& b) { return a.id < b.id; });
    return cases;
}

}  // namespace quillmere::testing

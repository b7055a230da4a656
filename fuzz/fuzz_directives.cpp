// Loads arbitrary valid UTF-8 text with every directive on, over a small
// tree whose root holds links leading out of it. The load must end with
// documents or one directive error, never a crash, hang, leak or sanitizer
// report, and every file it read must lie inside the root.
//
//     <tmp>/outside/secret.yaml, <tmp>/outside/secrets.yaml
//     <tmp>/root/a.yaml, b.yaml, self.yaml, secrets.yaml, d/x.yaml, d/y.yml
//     <tmp>/root/link_out -> ../outside, file_out.yaml -> ../outside/secret.yaml
//     <tmp>/root/loop -> ., dangling.yaml -> nowhere.yaml
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <stdlib.h>

#include "common/utf8.h"
#include "directives/loader.h"
#include "directives/paths.h"
#include "directives/platform.h"

using namespace quillmere;

namespace {

namespace fs = std::filesystem;

std::string g_tree;
std::string g_root;

void write(const std::string& relative, std::string_view text) {
    const fs::path file = fs::path(g_tree) / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

void remove_tree() {
    std::error_code ignored;
    fs::remove_all(g_tree, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (fs::temp_directory_path() / "quillmere-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    g_tree = fs::canonical(pattern).string();
    g_root = g_tree + "/root";
    std::atexit(remove_tree);
    write("outside/secret.yaml", "stolen: 1\n");
    write("outside/secrets.yaml", "k: outside\n");
    write("root/a.yaml", "a: !include b.yaml\nd: !include_dir_named d\n");
    write("root/b.yaml", "[1, !env_var HOME, !secret k, !env_var NOPE x]\n");
    write("root/self.yaml", "!include self.yaml\n");
    write("root/secrets.yaml", "k: v\nlogger: info\n");
    write("root/d/x.yaml", "- !include ../a.yaml\n");
    write("root/d/y.yml", "{y: !secret k}\n");
    fs::create_directory_symlink("../outside", g_root + "/link_out");
    fs::create_symlink("../outside/secret.yaml", g_root + "/file_out.yaml");
    fs::create_directory_symlink(".", g_root + "/loop");
    fs::create_symlink("nowhere.yaml", g_root + "/dangling.yaml");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the options; the rest is the text.
    const std::uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (!is_valid_utf8(text)) return -1;

    directives::IncludeContext context =
        directives::new_include_context(g_root, flags & 0x01, flags & 0x02, flags & 0x04);
    context.include_dir_recursive = flags & 0x08;
    context.collect_missing_secrets = flags & 0x10;
    context.collect_missing_env_vars = flags & 0x20;
    const std::optional<std::string> root_path =
        flags & 0x40 ? std::optional<std::string>(g_root + "/main.yaml") : std::nullopt;
    auto result = directives::load_with_directives(context, text, root_path);
    if (!result.ok() && result.error().message.empty()) std::abort();

    // Every source after the root text is a file inside the root.
    const directives::SourceTable sources = directives::into_source_table(std::move(context));
    for (std::size_t i = 1; i < sources.file_paths.size(); ++i) {
        const std::optional<std::string> canonical = directives::canonicalize(sources.file_paths[i]);
        if (!canonical || !directives::path_starts_with(*canonical, g_root)) std::abort();
    }
    return 0;
}

#include "directives/listing.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/hash.h"
#include "common/utf8.h"
#include "directives/confine.h"
#include "directives/paths.h"
#include "directives/platform.h"

namespace quillmere::directives {

namespace {

// A name that the directory forms read: "yaml" or "yml" after its last dot.
bool has_yaml_extension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = name.substr(dot + 1);
    return extension == "yaml" || extension == "yml";
}

}  // namespace

Result<std::vector<ListingEntry>, DirectiveError> list_include_dir(const IncludeContext& context,
                                                                   const std::string& directory,
                                                                   std::uint32_t file_id, const IncludeChain& chain) {
    std::vector<ListingEntry> entries;
    // Directories still to list, the next one last. Each directory is listed
    // once, so a link back to an ancestor (or to a directory listed before)
    // ends the walk instead of repeating it.
    std::vector<std::string> pending{directory};
    std::unordered_set<std::string, SeededHash, TextEqual> seen{directory};
    while (!pending.empty()) {
        const std::string current = std::move(pending.back());
        pending.pop_back();
        Result<std::vector<std::string>, std::string> listed = list_directory(context.canonical_root, current);
        if (!listed.ok()) {
            return make_err(directive_error(DirectiveErrorKind::IncludeNotFound,
                                            "cannot read directory: " + listed.error(), current, chain));
        }
        std::vector<std::string> names = std::move(listed).value();
        std::sort(names.begin(), names.end());  // byte order
        std::vector<std::string> subdirectories;
        for (const std::string& name : names) {
            if (name.front() == '.') continue;
            const std::string joined = join_path(current, name);
            const FileType type = file_type(joined);
            if (type == FileType::Directory) {
                if (!context.include_dir_recursive) continue;
                QM_TRY_ASSIGN(std::string confined, confine_path(context, joined, joined, file_id, chain));
                if (seen.insert(confined).second) subdirectories.push_back(std::move(confined));
                continue;
            }
            // FIFOs, devices and sockets are never read. A lookup that fails
            // (a dangling link) counts as a file: confinement reports it.
            if (type == FileType::Other) continue;
            if (!has_yaml_extension(name)) continue;
            if (context.secrets && name == "secrets.yaml") continue;
            QM_TRY_ASSIGN(std::string confined, confine_path(context, joined, joined, file_id, chain));
            const std::string_view stem = std::string_view(name).substr(0, name.rfind('.'));
            entries.push_back(ListingEntry{to_text_lossy(stem), std::move(confined)});
        }
        std::move(subdirectories.rbegin(), subdirectories.rend(), std::back_inserter(pending));
    }
    return entries;
}

}  // namespace quillmere::directives

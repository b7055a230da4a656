#include "directives/listing.h"

#include <algorithm>
#include <iterator>
#include <memory>
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

Result<std::vector<ListingEntry>, DirectiveError> list_include_dir(IncludeContext& context,
                                                                   const std::string& directory,
                                                                   std::uint32_t file_id, const IncludeChain& chain) {
    std::vector<ListingEntry> entries;
    // A directory still to list: its confined path, and the open directory
    // that holds it when it is no link there (else it is opened by path).
    // Parents stay open while a subdirectory of theirs waits, up to
    // kHeldDirectories at once: beyond that, waiting subdirectories are
    // opened by path, which costs a walk of their path instead of a step.
    struct Pending {
        std::string path;
        std::shared_ptr<const OpenedDirectory> parent;
        std::string name;
    };
    constexpr std::size_t kHeldDirectories = 64;
    std::size_t held = 0;
    auto hold = [&held](OpenedDirectory&& opened) {
        ++held;
        return std::shared_ptr<const OpenedDirectory>(new OpenedDirectory(std::move(opened)),
                                                      [&held](const OpenedDirectory* done) {
                                                          --held;
                                                          delete done;
                                                      });
    };
    // The next one last. Each directory is listed once, so a link back to
    // an ancestor (or to a directory listed before) ends the walk instead
    // of repeating it.
    std::vector<Pending> pending;
    pending.push_back({directory, nullptr, {}});
    std::unordered_set<std::string, SeededHash, TextEqual> seen{directory};
    while (!pending.empty()) {
        Pending current = std::move(pending.back());
        pending.pop_back();
        // Directories count toward the bound of what one load reads, so a
        // tree of endless depth (bind mounts can make one) ends too.
        if (context.included_files_read >= kMaxIncludedFiles) {
            return make_err(directive_error(DirectiveErrorKind::Include,
                                            "includes exceed the maximum of " + std::to_string(kMaxIncludedFiles) +
                                                " files read by one load",
                                            current.path, chain));
        }
        ++context.included_files_read;
        Result<OpenedDirectory, std::string> opened = current.parent
                                                          ? current.parent->open_subdirectory(current.name)
                                                          : OpenedDirectory::open(context.canonical_root, current.path);
        current.parent.reset();
        if (!opened.ok()) {
            return make_err(directive_error(DirectiveErrorKind::IncludeNotFound,
                                            "cannot read directory: " + opened.error(), current.path, chain));
        }
        std::vector<DirectoryEntry> listed = opened.value().entries();
        std::sort(listed.begin(), listed.end(),
                  [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });  // byte order
        std::shared_ptr<const OpenedDirectory> shared;
        std::vector<Pending> subdirectories;
        for (const DirectoryEntry& entry : listed) {
            const std::string& name = entry.name;
            if (name.front() == '.') continue;
            std::string joined = join_path(current.path, name);
            if (entry.type == FileType::Directory) {
                if (!context.include_dir_recursive) continue;
                // A subdirectory that is no link lies where its name says,
                // inside a confined directory; a link is confined as it leads.
                std::string confined = std::move(joined);
                if (entry.link) {
                    QM_TRY_ASSIGN(confined, confine_path(context, confined, confined, file_id, chain));
                }
                if (!seen.insert(confined).second) continue;
                std::shared_ptr<const OpenedDirectory> parent;
                if (!entry.link) {
                    if (!shared && held < kHeldDirectories) shared = hold(std::move(opened).value());
                    parent = shared;
                }
                subdirectories.push_back({std::move(confined), std::move(parent), name});
                continue;
            }
            // FIFOs, devices and sockets are never read. A dangling link
            // counts as a file: confinement reports it.
            if (entry.type == FileType::Other) continue;
            if (!has_yaml_extension(name)) continue;
            if (context.secrets && name == "secrets.yaml") continue;
            std::string confined = std::move(joined);
            if (entry.link || entry.type != FileType::Regular) {
                QM_TRY_ASSIGN(confined, confine_path(context, confined, confined, file_id, chain));
            }
            const std::string_view stem = std::string_view(name).substr(0, name.rfind('.'));
            entries.push_back(ListingEntry{to_text_lossy(stem), std::move(confined)});
        }
        std::move(subdirectories.rbegin(), subdirectories.rend(), std::back_inserter(pending));
    }
    return entries;
}

}  // namespace quillmere::directives

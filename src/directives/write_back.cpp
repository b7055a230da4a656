#include "directives/write_back.h"

#include <unordered_map>
#include <utility>

#include "common/hash.h"
#include "common/utf8.h"
#include "directives/confine.h"
#include "directives/paths.h"
#include "roundtrip/emitter.h"

namespace quillmere::directives {

Result<std::vector<FileWrite>, DirectiveError> collect_included_files(
    std::span<const roundtrip::YamlNode> documents, std::span<const std::string> file_paths,
    std::span<const std::optional<std::string>> file_texts, IncludedFiles which) {
    std::vector<roundtrip::IncludeText> pieces;
    for (const roundtrip::YamlNode& root : documents) {
        if (which == IncludedFiles::Changed) {
            roundtrip::collect_modified_includes(root, file_texts, pieces);
        } else {
            roundtrip::collect_include_texts(root, file_texts, pieces);
        }
    }
    std::vector<FileWrite> files;
    // Paths compare component by component: by their lexical normal form.
    std::unordered_map<std::string, std::size_t, SeededHash, TextEqual> by_path;
    for (auto& [file_id, text] : pieces) {
        if (file_id >= file_paths.size()) continue;
        const std::string& path = file_paths[file_id];
        auto [found, added] = by_path.try_emplace(normalize_path_lexically(path), files.size());
        if (added) {
            files.push_back({path, std::move(text)});
        } else if (files[found->second].bytes != text) {
            return make_err(directive_error(DirectiveErrorKind::Include,
                                            "'" + to_text_lossy(path) +
                                                "' is included more than once with conflicting edits; write-back "
                                                "cannot store two different versions of one file",
                                            path, {}));
        }
    }
    return files;
}

Result<void, DirectiveError> confine_writes(std::span<const FileWrite> files, const std::string& canonical_root) {
    if (canonical_root.empty()) return Ok{};
    IncludeContext context = new_include_context(canonical_root, true, false, false);
    context.canonical_root = canonical_root;
    for (const FileWrite& file : files) {
        auto confined = confine_path(context, file.path, file.path, 0, {});
        if (!confined.ok()) {
            DirectiveError error = std::move(confined).error();
            error.path = file.path;
            return make_err(std::move(error));
        }
    }
    return Ok{};
}

}  // namespace quillmere::directives

// The files that the directory forms read.
//
// A listing holds the YAML files (extension "yaml" or "yml", exactly) of a
// directory in byte order of their names, leaving out hidden names, entries
// that are not regular files, and secrets.yaml while secrets are on. With
// include_dir_recursive it goes on into the subdirectories, after the
// files, each in name order and each listed the same way:
//
//     d/b.yaml d/a.yaml d/sub/c.yaml d/.x.yaml d/n.txt
//         ->  (a, d/a.yaml) (b, d/b.yaml) (c, d/sub/c.yaml)
//
// Every entry is confined to the root. A directory is listed at most once,
// so links back up the tree end instead of looping, and every directory
// listed counts toward the load's bound on the files it reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "directives/context.h"

namespace quillmere::directives {

struct ListingEntry {
    std::string stem;  // the file name without its last extension, as text
    std::string path;  // the confined path
};

// The YAML files of `directory` (a confined path), in pre-order; `file_id`
// and `chain` locate the directive for the errors. Each directory listed
// counts toward the load's kMaxIncludedFiles. The walk is linear in the
// entries it visits: a subdirectory is opened through its parent, and only
// links are confined by resolving their path.
Result<std::vector<ListingEntry>, DirectiveError> list_include_dir(IncludeContext& context,
                                                                   const std::string& directory,
                                                                   std::uint32_t file_id, const IncludeChain& chain);

}  // namespace quillmere::directives

// The state of one directive load, and the records it hands back.
//
// A load starts from one root text and reads further files as its
// directives ask: included files, the files of included directories and
// secrets.yaml files. Every file read becomes a source with its own file_id,
// in the order the load first read it; source 0 is the root text:
//
//     main.yaml:   db: !include db.yaml      sources: 0  /srv/app/main.yaml
//                  key: !secret api_key               1  /srv/app/db.yaml
//                                                      2  /srv/app/secrets.yaml
//
// Paths are byte strings, kept exactly as the system gave them; they become
// text (with U+FFFD for bytes that are not UTF-8) only where they are shown.
// A failure is a DirectiveError, which ends the whole load; a !secret or
// !env_var that finds nothing while its misses are collected becomes a
// null value and a MissingReference instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/hash.h"
#include "common/result.h"
#include "model/span.h"
#include "roundtrip/ast.h"

namespace quillmere::directives {

// A chain longer than this many includes fails.
inline constexpr std::size_t kMaxIncludeDepth = 50;
// One load reads at most this many included files, repeats counted, so that
// files including each other several times over cannot make the work grow
// without bound.
inline constexpr std::uint32_t kMaxIncludedFiles = 10'000;
// And at most this many bytes of the files it reads (included files, listed
// files and secrets.yaml files, repeats counted): a few bytes that include
// one large file thousands of times cannot make it read without end.
inline constexpr std::uint64_t kMaxIncludedBytes = std::uint64_t(256) << 20;

// Every file that one load read, indexed by file_id.
struct SourceTable {
    std::vector<std::string> file_paths;
    std::vector<std::optional<std::string>> file_texts;
    // The include root, absolute with its links resolved: writing files
    // back is confined to it as reading was.
    std::string canonical_root;
};

// One step of the include chain: a file entered through an include
// directive, and the 0-based line of that directive in the file before it
// (the root text for the first frame).
struct IncludeFrame {
    std::string path;  // the canonical path, as confinement returned it
    std::uint32_t line = 0;

    friend bool operator==(const IncludeFrame&, const IncludeFrame&) = default;
};

// Outermost first.
using IncludeChain = std::vector<IncludeFrame>;

enum class DirectiveErrorKind : std::uint8_t {
    IncludeNotFound = 0,
    CircularInclude = 1,
    IncludeDepth = 2,
    IncludeConfinement = 3,
    SecretNotFound = 4,
    EnvVar = 5,
    Include = 6,  // every other directive error
};

struct DirectiveError {
    // The directive's start; only for SecretNotFound and EnvVar.
    std::optional<Span> position;
    std::string message;
    std::string path;  // the file the error concerns
    IncludeChain chain;
    DirectiveErrorKind kind = DirectiveErrorKind::Include;
};

// An error without a position (every kind but SecretNotFound and EnvVar).
DirectiveError directive_error(DirectiveErrorKind kind, std::string message, std::string path, IncludeChain chain);

// A !secret or !env_var that resolved to nothing while its misses were
// collected.
struct MissingReference {
    std::string name;  // the secret, or the variable without its default
    std::string file;  // the path of the directive's file
    std::uint32_t line = 0;  // 0-based line of the directive
};

// The secrets that one secrets.yaml file defines, by name.
using Secrets = std::unordered_map<std::string, roundtrip::YamlNode, SeededHash, TextEqual>;

struct IncludeContext {
    std::string root;            // the include root as given ("." by default)
    std::string canonical_root;  // absolute, links resolved (lexical when it does not exist)
    SourceTable sources;
    std::vector<std::string> warnings;
    std::vector<MissingReference> missing_secrets;
    std::vector<MissingReference> missing_env_vars;
    // By candidate path (a directory joined with "secrets.yaml"); a file that
    // is missing, outside the root or unreadable maps to no secrets.
    std::unordered_map<std::string, Secrets, SeededHash, TextEqual> secrets_cache;
    bool includes = false;
    bool secrets = false;
    bool env_vars = false;
    bool include_dir_recursive = false;
    bool collect_missing_secrets = false;
    bool collect_missing_env_vars = false;
    // Included files (and listed directories) read so far, bounded by
    // kMaxIncludedFiles.
    std::uint32_t included_files_read = 0;
    // What is left of kMaxIncludedBytes for the files still to read.
    std::uint64_t included_bytes_left = kMaxIncludedBytes;
};

// Reads a file for the load beneath its root, within included_bytes_left
// (what it reads counts against it). The text, or the read's error text;
// `exceeded` tells that the file would go past the bound, and then nothing
// of it is kept.
Result<std::string, std::string> read_load_file(IncludeContext& context, const std::string& path, bool& exceeded);

// The error of a file that would go past kMaxIncludedBytes: "includes
// exceed the maximum of {} bytes read by one load", about `path`.
DirectiveError bytes_bound_error(std::string path, IncludeChain chain);

// A context for a load under `root`, with every list empty. The three flags
// that the driver sets afterwards (recursive listing, collecting missing
// secrets and variables) start false.
IncludeContext new_include_context(std::string root, bool includes, bool secrets, bool env_vars);

// Appends a source and returns its file_id.
std::uint32_t register_source(IncludeContext& context, std::string path, std::optional<std::string> text);

// The path of a source, or the include root for an id that names none.
const std::string& path_for(const IncludeContext& context, std::uint32_t file_id);

// Takes the source table, with the canonical root; the rest of the context
// is released.
SourceTable into_source_table(IncludeContext&& context);

// The error as shown to a user: "{message} in {path}", then one line
// "  included from {path}, line {n}" per frame, outermost first, with
// 1-based lines and paths shown as text.
std::string describe_directive_error(const DirectiveError& error);

}  // namespace quillmere::directives

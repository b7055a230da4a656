// decode_documents: a whole YAML stream into one Value tree per document.
//
// One pass over the scanner's tokens. Directives are checked, tags expanded
// through %TAG handles, scalars resolved under the caller's ResolveMode,
// aliases copied under a node budget, the duplicate-key and complex-key
// policies applied, YAML 1.1 readings that differ in 1.2 reported as
// located warnings, and merge keys carried out last. The result owns the Arena of
// its trees; texts may also borrow the input, which the caller keeps alive
// while it reads the documents.
//
//     a: &x 1
//     b: *x            ->  [Mapping{a: Int 1, b: Int 1}]
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/arena.h"
#include "common/result.h"
#include "model/located_error.h"
#include "model/located_warning.h"
#include "model/value.h"
#include "resolver/resolver.h"
#include "scanner/token.h"

namespace quillmere::decode {

struct DecodeOptions {
    resolver::ResolveMode mode = resolver::ResolveMode::Core12;
    bool dup_error = false;       // a repeated mapping key is an error
    bool reject_complex = false;  // a sequence or mapping as a key is an error
    bool dup_warn = false;        // a repeated mapping key is a warning
    bool yaml11_warn = false;     // warn where the 1.1 and 1.2 readings differ
    // false: an alias stands as an empty value of its anchored value's shape
    // instead of a copy, for a decode that only looks for errors (it still
    // charges the alias budget, so its errors are the same).
    bool copy_aliases = true;
    // true: the trees are for the conversion to Python, which runs with the
    // interpreter lock held; work it would do is done here instead, without
    // the lock and while the texts are in cache: a String mapping key
    // carries the id of its text (Value::key_id, decode/key_ids.h).
    bool for_python = false;
    // Only the first document's tree is kept; the others are checked as
    // fully (their errors and warnings are the same) and freed one by one.
    bool first_document_only = false;
};

struct Documents {
    Arena arena;  // the trees
    Arena texts;  // scalar texts the scanner built
    std::vector<Value> documents;
    // With for_python: the ids given to key texts run from 1 to key_ids.
    std::uint32_t key_ids = 0;
    // In the order found; they refer to the trees, the input and the texts.
    std::vector<LocatedWarning> warnings;
};

inline constexpr std::uint32_t kMaxDecodeDepth = 1000;
inline constexpr std::uint64_t kAliasNodeBudget = 10'000'000;

Result<Documents, LocatedError> decode_documents(std::string_view text, const DecodeOptions& options);

}  // namespace quillmere::decode

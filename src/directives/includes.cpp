#include "directives/includes.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

#include "common/utf8.h"
#include "directives/confine.h"
#include "directives/listing.h"
#include "directives/loader.h"
#include "directives/nodes.h"
#include "directives/paths.h"
#include "directives/platform.h"
#include "roundtrip/composer.h"

namespace quillmere::directives {

using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

namespace {

IncludeChain extend_chain(const IncludeChain& chain, const std::string& path, std::uint32_t line) {
    IncludeChain inner;
    inner.reserve(chain.size() + 1);
    inner.insert(inner.end(), chain.begin(), chain.end());
    inner.push_back(IncludeFrame{path, line});
    return inner;
}

// Resolves a document of an included file within the file's chain.
Result<void, DirectiveError> resolve_included(YamlNode& document, const IncludedFile& file, IncludeContext& context,
                                              const IncludeChain& inner) {
    if (!file.may_hold_directives) return Ok{};
    return resolve_directives_in_place(document, context, inner);
}

YamlNode empty_mapping_at(const YamlNode& directive) {
    return node_at(directive, YamlNode::mapping({}, CollectionStyle::Block));
}

// What every include form starts with: its argument, the depth check, and
// the argument's path, confined.
struct Target {
    std::string argument;
    std::string path;
};

Result<Target, DirectiveError> include_target(const YamlNode& node, const IncludeContext& context,
                                              const IncludeChain& chain) {
    const std::uint32_t file_id = node.span.file_id;
    QM_TRY_ASSIGN(std::string argument, directive_argument(node, *node.tag(), context, chain));
    QM_TRY(check_include_depth(context, file_id, chain));
    const std::string joined = join_path(directive_base(context, file_id), argument);
    QM_TRY_ASSIGN(std::string path, confine_path(context, joined, argument, file_id, chain));
    return Target{std::move(argument), std::move(path)};
}

// The first document of an included file, resolved within `inner`, or an
// empty mapping at the directive for a file without documents; the later
// documents are dropped unread.
Result<YamlNode, DirectiveError> first_document(IncludedFile& file, const YamlNode& directive,
                                                IncludeContext& context, const IncludeChain& inner) {
    if (file.documents.empty()) return empty_mapping_at(directive);
    YamlNode root = std::move(file.documents.front());
    QM_TRY(resolve_included(root, file, context, inner));
    return root;
}

// Reads, in listing order, every file of the directory that a directory
// form names, and hands each to `use` (entry, file, the chain of its
// documents) before the next is read. Returns the directive's argument;
// a path that names no directory lists nothing.
template <class Use>
Result<std::string, DirectiveError> read_listed_files(const YamlNode& node, IncludeContext& context,
                                                      const IncludeChain& chain, Use&& use) {
    QM_TRY_ASSIGN(Target target, include_target(node, context, chain));
    if (file_type(target.path) != FileType::Directory) return std::move(target.argument);
    QM_TRY_ASSIGN(std::vector<ListingEntry> entries,
                  list_include_dir(context, target.path, node.span.file_id, chain));
    for (const ListingEntry& entry : entries) {
        QM_TRY_ASSIGN(IncludedFile file, load_include_file(context, entry.path, entry.path, chain));
        QM_TRY(use(entry, file, extend_chain(chain, entry.path, node.span.line)));
    }
    return std::move(target.argument);
}

}  // namespace

Result<IncludedFile, DirectiveError> load_include_file(IncludeContext& context, const std::string& path,
                                                       std::string_view shown, const IncludeChain& chain) {
    if (context.included_files_read >= kMaxIncludedFiles) {
        return make_err(directive_error(
            DirectiveErrorKind::Include,
            "includes exceed the maximum of " + std::to_string(kMaxIncludedFiles) + " files read by one load", path,
            chain));
    }
    ++context.included_files_read;
    bool exceeded = false;
    Result<std::string, std::string> text = read_load_file(context, path, exceeded);
    if (exceeded) return make_err(bytes_bound_error(path, chain));
    if (!text.ok()) {
        return make_err(directive_error(DirectiveErrorKind::IncludeNotFound,
                                        "cannot read included file '" + to_text_lossy(shown) + "': " + text.error(),
                                        path, chain));
    }
    IncludedFile file;
    file.file_id = register_source(context, path, std::move(text).value());
    auto composed = roundtrip::parse_source_documents(*context.sources.file_texts[file.file_id], file.file_id);
    if (!composed.ok())
        return make_err(directive_error(DirectiveErrorKind::Include, std::move(composed.error().message), path, chain));
    file.documents = std::move(composed).value();
    file.may_hold_directives = may_hold_directives(*context.sources.file_texts[file.file_id], context);
    return file;
}

Result<YamlNode, DirectiveError> resolve_include(const YamlNode& node, IncludeContext& context,
                                                 const IncludeChain& chain) {
    QM_TRY_ASSIGN(Target target, include_target(node, context, chain));
    for (const IncludeFrame& frame : chain) {
        if (same_path(frame.path, target.path)) {
            return make_err(directive_error(DirectiveErrorKind::CircularInclude,
                                            "circular include detected: '" + target.argument + "'", target.path,
                                            chain));
        }
    }
    QM_TRY_ASSIGN(IncludedFile file, load_include_file(context, target.path, target.argument, chain));
    const IncludeChain inner = extend_chain(chain, target.path, node.span.line);

    QM_TRY_ASSIGN(YamlNode result, first_document(file, node, context, inner));
    // A file whose root is itself a directive keeps that provenance below
    // this one: the file holds the directive, and what it produced is not
    // this file's content.
    roundtrip::IncludeSource source = provenance(node, std::move(target.argument), file.file_id);
    if (result.source())
        source.inner = std::make_shared<const roundtrip::IncludeSource>(std::move(*result.mutable_source()));
    result.mutable_source() = std::move(source);
    return result;
}

Result<YamlNode, DirectiveError> resolve_include_dir_list(const YamlNode& node, IncludeContext& context,
                                                          const IncludeChain& chain) {
    std::vector<YamlNode> items;
    auto add_documents = [&](const ListingEntry&, IncludedFile& file,
                             const IncludeChain& inner) -> Result<void, DirectiveError> {
        for (YamlNode& document : file.documents) {
            QM_TRY(resolve_included(document, file, context, inner));
            items.push_back(std::move(document));
        }
        return Ok{};
    };
    QM_TRY_ASSIGN(std::string argument, read_listed_files(node, context, chain, add_documents));
    YamlNode result = node_at(node, YamlNode::sequence(std::move(items), CollectionStyle::Block));
    result.mutable_source() = provenance(node, std::move(argument));
    return result;
}

Result<YamlNode, DirectiveError> resolve_include_dir_named(const YamlNode& node, IncludeContext& context,
                                                           const IncludeChain& chain) {
    std::vector<NodePair> pairs;
    auto add_pair = [&](const ListingEntry& entry, IncludedFile& file,
                        const IncludeChain& inner) -> Result<void, DirectiveError> {
        YamlNode key = YamlNode::scalar(entry.stem, ScalarStyle::Plain);
        key.span = Span{file.file_id, 0, 0, 0};  // the start of the file
        QM_TRY_ASSIGN(YamlNode value, first_document(file, node, context, inner));
        pairs.push_back(NodePair{std::move(key), std::move(value)});
        return Ok{};
    };
    QM_TRY_ASSIGN(std::string argument, read_listed_files(node, context, chain, add_pair));
    YamlNode result = node_at(node, YamlNode::mapping(std::move(pairs), CollectionStyle::Block));
    result.mutable_source() = provenance(node, std::move(argument));
    return result;
}

Result<YamlNode, DirectiveError> resolve_include_dir_merge_list(const YamlNode& node, IncludeContext& context,
                                                                const IncludeChain& chain) {
    QM_TRY_ASSIGN(YamlNode result, resolve_include_dir_list(node, context, chain));
    std::vector<YamlNode> items;
    for (YamlNode& document : result.items()) {
        if (document.is(NodeKind::Sequence)) {
            std::move(document.items().begin(), document.items().end(), std::back_inserter(items));
        } else {
            items.push_back(std::move(document));
        }
    }
    result.items() = std::move(items);
    return result;
}

Result<YamlNode, DirectiveError> resolve_include_dir_merge_named(const YamlNode& node, IncludeContext& context,
                                                                 const IncludeChain& chain) {
    QM_TRY_ASSIGN(YamlNode result, resolve_include_dir_named(node, context, chain));
    std::vector<NodePair> pairs;
    for (NodePair& file : result.pairs()) {
        if (!file.value.is(NodeKind::Mapping)) continue;
        std::move(file.value.pairs().begin(), file.value.pairs().end(), std::back_inserter(pairs));
    }
    result.pairs() = std::move(pairs);
    return result;
}

}  // namespace quillmere::directives

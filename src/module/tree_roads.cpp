#include "module/tree_roads.h"

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/utf8.h"
#include "directives/paths.h"
#include "module/options.h"
#include "module/schema.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/gil.h"
#include "results/convert/annotate.h"
#include "results/tree_results.h"
#include "roundtrip/checks.h"
#include "roundtrip/composer.h"
#include "roundtrip/decoder_checks.h"

namespace quillmere::module {

namespace {

using roundtrip::YamlNode;

// The fast decoder over `text` for its errors alone (syntax errors and, as
// the flags ask, complex keys); its trees and warnings are dropped. False
// with the located error raised, naming `file` when given.
bool decode_for_errors(std::string_view text, const decode::DecodeOptions& flags, bool unlocked,
                       const std::optional<std::string>& file) {
    decode::DecodeOptions options;
    options.mode = flags.mode;
    options.reject_complex = flags.reject_complex;
    options.copy_aliases = false;
    std::optional<LocatedError> error;
    {
        std::optional<py::GilRelease> released;
        if (unlocked) released.emplace();
        auto decoded = decode::decode_documents(text, options);
        if (!decoded.ok()) error = std::move(decoded).error();
    }
    if (py::raise_if_out_of_memory()) return false;
    if (!error) return true;
    if (file) {
        py::located_error_to_exception(*error, std::string_view(*file));
    } else {
        py::located_error_without_file(std::move(*error));
    }
    return false;
}

// The root text composed as the plain road counts its documents: an empty
// explicit document stays, as a Null root.
std::optional<std::vector<YamlNode>> compose_documents(std::string_view text) {
    auto composed = roundtrip::compose_text(text, roundtrip::ComposeOptions{0, true});
    if (py::raise_if_out_of_memory()) return std::nullopt;
    if (!composed.ok()) {
        ScanError error = std::move(composed).error();
        py::parse_error_to_exception(LocatedError{std::move(error.message), error.span, LocatedErrorKind::Parse});
        return std::nullopt;
    }
    return std::move(composed).value();
}

// The duplicate-key check (or warnings) and the YAML 1.1 warnings of the
// plain road's flags, over every tree; a duplicate in an included file
// names it.
bool check_trees(std::span<const YamlNode> trees, const decode::DecodeOptions& flags,
                 const std::vector<std::string>& file_paths) {
    if (flags.dup_error) {
        for (const YamlNode& tree : trees) {
            if (std::optional<LocatedError> error = roundtrip::first_duplicate_key(tree, flags.mode)) {
                const std::optional<std::string> file = included_file_name(file_paths, error->span.file_id);
                py::duplicate_key_error_to_exception(std::move(*error), file);
                return false;
            }
        }
    } else if (flags.dup_warn) {
        for (const std::string& warning : roundtrip::collect_duplicate_key_warnings(trees, flags.mode)) {
            py::log_warning(warning);
        }
    }
    if (flags.yaml11_warn) {
        for (const std::string& warning : roundtrip::collect_yaml11_warnings(trees, flags.mode)) {
            py::log_warning(warning);
        }
    }
    return true;
}

// The annotated road without trees. The duplicate-key, complex-key and
// YAML 1.1 policies, when the options ask for any, are the plain road's
// decoder's own, run first with its errors and warnings.
py::ref annotate_text(const TreeRoad& road, std::span<const std::string> file_names, bool all_documents) {
    const decode::DecodeOptions& flags = road.decode;
    if (flags.dup_error || flags.dup_warn || flags.reject_complex || flags.yaml11_warn) {
        std::optional<decode::Documents> decoded;
        std::optional<LocatedError> error;
        {
            py::GilRelease unlocked;
            auto result = decode::decode_documents(road.text, flags);
            if (result.ok()) {
                decoded.emplace(std::move(result).value());
            } else {
                error = std::move(result).error();
            }
        }
        if (py::raise_if_out_of_memory()) return {};
        if (error) {
            py::located_error_without_file(std::move(*error));
            return {};
        }
        for (const LocatedWarning& warning : decoded->warnings) py::log_warning(warning);
    }
    results::AnnotateOptions options;
    options.mode = flags.mode;
    options.annotate_numbers = (road.options & OPT_ANNOTATE_NUMBERS) != 0;
    options.file_names = file_names;
    return all_documents ? results::annotate_documents(road.text, options, road.context)
                         : results::annotate_first_document(road.text, options, road.context);
}

bool contains(std::string_view text, std::string_view word) {
    return memmem(text.data(), text.size(), word.data(), word.size()) != nullptr;
}

}  // namespace

bool may_hold_anchors(std::string_view text) {
    for (std::size_t at = text.find('&'); at != std::string_view::npos; at = text.find('&', at + 1)) {
        const char before = at == 0 ? '\n' : text[at - 1];
        const char after = at + 1 < text.size() ? text[at + 1] : ' ';
        const bool starts = before == ' ' || before == '\t' || before == '\n' || before == '\r' || before == '[' ||
                            before == '{' || before == ',' || before == ':';
        const bool named = after != ' ' && after != '\t' && after != '\n' && after != '\r' && after != '&';
        if (starts && named) return true;
    }
    return false;
}

bool may_hold_directives(std::string_view text, std::uint64_t options) {
    return ((options & OPT_INCLUDES) && contains(text, "!include")) ||
           ((options & OPT_SECRETS) && contains(text, "!secret")) ||
           ((options & OPT_ENV_VAR) && contains(text, "!env_var"));
}

py::ref annotated_or_directive_road(const TreeRoad& road) {
    const bool annotated = (road.options & OPT_ANNOTATED) != 0;
    const bool with_directives = (road.options & (OPT_INCLUDES | OPT_SECRETS | OPT_ENV_VAR)) != 0;
    // Annotated values of a text that no directive reshapes are made as the
    // text is read; a schema checks the composed tree.
    if (annotated && !road.schema && !(with_directives && may_hold_directives(road.text, road.options))) {
        std::vector<std::string> file_names;
        if (with_directives) {
            file_names.push_back(road.directives.root_path ? to_text_lossy(*road.directives.root_path)
                                                           : to_text_lossy(directives::join_path(
                                                                 road.directives.include_dir.value_or("."), "<root>")));
        }
        return annotate_text(road, file_names, false);
    }
    const bool decode_first = annotated || road.decode.reject_complex;
    if (decode_first && !decode_for_errors(road.text, road.decode, true, std::nullopt)) return {};

    std::vector<YamlNode> trees;
    directives::SourceTable sources;
    if (with_directives) {
        std::optional<LoadedDirectives> loaded = load_directives(road.text, road.directives);
        if (!loaded) return {};
        trees = std::move(loaded->trees);
        sources = std::move(loaded->sources);
    } else {
        std::optional<std::vector<YamlNode>> composed = compose_documents(road.text);
        if (!composed) return {};
        trees = std::move(*composed);
    }
    // Included texts, for the errors the fast decoder finds in them.
    std::vector<std::string> file_names;
    file_names.reserve(sources.file_paths.size());
    for (const std::string& path : sources.file_paths) file_names.push_back(to_text_lossy(path));
    if (decode_first) {
        for (std::size_t id = 1; id < sources.file_texts.size(); ++id) {
            const std::optional<std::string>& text = sources.file_texts[id];
            if (text && !decode_for_errors(*text, road.decode, false, file_names[id])) return {};
        }
    }
    if (trees.empty()) return py::none();
    // What the decoder refuses and trees keep, when it has not read the text.
    if (!decode_first) {
        if (std::optional<roundtrip::DecoderRefusal> refusal =
                roundtrip::first_decoder_refusal(trees, road.decode.mode)) {
            const std::uint32_t file_id = refusal->error.span.file_id;
            // An included text's refusal names its file; the root text's none.
            const std::optional<std::string> file =
                file_id > 0 && file_id < file_names.size() ? std::optional(file_names[file_id]) : std::nullopt;
            const std::optional<std::string>* text =
                file_id < sources.file_texts.size() ? &sources.file_texts[file_id] : nullptr;
            if (refusal->to_confirm && text && text->has_value()) {
                if (!decode_for_errors(**text, road.decode, false, file)) return {};
            } else if (file) {
                py::located_error_to_exception(refusal->error, std::string_view(*file));
                return {};
            } else {
                py::located_error_without_file(std::move(refusal->error));
                return {};
            }
        }
    }
    if (!check_trees(trees, road.decode, sources.file_paths)) return {};
    if (road.schema && !validate_against_schema(trees, road.schema, road.decode.mode, sources.file_paths)) return {};

    // Only the first document is converted; the others took part in the
    // checks. The cache goes before the trees it points into.
    results::AliasCache cache(std::span<const YamlNode>(trees).first(1));
    if (annotated) {
        return results::annotate_tree(trees.front(), file_names, road.decode.mode, road.context,
                                        (road.options & OPT_ANNOTATE_NUMBERS) != 0, cache);
    }
    return results::tree_to_python(trees.front(), road.decode.mode, road.context, file_names, cache);
}

py::ref loads_all_annotated(const TreeRoad& road) { return annotate_text(road, {}, true); }

}  // namespace quillmere::module

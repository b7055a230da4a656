#include "results/tree_results.h"

#include "common/stack_guard.h"
#include "results/tree_reader.h"

namespace quillmere::results {

using roundtrip::YamlNode;

py::ref tree_to_python(const YamlNode& node, resolver::ResolveMode mode, const DecodeContext& context,
                       std::span<const std::string> file_names, AliasCache& cache) {
    ReadOptions options;
    options.mode = mode;
    options.tags = &context;
    options.merges = true;
    options.file_names = file_names;
    TreeReader reader(options, cache);
    return with_stack_guard([&] { return reader.value(node); });
}

py::ref annotate_tree(const YamlNode& node, std::span<const std::string> file_names, resolver::ResolveMode mode,
                      const DecodeContext& context, bool annotate_numbers, AliasCache& cache) {
    ReadOptions options;
    options.mode = mode;
    options.tags = &context;
    options.merges = true;
    options.annotate = true;
    options.annotate_numbers = annotate_numbers;
    options.file_names = file_names;
    TreeReader reader(options, cache);
    return with_stack_guard([&] { return reader.value(node); });
}

}  // namespace quillmere::results

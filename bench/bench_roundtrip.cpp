// Re-emitting round-trip documents after an edit, in bytes of output per
// second.
//
// Every *.yaml and *.yml file under the shared corpus folder is composed
// once into the state of a round-trip document (files that do not compose
// are skipped and counted), and its middle leaf is given a new text as an
// assignment of a string gives it. Each benchmark then serialises its
// files as to_yaml() does after an edit: the modification marks searched up
// to the edited leaf, and the text written as the source with the edited
// place written anew.
//
//     reemit/<path>    one corpus file
//     reemit/corpus    every file, one after another
//
// bench/harness.py runs ruamel.yaml's round-trip dump of the same files
// beside it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "corpus_files.h"
#include "roundtrip/composer.h"
#include "roundtrip/serialize.h"

namespace {

using quillmere::roundtrip::DocumentState;
using quillmere::roundtrip::NodeKind;
using quillmere::roundtrip::YamlNode;

struct ComposedFile {
    std::string name;
    std::size_t input_bytes = 0;
    DocumentState state;
};

// The leaves (scalars, aliases, nulls) of a tree in document order, values
// only; corpus trees are shallow enough for plain recursion.
void collect_leaves(YamlNode& node, std::vector<YamlNode*>& out) {
    if (node.is(NodeKind::Sequence)) {
        for (YamlNode& item : node.items()) collect_leaves(item, out);
    } else if (node.is(NodeKind::Mapping)) {
        for (auto& pair : node.pairs()) collect_leaves(pair.value, out);
    } else {
        out.push_back(&node);
    }
}

struct Corpus {
    std::vector<ComposedFile> files;
    std::size_t skipped_files = 0;
};

Corpus& corpus() {
    static Corpus c;
    return c;
}

void load_corpus() {
    for (quillmere::bench::CorpusFile& file : quillmere::bench::read_corpus()) {
        auto composed = quillmere::roundtrip::parse_documents(file.text);
        if (!composed.ok()) {
            ++corpus().skipped_files;
            continue;
        }
        ComposedFile entry{file.name, file.text.size(), {}};
        entry.state.documents = std::move(composed).value();
        entry.state.source_bytes = std::move(file.text);
        std::vector<YamlNode*> leaves;
        for (YamlNode& root : entry.state.documents) collect_leaves(root, leaves);
        if (!leaves.empty()) {
            YamlNode& leaf = *leaves[leaves.size() / 2];
            leaf.mark_rewritten();
            if (leaf.is(NodeKind::Scalar)) leaf.text() = "quillmere-edit";
            leaf.comments.modified = true;
        }
        corpus().files.push_back(std::move(entry));
    }
}

std::size_t reemit(const ComposedFile& file) {
    const std::string out = quillmere::roundtrip::serialize_document(file.state);
    benchmark::DoNotOptimize(out.data());
    return out.size();
}

void reemit_files(benchmark::State& state, std::vector<const ComposedFile*> files) {
    std::size_t bytes = 0;
    std::size_t input = 0;
    for (const ComposedFile* file : files) input += file->input_bytes;
    for (auto _ : state) {
        bytes = 0;
        for (const ComposedFile* file : files) bytes += reemit(*file);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["input_bytes"] = static_cast<double>(input);
    state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["skipped_files"] = static_cast<double>(corpus().skipped_files);
}

}  // namespace

int main(int argc, char** argv) {
    load_corpus();
    std::vector<const ComposedFile*> all;
    for (const ComposedFile& file : corpus().files) {
        all.push_back(&file);
        benchmark::RegisterBenchmark(("reemit/" + file.name).c_str(), reemit_files,
                                     std::vector<const ComposedFile*>{&file})
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("reemit/corpus", reemit_files, all)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Re-emitting round-trip documents after an edit, in bytes of output per
// second.
//
// Every *.yaml and *.yml file under the shared corpus folder is composed
// once into round-trip trees (files that do not compose are skipped and
// counted), and its first document is marked modified as an edit marks
// it. Each benchmark then writes the
// documents of its files the way a round-trip document serialises itself
// after an edit: every document re-emitted, "---" between them, into one
// buffer of 256 bytes to start with.
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
#include "roundtrip/emitter.h"

namespace {

using quillmere::roundtrip::YamlNode;

struct ComposedFile {
    std::string name;
    std::size_t input_bytes = 0;
    std::vector<YamlNode> documents;
};

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
        ComposedFile entry{file.name, file.text.size(), std::move(composed).value()};
        if (!entry.documents.empty()) entry.documents.front().comments.modified = true;
        corpus().files.push_back(std::move(entry));
    }
}

std::size_t reemit(const ComposedFile& file) {
    std::string out;
    out.reserve(256);
    quillmere::roundtrip::render_documents(out, quillmere::roundtrip::NullStyle::Empty, file.documents);
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

// Writer throughput, in bytes of output per second.
//
// Every *.yaml and *.yml file under the shared corpus folder is decoded
// once (YAML 1.2 core rules; files that do not decode are skipped and
// counted). Each benchmark then writes every decoded document, one buffer
// per document started at 1024 bytes as dumps and to_json do, and reports
// MB/s of text written:
//
//     yaml/default         block style, indent 2, no folding
//     yaml/width80_sorted  folding at 80 columns, sorted keys, indent 4
//     yaml/flow            every collection in flow style
//     json/compact         no whitespace
//     json/indent2_sorted  two spaces per level, sorted keys
//
// The JSON writer refuses documents with collection keys; those documents
// are counted and skipped in the JSON benchmarks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "decode/decoder.h"
#include "encode/emitter.h"
#include "encode/json_writer.h"

namespace {

using quillmere::decode::Documents;
using quillmere::Value;

struct Corpus {
    std::vector<std::string> texts;  // the decoded trees may borrow them
    std::vector<Documents> decoded;
    std::vector<const Value*> documents;
    std::size_t input_bytes = 0;
    std::size_t skipped_files = 0;
};

Corpus& corpus() {
    static Corpus c;
    return c;
}

void load_corpus() {
    std::vector<quillmere::bench::CorpusFile> files = quillmere::bench::read_corpus();
    Corpus& c = corpus();
    c.texts.reserve(files.size());
    c.decoded.reserve(files.size());
    for (quillmere::bench::CorpusFile& file : files) {
        c.texts.push_back(std::move(file.text));
        auto result = quillmere::decode::decode_documents(c.texts.back(), quillmere::decode::DecodeOptions{});
        if (!result.ok()) {
            ++c.skipped_files;
            continue;
        }
        c.input_bytes += c.texts.back().size();
        c.decoded.push_back(std::move(result).value());
    }
    for (const Documents& d : c.decoded)
        for (const Value& v : d.documents) c.documents.push_back(&v);
}

void write_yaml(benchmark::State& state, quillmere::encode::EmitterConfig config) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const Value* doc : corpus().documents) {
            std::string out;
            out.reserve(1024);
            quillmere::encode::emit_document(out, *doc, config);
            bytes += out.size();
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["documents"] = static_cast<double>(corpus().documents.size());
    state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["input_MB"] = static_cast<double>(corpus().input_bytes) / 1e6;
    state.counters["skipped_files"] = static_cast<double>(corpus().skipped_files);
}

void write_json(benchmark::State& state, quillmere::encode::JsonWriterConfig config) {
    std::size_t bytes = 0;
    std::size_t refused = 0;
    for (auto _ : state) {
        bytes = 0;
        refused = 0;
        for (const Value* doc : corpus().documents) {
            std::string out;
            out.reserve(1024);
            if (quillmere::encode::write_json(out, *doc, config).ok()) {
                bytes += out.size();
            } else {
                ++refused;
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["documents"] = static_cast<double>(corpus().documents.size() - refused);
    state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["refused_documents"] = static_cast<double>(refused);
}

}  // namespace

int main(int argc, char** argv) {
    load_corpus();
    quillmere::encode::EmitterConfig yaml_default;
    quillmere::encode::EmitterConfig yaml_folded;
    yaml_folded.width = 80;
    yaml_folded.sort_keys = true;
    yaml_folded.indent = 4;
    quillmere::encode::EmitterConfig yaml_flow;
    yaml_flow.flow_style = true;
    benchmark::RegisterBenchmark("yaml/default", write_yaml, yaml_default)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("yaml/width80_sorted", write_yaml, yaml_folded)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("yaml/flow", write_yaml, yaml_flow)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("json/compact", write_json, quillmere::encode::JsonWriterConfig{0, false})
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("json/indent2_sorted", write_json, quillmere::encode::JsonWriterConfig{2, true})
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The round-trip composer against the plain road, on the shared corpus.
//
//     compose/corpus   compose_text on every corpus file: scanning with
//                      comments, the YamlNode trees with their positions,
//                      comment attachment, and freeing the trees
//     decode/corpus    decode_documents on the same files: scanning, the
//                      Value trees (YAML 1.2 core) and freeing them
//
// Both report MB/s of input; the composer is meant to cost at most twice
// the decoder. Files that either road refuses are left out of both.
//
// Before the timings, the memory the trees of the whole corpus take is
// measured once: every file is composed and its trees kept, and the bytes
// that malloc holds (mallinfo2's in-use count, so allocator overhead
// included) grow by the tree bytes. They are printed with their ratio to
// the input bytes (meant to be at most 8) and reported as counters.
//
// On a busy machine the two benchmarks can meet different loads, so the
// ratio is also measured in a way that load disturbs less: each file is
// composed and decoded in turn, many times over, and the fastest time of
// each file on each road is kept. The sums of those minimums and their
// ratio are printed first.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "decode/decoder.h"
#include "roundtrip/composer.h"

namespace {

using quillmere::bench::CorpusFile;

std::vector<CorpusFile>& corpus() {
    static std::vector<CorpusFile> files = [] {
        std::vector<CorpusFile> all = quillmere::bench::read_corpus();
        std::vector<CorpusFile> kept;
        for (CorpusFile& file : all) {
            const bool decodes = quillmere::decode::decode_documents(file.text, {}).ok();
            const bool composes = quillmere::roundtrip::parse_documents(file.text).ok();
            if (decodes && composes)
                kept.push_back(std::move(file));
            else
                std::fprintf(stderr, "left out: %s\n", file.name.c_str());
        }
        return kept;
    }();
    return files;
}

std::size_t corpus_bytes() {
    std::size_t bytes = 0;
    for (const CorpusFile& file : corpus()) bytes += file.text.size();
    return bytes;
}

struct TreeMemory {
    std::size_t input = 0;
    std::size_t trees = 0;
};

TreeMemory measure_tree_memory() {
    TreeMemory memory;
    memory.input = corpus_bytes();
    std::vector<std::vector<quillmere::roundtrip::YamlNode>> kept;
    kept.reserve(corpus().size());
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    for (const CorpusFile& file : corpus()) kept.push_back(std::move(quillmere::roundtrip::parse_documents(file.text).value()));
    memory.trees = mallinfo2().uordblks - before;
    return memory;
}

using Trees = std::vector<std::vector<quillmere::roundtrip::YamlNode>>;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The sums over the files of the fastest compose (trees freed outside the
// timing) and the fastest decode.
void print_fastest_times(int rounds) {
    std::vector<double> compose(corpus().size(), 1e9), decode(corpus().size(), 1e9);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < corpus().size(); ++i) {
            auto start = std::chrono::steady_clock::now();
            {
                auto roots = quillmere::roundtrip::parse_documents(corpus()[i].text);
                compose[i] = std::min(compose[i], seconds_since(start));
            }  // the trees are freed here, outside the timing
            start = std::chrono::steady_clock::now();
            auto documents = quillmere::decode::decode_documents(corpus()[i].text, {});
            benchmark::DoNotOptimize(documents.value().documents.data());
            decode[i] = std::min(decode[i], seconds_since(start));
        }
    }
    double composed = 0, decoded = 0;
    for (std::size_t i = 0; i < corpus().size(); ++i) {
        composed += compose[i];
        decoded += decode[i];
    }
    std::fprintf(stderr, "fastest of %d rounds per file: compose %.1f ms, decode %.1f ms, ratio %.2f\n", rounds,
                 composed * 1e3, decoded * 1e3, composed / decoded);
}

void compose_corpus(benchmark::State& state, const TreeMemory* memory) {
    Trees trees(corpus().size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < corpus().size(); ++i)
            trees[i] = std::move(quillmere::roundtrip::parse_documents(corpus()[i].text).value());
        state.PauseTiming();
        for (auto& roots : trees) roots.clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus_bytes()));
    state.counters["tree_bytes"] = static_cast<double>(memory->trees);
    state.counters["tree_ratio"] = static_cast<double>(memory->trees) / static_cast<double>(memory->input);
}

void free_trees(benchmark::State& state) {
    Trees trees(corpus().size());
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < corpus().size(); ++i)
            trees[i] = std::move(quillmere::roundtrip::parse_documents(corpus()[i].text).value());
        state.ResumeTiming();
        for (auto& roots : trees) roots.clear();
    }
}

void decode_corpus(benchmark::State& state) {
    for (auto _ : state) {
        for (const CorpusFile& file : corpus()) {
            auto documents = quillmere::decode::decode_documents(file.text, {});
            benchmark::DoNotOptimize(documents.value().documents.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus_bytes()));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (corpus().empty()) return 1;
    static const TreeMemory memory = measure_tree_memory();
    std::fprintf(stderr, "corpus: %zu files, %zu bytes; trees: %zu bytes, %.2f times the input\n", corpus().size(),
                 memory.input, memory.trees, static_cast<double>(memory.trees) / static_cast<double>(memory.input));
    print_fastest_times(20);
    benchmark::RegisterBenchmark("compose/corpus", compose_corpus, &memory)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("free/corpus", free_trees)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode/corpus", decode_corpus)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

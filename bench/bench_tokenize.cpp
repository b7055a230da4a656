// Tokenizer throughput, in bytes of input per second.
//
// Each benchmark scans one whole text into its token list, as the decoder
// does, and reports MB/s. The texts are:
//
//     generated/ordinary     10 MB of everyday YAML: block mappings and
//                            sequences, quoted, block and flow scalars,
//                            flow collections, comments
//     generated/tab_run      one 10 MB run of tabs at a line start, then a
//                            line of content
//     generated/tab_lines    10 MB of lines of tabs, with a short mapping
//                            entry every 64 lines
//     generated/blank_lines  10 MB of empty lines and lines of spaces
//                            between two entries
//     corpus/<path>          every *.yaml and *.yml file under the shared
//                            corpus folder, as it stands
//
// The tab and blank texts are there to show that long runs of white space
// cost time in proportion to their length.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "scanner/scanner.h"

namespace {

constexpr std::size_t kTarget = 10 * 1024 * 1024;

std::string ordinary_yaml() {
    std::string out;
    out.reserve(kTarget + 4096);
    char buf[2048];
    for (int i = 0; out.size() < kTarget; ++i) {
        const int n = std::snprintf(buf, sizeof buf,
                                    "# record %d\n"
                                    "item_%d:\n"
                                    "  name: \"Widget %d\"\n"
                                    "  id: %d\n"
                                    "  enabled: true\n"
                                    "  ratio: 0.%d\n"
                                    "  path: 'C:\\data\\item %d'\n"
                                    "  tags: [alpha, beta, \"gamma %d\"]\n"
                                    "  owner: {name: Ada Lovelace, team: core, seats: [1, 2, 3]}\n"
                                    "  description: |\n"
                                    "    Line one of item %d.\n"
                                    "      An indented line.\n"
                                    "\n"
                                    "    The last line.\n"
                                    "  summary: >-\n"
                                    "    Folded text for item %d\n"
                                    "    that continues here.\n"
                                    "  escaped: \"tab\\tand \\u00e9 and a\n"
                                    "    folded line\"\n"
                                    "  entries:\n"
                                    "    - first plain scalar that runs on\n"
                                    "      over two lines\n"
                                    "    - 'second %d'\n"
                                    "    - key: value  # a trailing comment\n"
                                    "      other: %d\n"
                                    "    - &anchor%d {a: 1, b: [x, y]}\n"
                                    "    - *anchor%d\n",
                                    i, i, i, i, i % 97, i, i, i, i, i, i, i, i);
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

std::string tab_run_yaml() { return std::string(kTarget, '\t') + "\nkey: value\n"; }

std::string tab_lines_yaml() {
    std::string out;
    out.reserve(kTarget + 4096);
    for (int i = 0; out.size() < kTarget; ++i) {
        out.append(static_cast<std::size_t>(64 + i % 64), '\t');
        out += '\n';
        if (i % 64 == 0) out += "key_" + std::to_string(i) + ": value\n";
    }
    return out;
}

std::string blank_lines_yaml() {
    std::string out = "first: 1\n";
    out.reserve(kTarget + 4096);
    for (int i = 0; out.size() < kTarget; ++i) {
        out.append(static_cast<std::size_t>(i % 8 == 0 ? 0 : i % 16), ' ');
        out += '\n';
    }
    out += "last: 2\n";
    return out;
}

void tokenize_text(benchmark::State& state, const std::string* text) {
    std::size_t tokens = 0;
    for (auto _ : state) {
        quillmere::scanner::Scanner scanner(*text);
        auto result = quillmere::scanner::tokenize(scanner);
        if (!result.ok()) {
            const auto& e = result.error();
            const std::string message =
                e.message + " at " + std::to_string(e.span.line + 1) + ":" + std::to_string(e.span.column + 1);
            state.SkipWithError(message.c_str());
            break;
        }
        tokens = result.value().size();
        benchmark::DoNotOptimize(result.value());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text->size()));
    state.counters["tokens"] = static_cast<double>(tokens);
}

// Texts live here for the whole run; the benchmarks borrow them.
std::deque<std::string>& texts() {
    static std::deque<std::string> storage;
    return storage;
}

void add(const std::string& name, std::string text) {
    texts().push_back(std::move(text));
    benchmark::RegisterBenchmark(name.c_str(), tokenize_text, &texts().back())->Unit(benchmark::kMillisecond);
}

void add_corpus() {
    for (quillmere::bench::CorpusFile& file : quillmere::bench::read_corpus())
        add("corpus/" + file.name, std::move(file.text));
}

}  // namespace

int main(int argc, char** argv) {
    add("generated/ordinary", ordinary_yaml());
    add("generated/tab_run", tab_run_yaml());
    add("generated/tab_lines", tab_lines_yaml());
    add("generated/blank_lines", blank_lines_yaml());
    add_corpus();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

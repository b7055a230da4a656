// What a directive load costs on a text without directives, against the
// plain road.
//
// For every *.yaml and *.yml file of the shared corpus, three benchmarks
// read the same text:
//
//     decode/<path>      decode_documents(text, {}): the plain road's
//                        tokenize and decode into Value trees
//     compose/<path>     parse_documents(text): the round-trip tree alone
//     directives/<path>  a new include context (includes, secrets and
//                        environment variables on, the corpus folder as
//                        root) and load_with_directives: registering the
//                        text, composing it and walking every tree
//
// After the run a summary gives, over the files all three read, the sum of
// each column and the ratios directives/decode and directives/compose, for
// the sum and for the worst file. A corpus file that holds one of the
// directive tags would read other files; none does, and any that did would
// be left out and named.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "corpus_files.h"
#include "decode/decoder.h"
#include "directives/loader.h"
#include "roundtrip/composer.h"

namespace {

namespace directives = quillmere::directives;

const std::string& corpus_folder() {
    static const std::string folder = quillmere::bench::corpus_root().string();
    return folder;
}

void decode_text(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        auto result = quillmere::decode::decode_documents(*text, quillmere::decode::DecodeOptions{});
        if (!result.ok()) {
            state.SkipWithError(result.error().message.c_str());
            break;
        }
        benchmark::DoNotOptimize(result.value());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text->size()));
}

void compose_text(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        auto result = quillmere::roundtrip::parse_documents(*text);
        if (!result.ok()) {
            state.SkipWithError(result.error().message.c_str());
            break;
        }
        benchmark::DoNotOptimize(result.value());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text->size()));
}

void load_text(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        directives::IncludeContext context = directives::new_include_context(corpus_folder(), true, true, true);
        auto result = directives::load_with_directives(context, *text, std::nullopt);
        if (!result.ok()) {
            state.SkipWithError(result.error().message.c_str());
            break;
        }
        benchmark::DoNotOptimize(result.value());
        benchmark::DoNotOptimize(context);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text->size()));
}

// Prints as the console does and keeps each benchmark's time per
// iteration (the median when repeated) for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median)
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void print_summary(const std::vector<std::string>& names) const {
        double decode = 0, compose = 0, load = 0, worst = 0;
        std::string worst_name;
        std::size_t files = 0;
        for (const std::string& name : names) {
            const auto d = times_.find("decode/" + name);
            const auto c = times_.find("compose/" + name);
            const auto l = times_.find("directives/" + name);
            if (d == times_.end() || c == times_.end() || l == times_.end()) continue;
            ++files;
            decode += d->second;
            compose += c->second;
            load += l->second;
            if (l->second / d->second > worst) {
                worst = l->second / d->second;
                worst_name = name;
            }
        }
        if (files == 0) return;
        std::printf("\n%zu corpus files: decode %.3f, compose %.3f, directives %.3f (sums, ms per pass)\n", files,
                    decode, compose, load);
        std::printf("directives/decode  %.2fx over the corpus, worst %.2fx (%s)\n", load / decode, worst,
                    worst_name.c_str());
        std::printf("directives/compose %.2fx over the corpus\n", load / compose);
    }

private:
    std::map<std::string, double> times_;
};

bool holds_directive_tag(std::string_view text) {
    for (std::string_view tag : {"!include", "!secret", "!env_var"}) {
        if (text.find(tag) != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    static std::deque<std::string> texts;  // the benchmarks borrow them for the whole run
    std::vector<std::string> names;
    for (quillmere::bench::CorpusFile& file : quillmere::bench::read_corpus()) {
        if (holds_directive_tag(file.text)) {
            std::fprintf(stderr, "left out (holds a directive tag): %s\n", file.name.c_str());
            continue;
        }
        texts.push_back(std::move(file.text));
        const std::string* text = &texts.back();
        benchmark::RegisterBenchmark(("decode/" + file.name).c_str(), decode_text, text)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("compose/" + file.name).c_str(), compose_text, text)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("directives/" + file.name).c_str(), load_text, text)
            ->Unit(benchmark::kMillisecond);
        names.push_back(file.name);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_summary(names);
    benchmark::Shutdown();
    return 0;
}

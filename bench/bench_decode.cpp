// Tokenize plus decode throughput, side by side with libyaml and libfyaml.
//
// Each benchmark reads one whole text and reports MB/s of input. Four
// readers walk the same texts:
//
//     quillmere/<text>          decode_documents(text, {}): scanning, scalar
//                               resolution (YAML 1.2 core) and the Value
//                               trees of every document
//     libyaml/<text>            yaml_parser_parse events until stream end;
//                               no scalar resolution, no tree
//     libfyaml_events/<text>    fy_parser_parse events until the stream ends;
//                               no scalar resolution, no tree
//     libfyaml_document/<text>  fy_parse_load_document until no document is
//                               left: libfyaml's own node trees
//
// The texts are every *.yaml and *.yml file under the shared corpus folder
// (corpus/<path>), the corpus as one stream (corpus/concatenated), and any
// file named on the command line after the benchmark flags (extra/<name>).
//
// corpus/concatenated joins, in path order, the files that all four readers
// accept one by one. A leading byte order mark is dropped, a missing final
// line break added, and a separator put in front of each file after the
// first, judged by its first line that is neither blank nor a comment:
//
//     --- ...     nothing: the file opens its own document
//     %YAML 1.2   "...": ends the document before, so directives may follow
//     anything    "---": starts a new document
//
// A file one reader refuses still gets its benchmarks; that reader's run
// ends with the reader's error instead of a time.
#include <benchmark/benchmark.h>
#include <libfyaml.h>
#include <yaml.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "corpus_files.h"
#include "decode/decoder.h"

namespace {

// Items a reader produced for one text (documents, events), or why it failed.
struct Outcome {
    bool ok = false;
    std::size_t items = 0;
    std::string error;
};

Outcome read_quillmere(const std::string& text) {
    auto result = quillmere::decode::decode_documents(text, quillmere::decode::DecodeOptions{});
    if (!result.ok()) {
        const auto& e = result.error();
        return {false, 0,
                e.message + " at " + std::to_string(e.span.line + 1) + ":" + std::to_string(e.span.column + 1)};
    }
    benchmark::DoNotOptimize(result.value().documents.data());
    return {true, result.value().documents.size(), {}};
}

Outcome read_libyaml(const std::string& text) {
    yaml_parser_t parser;
    if (!yaml_parser_initialize(&parser)) return {false, 0, "yaml_parser_initialize failed"};
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    Outcome outcome;
    for (;;) {
        yaml_event_t event;
        if (!yaml_parser_parse(&parser, &event)) {
            outcome.error = std::string(parser.problem ? parser.problem : "parse error") + " at " +
                            std::to_string(parser.problem_mark.line + 1) + ":" +
                            std::to_string(parser.problem_mark.column + 1);
            break;
        }
        ++outcome.items;
        const bool end = event.type == YAML_STREAM_END_EVENT;
        yaml_event_delete(&event);
        if (end) {
            outcome.ok = true;
            break;
        }
    }
    yaml_parser_delete(&parser);
    return outcome;
}

// libfyaml's diagnostics go here rather than to stderr; the text of the
// latest is kept for the error of a failed run.
std::string& fy_message() {
    static std::string message;
    return message;
}

void keep_fy_message(fy_diag*, void*, const char* buf, std::size_t len) {
    if (fy_message().empty()) fy_message().assign(buf, len);
}

fy_diag* quiet_fy_diag() {
    static fy_diag* diag = [] {
        fy_diag_cfg cfg;
        fy_diag_cfg_default(&cfg);
        cfg.fp = nullptr;
        cfg.output_fn = keep_fy_message;
        cfg.colorize = false;
        return fy_diag_create(&cfg);
    }();
    return diag;
}

std::string describe_fy_error() {
    std::string message = fy_message();
    const std::size_t end = message.find('\n');
    if (end != std::string::npos) message.resize(end);
    if (message.starts_with("<memory-")) {  // the input's label, an address range
        const std::size_t label_end = message.find(">:");
        if (label_end != std::string::npos) message.erase(0, label_end + 2);
    }
    return message.empty() ? "libfyaml stream error" : message;
}

// Owns one fy_parser over a borrowed text.
class FyParser {
public:
    explicit FyParser(const std::string& text) {
        fy_message().clear();
        fy_parse_cfg cfg{};
        cfg.flags = FYPCF_QUIET;
        cfg.diag = quiet_fy_diag();
        parser_ = fy_parser_create(&cfg);
        if (parser_ && fy_parser_set_string(parser_, text.data(), text.size()) != 0) {
            fy_parser_destroy(parser_);
            parser_ = nullptr;
        }
    }
    ~FyParser() {
        if (parser_) fy_parser_destroy(parser_);
    }
    FyParser(const FyParser&) = delete;
    FyParser& operator=(const FyParser&) = delete;

    fy_parser* get() const { return parser_; }

private:
    fy_parser* parser_ = nullptr;
};

Outcome read_libfyaml_events(const std::string& text) {
    FyParser parser(text);
    if (!parser.get()) return {false, 0, "fy_parser_create failed"};
    Outcome outcome;
    while (fy_event* event = fy_parser_parse(parser.get())) {
        ++outcome.items;
        fy_parser_event_free(parser.get(), event);
    }
    outcome.ok = !fy_parser_get_stream_error(parser.get());
    if (!outcome.ok) outcome.error = describe_fy_error();
    return outcome;
}

Outcome read_libfyaml_document(const std::string& text) {
    FyParser parser(text);
    if (!parser.get()) return {false, 0, "fy_parser_create failed"};
    Outcome outcome;
    while (fy_document* document = fy_parse_load_document(parser.get())) {
        ++outcome.items;
        fy_parse_document_destroy(parser.get(), document);
    }
    outcome.ok = !fy_parser_get_stream_error(parser.get());
    if (!outcome.ok) outcome.error = describe_fy_error();
    return outcome;
}

struct Reader {
    const char* name;
    Outcome (*read)(const std::string&);
};

constexpr Reader kReaders[] = {
    {"quillmere", read_quillmere},
    {"libyaml", read_libyaml},
    {"libfyaml_events", read_libfyaml_events},
    {"libfyaml_document", read_libfyaml_document},
};

void read_text(benchmark::State& state, const Reader* reader, const std::string* text) {
    Outcome outcome;
    for (auto _ : state) {
        outcome = reader->read(*text);
        if (!outcome.ok) {
            state.SkipWithError(outcome.error.c_str());
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text->size()));
    state.counters["items"] = static_cast<double>(outcome.items);
    state.counters["input_bytes"] = static_cast<double>(text->size());
}

// Texts live here for the whole run; the benchmarks borrow them.
std::deque<std::string>& texts() {
    static std::deque<std::string> storage;
    return storage;
}

void add(const std::string& name, std::string text) {
    texts().push_back(std::move(text));
    for (const Reader& reader : kReaders) {
        const std::string full = std::string(reader.name) + "/" + name;
        benchmark::RegisterBenchmark(full.c_str(), read_text, &reader, &texts().back())
            ->Unit(benchmark::kMillisecond);
    }
}

std::string read_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What goes in front of a file that follows another in one stream.
std::string_view separator_before(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;
        if (line.starts_with("---") && (line.size() == 3 || line[3] == ' ' || line[3] == '\t' || line[3] == '\r'))
            return "";
        if (line[0] == '%') return "...\n";
        return "---\n";
    }
    return "";
}

void append_to_stream(std::string& stream, std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (!stream.empty()) stream += separator_before(text);
    stream += text;
    if (!stream.empty() && stream.back() != '\n') stream += '\n';
}

void add_corpus() {
    std::vector<quillmere::bench::CorpusFile> files = quillmere::bench::read_corpus();
    std::string stream;
    std::size_t joined = 0;
    for (quillmere::bench::CorpusFile& file : files) {
        const std::string& relative = file.name;
        std::string text = std::move(file.text);
        bool everyone = true;
        for (const Reader& reader : kReaders) {
            const Outcome outcome = reader.read(text);
            if (!outcome.ok) {
                std::fprintf(stderr, "concatenation leaves out %s: %s refuses it (%s)\n", relative.c_str(),
                             reader.name, outcome.error.c_str());
                everyone = false;
            }
        }
        if (everyone) {
            append_to_stream(stream, text);
            ++joined;
        }
        add("corpus/" + relative, std::move(text));
    }
    std::fprintf(stderr, "corpus/concatenated: %zu of %zu files, %zu bytes\n", joined, files.size(), stream.size());
    add("corpus/concatenated", std::move(stream));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    add_corpus();
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path file(argv[i]);
        if (!std::filesystem::is_regular_file(file)) {
            std::fprintf(stderr, "not a file: %s\n", argv[i]);
            return 1;
        }
        add("extra/" + file.filename().string(), read_file(file));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

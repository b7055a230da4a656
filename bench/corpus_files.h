// The shared corpus for the engine benchmarks: every *.yaml and *.yml file
// under <shared>/corpus/files, in sorted order.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillmere::bench {

struct CorpusFile {
    std::string name;  // the path below corpus/files
    std::string text;
};

inline std::filesystem::path corpus_root() {
    return std::filesystem::path(QUILLMERE_SHARED_DIR) / "corpus" / "files";
}

// Every corpus file with its text; empty, with a message, when the corpus
// is not there.
inline std::vector<CorpusFile> read_corpus() {
    namespace fs = std::filesystem;
    const fs::path root = corpus_root();
    std::error_code ec;
    if (std::string(QUILLMERE_SHARED_DIR).empty() || !fs::is_directory(root, ec)) {
        std::fprintf(stderr, "corpus not found under '%s'\n", root.string().c_str());
        return {};
    }
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".yaml" || ext == ".yml")) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<CorpusFile> files;
    files.reserve(paths.size());
    for (const fs::path& path : paths) {
        std::ifstream in(path, std::ios::binary);
        files.push_back({fs::relative(path, root).generic_string(),
                         std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())});
    }
    return files;
}

}  // namespace quillmere::bench

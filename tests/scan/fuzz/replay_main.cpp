// Runs a fuzz target without libFuzzer, for ctest: every file of the corpus
// folders given on the command line, then a fixed-seed series of mutations of
// them (byte flips, truncations, insertions), so each run covers the same
// inputs with any compiler.
#include "fuzz/fuzz_target.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::vector<fs::path> files;
        if (fs::is_directory(arg)) {
            for (const auto& e : fs::directory_iterator(arg))
                if (e.is_regular_file())
                    files.push_back(e.path());
        } else {
            files.push_back(arg);
        }
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus files\n");
        return 1;
    }
    for (const auto& input : corpus)
        LLVMFuzzerTestOneInput(input.data(), input.size());

    std::mt19937 rng(20240229);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> input = corpus[rng() % corpus.size()];
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 4) {
            case 0:
                if (!input.empty())
                    input[rng() % input.size()] = static_cast<uint8_t>(rng());
                break;
            case 1:
                if (!input.empty())
                    input.resize(rng() % input.size());
                break;
            case 2:
                input.insert(input.begin() + static_cast<long>(rng() % (input.size() + 1)),
                             static_cast<uint8_t>("0123456789./-x \xff"[rng() % 16]));
                break;
            default:
                if (!input.empty())
                    input[rng() % input.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            }
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%zu corpus files and 20000 mutations passed\n", corpus.size());
    return 0;
}

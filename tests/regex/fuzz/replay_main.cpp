// Runs the fuzz entry point without libFuzzer, for ctest with any compiler:
// every file of the corpus folder, then a fixed-seed series of mutations of
// them, so each run covers the same inputs.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        for (const auto& e : std::filesystem::directory_iterator(argv[i])) {
            if (!e.is_regular_file())
                continue;
            std::ifstream in(e.path(), std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus files\n");
        return 1;
    }
    for (const auto& input : corpus)
        LLVMFuzzerTestOneInput(input.data(), input.size());

    static const char kBytes[] = "ab()[]{}|*+?.^$\\-,0129dwsbx#iI \r\n\xb8\xe0";
    std::mt19937 rng(20240611);
    for (int round = 0; round < 5000; ++round) {
        std::vector<uint8_t> input = corpus[rng() % corpus.size()];
        for (int e = 1 + static_cast<int>(rng() % 3); e > 0; --e) {
            const size_t at = input.empty() ? 0 : rng() % input.size();
            switch (rng() % 3) {
            case 0:
                if (!input.empty())
                    input[at] = static_cast<uint8_t>(kBytes[rng() % (sizeof kBytes - 1)]);
                break;
            case 1:
                if (!input.empty())
                    input.erase(input.begin() + static_cast<long>(at));
                break;
            default:
                input.insert(input.begin() + static_cast<long>(at),
                             static_cast<uint8_t>(kBytes[rng() % (sizeof kBytes - 1)]));
                break;
            }
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("replayed %zu corpus files and 5000 mutations\n", corpus.size());
    return 0;
}

// Replays a fuzz target of this folder for ctest: the corpus, then mutations
// (byte flips, truncations, insertions of address characters).
#include "fixtures/fuzz_replay.h"
#include "fuzz/fuzz_target.h"

int main(int argc, char** argv) {
    return ormix::testing::replayFuzzCorpus(
        argc, argv, 20240229, 20000, [](ormix::testing::FuzzInput& input, std::mt19937& rng) {
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
        });
}

// Replays the expression engine's fuzz entry point for ctest: the corpus, then
// mutations that swap in, drop or insert characters of the expression syntax.
#include "fixtures/fuzz_replay.h"

int main(int argc, char** argv) {
    return ormix::testing::replayFuzzCorpus(
        argc, argv, 20240611, 5000, [](ormix::testing::FuzzInput& input, std::mt19937& rng) {
            static const char kBytes[] = "ab()[]{}|*+?.^$\\-,0129dwsbx#iI \r\n\xb8\xe0";
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
        });
}

// Output helpers of ormix-cli (see output.h).
#include "cli/output.h"

#include <cstdio>

namespace ormix::cli {

bool parseFormatArg(const char* word, RowFormat& format) {
    if (const auto parsed = parseRowFormat(word)) {
        format = *parsed;
        return true;
    }
    std::fprintf(stderr, "ormix-cli: unknown format '%s' (tsv, csv or json)\n",
                 escapeTsvCell(word, false).c_str());
    return false;
}

void printOut(const std::string& text) {
    if (text.empty())
        return;
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void printErr(const std::string& line) {
    std::fprintf(stderr, "%s\n", escapeTsvCell(line, true).c_str());
}

} // namespace ormix::cli

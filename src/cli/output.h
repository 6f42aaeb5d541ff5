// What the ormix-cli commands share for their output: the --format word and
// writing text to the terminal or a pipe. Text that came from the network
// reaches stdout only through a RowWriter and stderr only through printErr.
#pragma once

#include "export/rowformat.h"

#include <string>

namespace ormix::cli {

// Reads the word after --format; false (and a message on stderr) for an unknown one.
bool parseFormatArg(const char* word, RowFormat& format);

// Writes already formatted rows to stdout and flushes.
void printOut(const std::string& text);

// One line to stderr with its control characters escaped as in tsv (the
// scanner's and the helpers' log lines may quote names sent by peers).
void printErr(const std::string& line);

} // namespace ormix::cli

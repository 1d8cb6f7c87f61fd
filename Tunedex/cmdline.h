// The program's own command-line options. --help and --version are answered
// before the application object exists, so they work without a display (in a
// package check, over SSH, in a build script). Qt takes its own options
// (-platform, -style, ...) when the application object is made; whatever is
// left after that is not an option of this program.
#pragma once

#include <cstdio>

namespace tunedex {

// Looks for --help (-h) and --version before a lone "--". Prints the answer on
// `out` and returns the exit status (0), or -1 when the program should start.
int AnswerInfoOptions(int argc, char **argv, std::FILE *out);

// Checks the arguments Qt left (argv[0] first). Each one is an error: a line
// naming it on `err` and a hint to --help. Returns the exit status (2), or -1
// when nothing is left.
int RejectRemainingArguments(int argc, char **argv, std::FILE *err);

}  // namespace tunedex

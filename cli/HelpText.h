// The tool's help text: the 44 lines printed for "help" and when no command
// is given. Every line ends with a line feed. Static text; thread-safe.
#pragma once

#include <cstdio>

extern const char* const kHelpText;

// Writes the help text and one more line end to `out`.
void PrintHelp(std::FILE* out);

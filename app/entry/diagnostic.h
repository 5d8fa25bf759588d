// Conventional diagnostics on standard error, beside the console's own text.
#pragma once

#include <string>

// Writes "tilvaro: <path>: <reason>" and a line end to standard error in one
// write. path is the path as handed to the host's file system.
void complain(const std::string& path, const std::string& reason);

// Writes lines (each '\n' in text ends one, the last one included) to
// standard error in one write. Every line ends as the host's text on
// standard error does (CR LF on Windows). When standard error shows on the
// console and the console's last text left its line open (a question, a
// "File i Name :" line), a line end comes first, so the diagnostic starts
// on a line of its own; standard output's bytes do not change. Write errors
// are ignored.
void complain_lines(const std::string& text);

// Conventional diagnostics on standard error, beside the console's own text.
#pragma once

#include <string>

// A name (a path, a pattern, an argument) as a diagnostic shows it: every
// byte that could break the line or drive the terminal is escaped, so one
// diagnostic is always one line. TAB, LF and CR become \t, \n and \r, the
// other control characters (below 0x20, 0x7F, and U+0080 to U+009F) and
// every byte that is not part of a valid UTF-8 sequence (overlong forms,
// surrogates and code points past U+10FFFF included) become \xhh, two
// lower-case hex digits per byte. Everything else stays as it is, a
// backslash too (Windows paths are full of them). The console's own text
// (standard output) never goes through here: it keeps the names as typed.
std::string shown_name(const std::string& name);

// Writes "tilvaro: <path>: <reason>" and a line end to standard error in one
// write. path is the path as handed to the host's file system, shown through
// shown_name; a name that reason embeds is the caller's to pass through it.
void complain(const std::string& path, const std::string& reason);

// Every warning: "tilvaro: <path>: warning: <text>", as complain writes it.
// A warning changes nothing of the run's outcome.
void warn(const std::string& path, const std::string& text);

// Writes "tilvaro: out of memory (<doing>)" and a line end to standard error
// as complain_lines would, without allocating memory.
void complain_out_of_memory(const char* doing);

// Writes lines (each '\n' in text ends one, the last one included) to
// standard error in one write. Every line ends as the host's text on
// standard error does (CR LF on Windows). When standard error shows on the
// console and the console's last text left its line open (a question, a
// "File i Name :" line), a line end comes first, so the diagnostic starts
// on a line of its own; standard output's bytes do not change. Write errors
// are ignored.
void complain_lines(const std::string& text);

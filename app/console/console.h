// The console: text out with CR LF line ends, answers in from standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "records/scan.h"
#include "streams/text_reader.h"

// Output.
//
// Every '\n' goes out as CR LF, whatever standard output is. When standard
// output is a terminal each text is written at once (a question is on the
// screen before its answer is read); otherwise text goes out in blocks of
// 512 bytes, and the rest at console_flush(). Write errors are ignored: a
// closed console must not stop a merge.
void console_open();
void say(const std::string& text);
// From now on say() drops its text: standard output carries the result.
void console_mute();
void console_flush();

// Whether the console's last text left its line open (it did not end in a
// line end), so that a line another stream writes to the same screen must
// start on a line of its own. console_line_closed() says that the screen's
// cursor now stands at the start of a line again.
bool console_line_open();
void console_line_closed();

// Input: standard input read under the point-file rules (CR removed, 0x1A
// ends it).
text_reader& console_input();

// Reads one token: blanks, tabs, line ends, VT and FF are skipped, and the
// token ends at the next such character, which stays unread. False when the
// input ends before a token starts. Memory stays bounded: a token longer
// than longest bytes is read no further than its first longest + 1 bytes,
// which token gets (so token.size() > longest tells it); the rest stays
// unread.
bool read_token(text_reader& in, std::string& token, std::size_t longest = static_cast<std::size_t>(-1));

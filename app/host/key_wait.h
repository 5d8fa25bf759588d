// The key wait after a failure that ends the run.
#pragma once

// Waits for one key press on the controlling terminal (/dev/tty, not
// standard input, which may be a file or a pipe), with echo off and
// canonical mode off, so the key is not shown and no line end is needed.
// Ctrl-C and the other signal keys keep working. Keys typed before the wait
// began are discarded, so a key pressed before the message was on screen
// cannot dismiss it unseen; the switch also waits until output already
// written to the terminal has been sent. Bytes that the same key sends after
// the first (arrow and function keys send several) are discarded so they do
// not reach the shell. Modifier keys alone and key releases send nothing, so
// they do not end the wait. The terminal's settings are restored before
// returning, and also when a signal ends the process during the wait (see
// interrupt.h). Without a controlling terminal it returns at once; a hang-up
// of the terminal also ends the wait. A process that is not in the
// terminal's foreground process group (a background job) returns at once
// too, without touching the terminal.
// One line, "tilvaro: press a key to close", says that it waits: on
// standard error when that is the terminal, else on the terminal itself;
// standard output is left as it is. Ctrl-Z during the wait gives the
// shell the settings from before the wait while the process is stopped; when
// it goes on, the key mode is back and one key still ends the wait.
// Text the caller buffers itself must be written out before the call.
void wait_key();

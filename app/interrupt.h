// Clean-up on interruption.
//
// SIGINT, SIGTERM, SIGHUP and SIGQUIT must not leave anything of a half-done
// run behind: the temporary result is removed, a terminal taken out of
// canonical mode gets its settings back, and pending console text is written.
// Each of these is registered here by the module that owns it; the handler
// does only async-signal-safe work and then re-raises the signal with its
// default action, so the parent sees the process ended by that signal.
#pragma once

#include <termios.h>

// Installs the handlers. Also ignores SIGPIPE (a closed console must not kill
// a merge half-way) and SIGXFSZ (a file-size limit becomes a write error).
void install_interrupt_cleanup();

// The temporary file that the handler removes. The path is copied into static
// storage; paths that do not fit are kept in a fixed allocation made here.
// Passing nullptr forgets it.
void interrupt_set_temp(const char* host_path);

// The terminal settings to restore on fd. A negative fd forgets them.
void interrupt_set_terminal(int fd, const termios& saved);

// A function run by the handler to write pending console text; it must be
// async-signal-safe.
void interrupt_set_flush(void (*flush)());

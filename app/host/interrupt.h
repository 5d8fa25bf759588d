// Clean-up on interruption.
//
// SIGINT, SIGTERM, SIGHUP and SIGQUIT must not leave anything of a half-done
// run behind: the temporary result is removed, a terminal taken out of
// canonical mode gets its settings back, a progress line is erased from the
// screen and pending console text is written, in that order. Each of these
// is registered by the module that owns it; the handler does only
// async-signal-safe work (unlink, tcsetattr, the erase and flush functions)
// and then re-raises the signal with its default action, so the
// parent sees the process ended by that signal.
//
// The registrations may be changed at any time, also before the handlers are
// installed; each update runs with the handled signals blocked, so the
// handler never sees a half-written path or terminal state.
#pragma once

// Installs the handlers; call it first thing in main, before any thread.
// A handled signal that was ignored when the process started (nohup, a
// background job of a non-interactive shell) stays ignored. While one handler
// runs, the other handled signals wait, so the clean-up runs once.
// Also ignores SIGPIPE (a closed console must not kill a merge half-way: the
// write fails with EPIPE instead) and SIGXFSZ (a file-size limit becomes a
// write error, EFBIG).
void install_interrupt_cleanup();

// The temporary file that the handler removes. The path is copied into static
// storage; paths that do not fit are kept in an allocation made here, which
// is reused by later registrations. Passing nullptr forgets it.
void interrupt_set_temp(const char* host_path);

// The terminal settings to restore are registered by the key wait through
// the host's own header (posix/interrupt_terminal.h).

// Runs start(context) with the handled signals held back on the calling
// thread. A thread started there inherits the hold and keeps it, so the
// handlers never run on it: they run only on the thread that keeps the
// registrations up to date, and never see one half-made.
void interrupt_shielded(void (*start)(void*), void* context);

// The result is about to be put in place: from here to the end of the
// process the handled signals no longer interrupt the run, so a run whose
// result is in place ends as a success. On POSIX they are blocked on the
// calling thread (every other thread of the tool holds them back already:
// interrupt_shielded); one that comes waits and is dropped when the process
// ends. On Windows a Ctrl-C or Ctrl-Break is ignored, and closing the
// console, logging off or shutting down waits for the run to end, as long as
// the system allows; if the handler has already begun its clean-up, this
// call waits for it to end the process. Calling it again while held does
// nothing.
void interrupt_hold_to_end();

// Ends the hold when putting the result in place failed after all: a signal
// that came meanwhile (POSIX) then interrupts the run as ever. Does nothing
// when nothing is held.
void interrupt_hold_undo();

// A function run by the handler to write pending console text; it must be
// async-signal-safe. Passing nullptr forgets it.
void interrupt_set_flush(void (*flush)());

// A function run by the handler, before the flush, to erase a progress line
// from the screen; it must be async-signal-safe. Passing nullptr forgets it.
void interrupt_set_erase(void (*erase)());

// The key wait after a failure that ends the run.
#pragma once

// Waits for one key press on the controlling terminal (not standard input),
// with echo off and canonical mode off, so the key is not shown and no line
// end is needed. Bytes that the same key sends after the first (arrow and
// function keys send several) are discarded so they do not reach the shell.
// The terminal's settings are restored before returning, and also when a
// signal ends the process during the wait (see interrupt.h).
// Without a controlling terminal it returns at once.
void wait_key();

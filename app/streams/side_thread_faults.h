// For the tests: side-thread starts counted, and made to fail as when the
// system has no thread to give (the work then stays on the caller's thread).
#pragma once

// From now on, the n-th start fails (n = 1: the next one), and with
// and_after every start after it too; n = 0 lets every start go ahead.
// Starts the count again.
void side_thread_fail_at(unsigned long n, bool and_after = false);

// The starts asked for since the last side_thread_fail_at, failed ones
// included.
unsigned long side_thread_starts();

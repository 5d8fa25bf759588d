// The end of a run that an allocation failure stops: the one place that
// std::bad_alloc is caught (in main, around the whole run), so that running
// out of memory never ends in std::terminate.
#pragma once

// What the run is doing, for the message: a string literal, such as
// "merging", set where the run moves on to another stage. Cheap to set: no
// allocation, nothing copied.
extern const char* run_stage;

// Ends the run after std::bad_alloc has unwound it: lets go of the inputs'
// names (the memory that grows with the run), removes the temporary result
// (f2.discard(), so every file stays as it was), writes out the console
// text, says "tilvaro: out of memory (<run_stage>)" on standard error, and
// waits for a key on the terminal when choices.key_wait is set, as any run
// that fails does. Returns the exit status, 1.
int out_of_memory();

// Which standard streams are terminals, and how wide standard error's is.
#pragma once

bool stdout_is_terminal();
bool stderr_is_terminal();

// Whether standard output and standard error are the same terminal, so that
// what either writes shows on the same screen row.
bool stdout_and_stderr_share_terminal();

// The width in columns of the terminal standard error is; 80 when the
// terminal does not tell.
int stderr_columns();

// Which kind of temporary the POSIX result file starts with (result_file.h).
#pragma once

// Whether result_file::create first tries an unnamed temporary (Linux's
// O_TMPFILE, linked into the folder only when complete; the default) or
// goes straight to the named one it otherwise falls back to. For the tests
// of the named kind on file systems that have the unnamed one; takes effect
// at the next create.
void result_file_try_unnamed(bool allowed);

// The Windows side of the interruption clean-up (interrupt.h) that the
// result file needs: the temporary's path as the handler will delete it, and
// its open handle.
#pragma once

#include <windows.h>

// The wide path registered by interrupt_set_temp, or nullptr; the result
// file opens the temporary by exactly this path.
const wchar_t* interrupt_temp_path();

// The temporary's open handle (with DELETE access), or nullptr once it is
// about to be closed. While one is registered the handler deletes through
// it, a call that needs no memory (deleting by path converts the path, on
// the process heap, which the stopped main thread may hold locked).
void interrupt_set_temp_handle(HANDLE h);

// The Windows side of the interruption clean-up (interrupt.h) that the
// result file needs: the temporary's path as the handler will delete it.
#pragma once

// The wide path registered by interrupt_set_temp, or nullptr; the result
// file opens the temporary by exactly this path.
const wchar_t* interrupt_temp_path();

// The key wait on Windows: one key press read from the console itself.
#include "key_wait.h"

#include <windows.h>

#include "key_event.h"
#include "terminal.h"

bool key_ends_wait(bool key_down, wchar_t typed, unsigned short virtual_key) {
  if (!key_down) return false;
  if (typed != 0) return true;
  return (virtual_key >= VK_F1 && virtual_key <= VK_F24) ||
         (virtual_key >= VK_PRIOR && virtual_key <= VK_DOWN) ||  // Page Up/Down, End, Home, arrows
         virtual_key == VK_INSERT || virtual_key == VK_DELETE;
}

namespace {

// When standard output is not the console (redirected to a file or a pipe),
// one line on the console itself says why nothing seems to happen.
void hint_on_console() {
  if (stdout_is_terminal()) return;
  const HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  static const char hint[] = "tilvaro: the run failed; press a key to end it\r\n";
  DWORD wrote;
  WriteFile(out, hint, sizeof hint - 1, &wrote, nullptr);
  CloseHandle(out);
}

}  // namespace

// The console of the process (CONIN$), not standard input, which may be a
// file or a pipe. A process without a console does not wait: CONIN$ cannot
// be opened then, or is no console. Keys typed before the wait began are
// dropped, so one pressed before the message was shown cannot dismiss it
// unseen. Input records carry no echo. Ctrl-C stays a Ctrl-C (the console's
// processed input is left on): the interruption clean-up handles it.
void wait_key() {
  const HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return;
  DWORD mode;
  if (GetConsoleMode(in, &mode)) {
    hint_on_console();
    FlushConsoleInputBuffer(in);
    for (;;) {
      INPUT_RECORD record;
      DWORD got = 0;
      if (!ReadConsoleInputW(in, &record, 1, &got) || got == 0) break;
      if (record.EventType != KEY_EVENT) continue;
      const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
      if (key_ends_wait(key.bKeyDown != FALSE, key.uChar.UnicodeChar, key.wVirtualKeyCode)) break;
    }
    FlushConsoleInputBuffer(in);  // the rest of the key does not reach the shell
  }
  CloseHandle(in);
}

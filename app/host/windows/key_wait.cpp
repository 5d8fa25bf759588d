// The key wait on Windows: one key press read from the console itself.
#include "host/key_wait.h"

#include <windows.h>

#include "host/terminal.h"
#include "host/windows/key_event.h"

bool key_ends_wait(bool key_down, wchar_t typed, unsigned short virtual_key) {
  if (!key_down) return false;
  if (typed != 0) return true;
  return (virtual_key >= VK_F1 && virtual_key <= VK_F24) ||
         (virtual_key >= VK_PRIOR && virtual_key <= VK_DOWN) ||  // Page Up/Down, End, Home, arrows
         virtual_key == VK_INSERT || virtual_key == VK_DELETE;
}

namespace {

// One line says that the run waits, so that it does not look hung: on
// standard error when that is the console, else on the console itself.
void hint_on_console() {
  static const char hint[] = "tilvaro: press a key to close\r\n";
  DWORD wrote;
  if (stderr_is_terminal()) {
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), hint, sizeof hint - 1, &wrote, nullptr);
    return;
  }
  const HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
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

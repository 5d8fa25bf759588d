// hold_file PATH MS: opens PATH without sharing it (as a virus scanner or an
// indexer might), says "held" on standard output, keeps it for MS
// milliseconds, then lets go. Exit status 2 when PATH cannot be opened.
#include <windows.h>

#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HANDLE h = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 2;
  DWORD wrote;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &wrote, nullptr);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  CloseHandle(h);
  return 0;
}

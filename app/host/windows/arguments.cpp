// The command line on Windows: the wide one, split as the C runtime splits
// it, each argument made UTF-8.
#include "host/arguments.h"

#include "host/windows/win_path.h"  // windows.h, which shellapi.h needs first

#include <shellapi.h>

std::vector<std::string> command_arguments(int argc, char* argv[]) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(utf8_from_wide(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return args;
}

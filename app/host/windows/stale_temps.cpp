// Stale temporaries on Windows: FindFirstFileExW for the names, OpenProcess
// for their processes.
#include "host/windows/stale_temps.h"

#include <windows.h>

#include <vector>

#include "host/temp_name.h"
#include "host/windows/win_path.h"

namespace {

// Whether pid names no running process. Only "no such process" and a
// process that has exited count; any other refusal means it is there.
bool process_gone(unsigned long long pid) {
  if (pid == 0 || pid > MAXDWORD || pid == GetCurrentProcessId()) return false;
  const HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (h == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool exited = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return exited;
}

// The names in the folder that begin as the result's temporaries do (the
// system's match also looks at short names, so each is checked again).
std::vector<std::string> candidates(const std::string& host_folder, const std::string& result_name) {
  std::vector<std::string> names;
  const std::wstring pattern = api_path(host_folder + temp_name_stem(result_name) + "*");
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
      continue;
    names.push_back(utf8_from_wide(found.cFileName, wcslen(found.cFileName)));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

}  // namespace

void remove_stale_temps(const std::string& host_folder, const std::string& result_name) {
  for (const std::string& name : candidates(host_folder, result_name)) {
    unsigned long long pid = 0;
    if (temp_name_owner(name, result_name, pid) && process_gone(pid)) DeleteFileW(api_path(host_folder + name).c_str());
  }
}

// The files of a folder on Windows: FindFirstFileExW, which gives each
// file's size and attributes with its name.
#include "host/folder_list.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

#include "host/windows/win_path.h"

bool list_regular_files(const std::string& host_folder, std::vector<folder_file>& files, std::string& reason) {
  std::wstring pattern = api_path(host_folder.empty() ? "." : host_folder);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;  // an empty folder
    reason = std::strerror(errno_from_win32(error));
    return false;
  }
  do {
    // Folders are left out, and so are devices; a link to a folder is a
    // folder here too.
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) continue;
    const long long size = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                               ? -1  // a link: the size is its target's
                               : static_cast<long long>((static_cast<unsigned long long>(found.nFileSizeHigh) << 32) |
                                                        found.nFileSizeLow);
    files.push_back(folder_file{utf8_from_wide(found.cFileName, wcslen(found.cFileName)), size});
  } while (FindNextFileW(h, &found));
  const DWORD error = GetLastError();
  FindClose(h);
  if (error != ERROR_NO_MORE_FILES) {
    reason = std::strerror(errno_from_win32(error));
    return false;
  }
  return true;
}

name_rules host_name_rules() { return name_rules{true, false}; }

// Upper case by the system's own table, as NTFS compares names.
std::string pattern_key(const std::string& name) {
  const std::wstring wide = wide_from_utf8(name);
  if (wide.empty()) return name;
  std::wstring upper(wide.size() * 2, L'\0');
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()),
                              &upper[0], static_cast<int>(upper.size()), nullptr, nullptr, 0);
  if (n <= 0) return name;
  return utf8_from_wide(upper.data(), static_cast<std::size_t>(n));
}

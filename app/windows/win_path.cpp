#include "win_path.h"

#include <cerrno>
#include <vector>

std::wstring wide_from_utf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  UINT page = CP_UTF8;
  int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) {
    page = CP_ACP;
    n = MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
    if (n <= 0) return std::wstring();
  }
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(page, page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, text.data(), size, &out[0], n);
  return out;
}

std::string utf8_from_wide(const wchar_t* text, std::size_t length) {
  if (length == 0) return std::string();
  const int size = static_cast<int>(length);
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring api_path(const std::string& host_path) {
  const std::wstring path = wide_from_utf8(host_path);
  if (path.empty() || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  // GetFullPathNameW itself takes paths of any length.
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::vector<wchar_t> full(n);
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return path;
  const std::wstring abs(full.data(), n);
  if (abs.size() >= 3 && abs[1] == L':' && abs[2] == L'\\') return L"\\\\?\\" + abs;
  if (abs.compare(0, 2, L"\\\\") == 0 && abs.compare(0, 4, L"\\\\.\\") != 0) return L"\\\\?\\UNC\\" + abs.substr(2);
  return abs;  // a device path (\\.\...) stays as it is
}

int errno_from_win32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CANNOT_MAKE:
    case ERROR_CURRENT_DIRECTORY:
      return EACCES;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

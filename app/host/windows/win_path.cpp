// Paths handed to the Windows API: UTF-8 to wide, normalised, with the \\?\ prefix.
#include "host/windows/win_path.h"

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

namespace {

bool separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The current folder as an absolute path.
std::wstring current_folder() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return std::wstring();
  std::vector<wchar_t> buf(n);
  n = GetCurrentDirectoryW(n, buf.data());
  return n == 0 || n >= buf.size() ? std::wstring() : std::wstring(buf.data(), n);
}

// root (ending in a separator) followed by the parts of rest, one '\\'
// between them: empty and "." parts are dropped, ".." drops the part before
// it but never the root.
std::wstring joined(const std::wstring& root, const std::wstring& rest) {
  std::vector<std::wstring> parts;
  for (std::size_t i = 0; i <= rest.size();) {
    std::size_t j = i;
    while (j < rest.size() && !separator(rest[j])) ++j;
    const std::wstring part = rest.substr(i, j - i);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::wstring out = root;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) out += L'\\';
    out += parts[k];
  }
  return out;
}

}  // namespace

std::wstring api_path(const std::string& host_path) {
  const std::wstring path = wide_from_utf8(host_path);
  if (path.empty() || path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0) return path;
  // The normalisation is done here, not by GetFullPathNameW, which would
  // take "con.zqd" or "nul.zqd" in any folder for a device.
  std::wstring root = L"\\\\?\\";
  std::wstring rest;
  if (path.size() >= 2 && separator(path[0]) && separator(path[1])) {
    // \\server\share\rest: the share is the root.
    std::size_t server_end = 2;
    while (server_end < path.size() && !separator(path[server_end])) ++server_end;
    std::size_t share_end = server_end + 1;
    while (share_end < path.size() && !separator(path[share_end])) ++share_end;
    if (share_end > path.size()) return path;
    root += L"UNC\\" + path.substr(2, server_end - 2) + L"\\" + path.substr(server_end + 1, share_end - server_end - 1) + L"\\";
    rest = share_end < path.size() ? path.substr(share_end + 1) : std::wstring();
  } else if (path.size() >= 3 && path[1] == L':' && separator(path[2])) {
    root += path.substr(0, 2) + L"\\";
    rest = path.substr(3);
  } else {
    // Relative to the current folder (or to its drive's root).
    const std::wstring here = current_folder();
    if (here.size() < 3 || here[1] != L':' || (path.size() >= 2 && path[1] == L':'))
      return path;  // a drive-relative "D:name", or no drive-letter folder: left to the system
    root += here.substr(0, 2) + L"\\";
    rest = separator(path[0]) ? path : here.substr(3) + L"\\" + path;
  }
  return joined(root, rest);
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

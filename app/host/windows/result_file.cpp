// The result written safely on Windows: a temporary file in the result's
// folder, named with this process's id (stale ones of ended processes are
// removed first), flushed to disk, then moved onto the result's name in one
// step.
#include "host/result_file.h"

#include <cerrno>
#include <cstring>

#include "host/interrupt.h"
#include "host/temp_name.h"
#include "host/windows/handles.h"
#include "host/windows/interrupt_hold.h"
#include "host/windows/stale_temps.h"
#include "host/windows/win_path.h"

namespace {

constexpr int kTempTries = 100;
// Virus scanners and indexers open new files for a moment: a replace refused
// for that why is tried again, for about this long in all.
constexpr ULONGLONG kReplaceRetryMs = 2000;

bool fail(int err, failure& why) {
  why = failure::of_errno(err, step::none);
  return false;
}

bool fail_win32(DWORD error, failure& why) { return fail(errno_from_win32(error), why); }

std::size_t last_separator(const std::string& p) { return p.find_last_of("\\/"); }

bool refused_for_now(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

// MoveFileExW onto the result's name, which it replaces in one step; never
// a delete followed by a rename, which would lose the old file when the
// rename failed. Returns 0 or the error of the last try.
DWORD replace_with_retries(const std::wstring& from, const std::wstring& to) {
  const ULONGLONG start = GetTickCount64();
  DWORD pause = 5;
  for (;;) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    const DWORD error = GetLastError();
    if (!refused_for_now(error) || GetTickCount64() - start >= kReplaceRetryMs) return error;
    Sleep(pause);
    if (pause < 200) pause *= 2;
  }
}

}  // namespace

result_file::~result_file() { discard(); }

bool result_file::make(const std::string& host_path, failure& why) {
  discard();
  warning_ = failure{};
  const std::size_t sep = last_separator(host_path);
  const std::string name = sep == std::string::npos ? host_path : host_path.substr(sep + 1);
  if (host_path.empty()) return fail(ENOENT, why);
  if (name.empty()) return fail(EISDIR, why);

  // The file to be replaced: a folder is refused, and so is a read-only file,
  // which Windows does not let a replace remove.
  const std::wstring target = api_path(host_path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(EISDIR, why);
    if (attributes & FILE_ATTRIBUTE_READONLY) return fail(EACCES, why);
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return fail_win32(GetLastError(), why);
  }

  const std::string folder = sep == std::string::npos ? std::string() : host_path.substr(0, sep + 1);
  remove_stale_temps(folder, name);
  const std::string stem = folder + temp_name_prefix(name, GetCurrentProcessId());
  for (unsigned attempt = 0; attempt < kTempTries; ++attempt) {
    const std::string temp = stem + temp_name_suffix(GetCurrentProcessId());
    // Registered before it exists: an interruption at any point after this
    // finds its path. Deletable while open, so the handler can remove it.
    interrupt_set_temp(temp.c_str());
    const wchar_t* path = interrupt_temp_path();
    if (path == nullptr) return fail(ENAMETOOLONG, why);
    const HANDLE h = CreateFileW(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      interrupt_set_temp(nullptr);
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return fail_win32(error, why);
    }
    interrupt_set_temp_handle(h);
    fd_ = fd_for_handle(h);
    temp_ = temp;
    target_ = host_path;
    if (fd_ < 0) {
      interrupt_set_temp_handle(nullptr);
      CloseHandle(h);
      discard();
      return fail(EMFILE, why);
    }
    return true;
  }
  return fail(EEXIST, why);
}

// MoveFileExW with MOVEFILE_WRITE_THROUGH returns once the move is on disk,
// so there is no folder to sync afterwards and no warning.
bool result_file::put_in_place(failure& why) {
  warning_ = failure{};
  if (fd_ < 0) return fail(EBADF, why);
  if (!FlushFileBuffers(handle_of_fd(fd_))) {
    const DWORD error = GetLastError();
    discard();
    return fail_win32(error, why);
  }
  interrupt_set_temp_handle(nullptr);
  const bool closed = close_fd(fd_);
  fd_ = -1;
  if (!closed) {
    const DWORD error = GetLastError();
    discard();
    return fail_win32(error, why);
  }
  interrupt_hold_to_end();
  const DWORD error = replace_with_retries(api_path(temp_), api_path(target_));
  if (error != 0) {
    discard();
    interrupt_hold_undo();
    return fail_win32(error, why);
  }
  interrupt_set_temp(nullptr);
  temp_.clear();
  target_.clear();
  return true;
}

void result_file::discard() {
  if (fd_ >= 0) {
    interrupt_set_temp_handle(nullptr);
    close_fd(fd_);
  }
  fd_ = -1;
  if (!temp_.empty()) {
    DeleteFileW(api_path(temp_).c_str());
    interrupt_set_temp(nullptr);
  }
  temp_.clear();
  target_.clear();
}

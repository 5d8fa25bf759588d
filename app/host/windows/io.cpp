// Plain file input and output on Windows, on system handles: every byte
// goes through as it is (no text mode), so the tool's own rules alone decide
// about CR, LF and 0x1A.
#include "host/io.h"
#include "host/io_calls.h"

#include <fcntl.h>
#include <io.h>  // the C runtime's: the descriptors 0 to 2 (-iquote keeps host/io.h out of <>)

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "host/terminal.h"
#include "host/windows/handles.h"
#include "host/windows/win_path.h"

namespace {

// The descriptors 3 to 2047, as many as io_open_limit gives: the merge
// holds every input that is not a regular file open between its passes, and
// --check opens an input on each of its threads at once.
constexpr int kMaxFiles = 2045;
std::atomic<HANDLE> g_files[kMaxFiles];  // descriptor 3 + i; nullptr when free

HANDLE handle_of(int fd) { return handle_of_fd(fd); }

// Standard input on a console: the typed text is read as UTF-16 and handed
// on as UTF-8, so a name with é or ü arrives as the same bytes as on POSIX
// whatever the console's code page. Bytes converted but not yet taken wait
// in carry; a high surrogate waits for its pair.
int read_console(HANDLE h, char* buf, std::size_t n, std::size_t& taken) {
  taken = 0;
  static std::string carry;
  static wchar_t high = 0;
  while (carry.empty()) {
    wchar_t wide[512];
    std::size_t have = 0;
    if (high != 0) wide[have++] = high;
    high = 0;
    DWORD got = 0;
    if (!ReadConsoleW(h, wide + have, static_cast<DWORD>(511 - have), &got, nullptr))
      return errno_from_win32(GetLastError());
    if (got == 0) return 0;
    have += got;
    if (wide[have - 1] >= 0xD800 && wide[have - 1] <= 0xDBFF) high = wide[--have];
    carry = utf8_from_wide(wide, have);
  }
  const std::size_t take = carry.size() < n ? carry.size() : n;
  carry.copy(buf, take);
  carry.erase(0, take);
  taken = take;
  return 0;
}

}  // namespace

int fd_for_handle(HANDLE h) {
  for (int i = 0; i < kMaxFiles; ++i) {
    HANDLE free_slot = nullptr;
    if (g_files[i].load(std::memory_order_relaxed) == nullptr && g_files[i].compare_exchange_strong(free_slot, h))
      return 3 + i;
  }
  return -1;
}

HANDLE handle_of_fd(int fd) {
  switch (fd) {
    case io_stdin:
      return GetStdHandle(STD_INPUT_HANDLE);
    case io_stdout:
      return GetStdHandle(STD_OUTPUT_HANDLE);
    case io_stderr:
      return GetStdHandle(STD_ERROR_HANDLE);
  }
  const HANDLE h = fd < 3 || fd >= 3 + kMaxFiles ? nullptr : g_files[fd - 3].load();
  return h == nullptr ? INVALID_HANDLE_VALUE : h;
}

void forget_fd(int fd) {
  if (fd >= 3 && fd < 3 + kMaxFiles) g_files[fd - 3].store(nullptr);
}

bool close_fd(int fd) {
  const HANDLE h = fd < 3 || fd >= 3 + kMaxFiles ? nullptr : g_files[fd - 3].exchange(nullptr);
  if (h == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return CloseHandle(h) != 0;
}

// Windows gives a file the tool opens a number from its own table (3 and
// up, handles.h), never 0 to 2, so a closed standard stream cannot send a
// diagnostic into the result as on POSIX. A stream is still filled in the
// same way, so it behaves as there: the C runtime marks a standard stream
// the process was started without (a closed handle, a program without a
// console) with the handle -2 (older runtimes -1); _dup2 onto 0 to 2 then
// also sets the standard handle (SetStdHandle) in a console program, so the
// C runtime's stdout (the usage text) and GetStdHandle (the console, the
// diagnostics) both reach NUL, which takes every byte and reads as empty.
bool io_fill_standard_streams() {
  bool all = true;
  for (int fd = io_stdin; fd <= io_stderr; ++fd) {
    const std::intptr_t handle = _get_osfhandle(fd);
    if (handle != -1 && handle != -2) continue;
    const int nul = _open("NUL", _O_RDWR | _O_BINARY);
    if (nul < 0) {
      all = false;
      continue;
    }
    if (nul != fd) {
      if (_dup2(nul, fd) != 0) all = false;
      _close(nul);
    }
  }
  return all;
}

int open_read_errno(const std::string& host_path, int& fd) {
  fd = -1;
  const std::wstring path = api_path(host_path);
  // Shared for reading, writing and deletion: the tool must not stand in the
  // way of other programs, only read.
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
      return EISDIR;
    return errno_from_win32(error);
  }
  fd = fd_for_handle(h);
  if (fd < 0) {
    CloseHandle(h);
    return EMFILE;
  }
  return 0;
}

namespace {

io_file_id identity_of_handle(HANDLE h) {
  io_file_id id;
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || h == nullptr || !GetFileInformationByHandle(h, &info)) return id;
  id.known = true;
  id.device = info.dwVolumeSerialNumber;
  id.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id.size = static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  return id;
}

}  // namespace

// The table of descriptors above holds 2048 with the three standard ones.
long long io_open_limit(long long) { return 3 + kMaxFiles; }

io_file_id io_identity(int fd) { return identity_of_handle(handle_of(fd)); }

io_file_id io_identity_of(const std::string& host_path) {
  // No access asked for, only the file's information; a folder opens too.
  const HANDLE h = CreateFileW(api_path(host_path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const io_file_id id = identity_of_handle(h);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return id;
}

void io_close(int fd) { close_fd(fd); }

int read_errno(int fd, char* buf, std::size_t n, std::size_t& got) {
  got = 0;
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return EBADF;
  if (fd == io_stdin && stdin_is_terminal()) return read_console(h, buf, n, got);
  DWORD read = 0;
  const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  if (!ReadFile(h, buf, want, &read, nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;  // the writer has gone: the end
    return errno_from_win32(error);
  }
  got = read;
  return 0;
}

int write_all_errno(int fd, const char* p, std::size_t n) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return EBADF;
  while (n > 0) {
    const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    DWORD wrote = 0;
    if (!WriteFile(h, p, want, &wrote, nullptr)) return errno_from_win32(GetLastError());
    if (wrote == 0) return EIO;
    p += wrote;
    n -= wrote;
  }
  return 0;
}

int offset_errno(int fd, long long& offset) {
  offset = -1;
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return EBADF;
  if (GetFileType(h) != FILE_TYPE_DISK) return ESPIPE;
  LARGE_INTEGER zero{}, at{};
  if (!SetFilePointerEx(h, zero, &at, FILE_CURRENT)) return errno_from_win32(GetLastError());
  offset = at.QuadPart;
  return 0;
}

int seek_errno(int fd, long long offset) {
  const HANDLE h = handle_of(fd);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return EBADF;
  if (GetFileType(h) != FILE_TYPE_DISK) return ESPIPE;
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  return SetFilePointerEx(h, to, nullptr, FILE_BEGIN) ? 0 : errno_from_win32(GetLastError());
}

// Windows has no call that starts writeback without waiting for it; the
// final FlushFileBuffers does all of it.
void io_start_writeback(int, long long, long long) {}

int sync_data_errno(int fd) {
  return FlushFileBuffers(handle_of(fd)) ? 0 : errno_from_win32(GetLastError());
}

// Clean-up on interruption, Windows: Ctrl-C, Ctrl-Break, closing the console
// window, logging off and shutting down.
//
// The system runs the console control handler on a thread of its own, while
// the main thread goes on. So the handler first suspends the main thread:
// from then on it sees the registrations exactly as a POSIX signal handler
// sees them, frozen between two instructions of the main thread. That is why
// they are kept as the POSIX ones are: each update is written completely
// into storage the handler is not looking at, then published with one atomic
// store. The handler allocates nothing and touches no lock the main thread
// could hold: it deletes the temporary through its open handle (by its path
// only in the moment between closing and renaming it), erases the progress
// line, writes the pending console text, and ends the process with TerminateProcess (the exit code of
// an interrupted console program, STATUS_CONTROL_C_EXIT), so no library
// clean-up runs behind it.
#include "interrupt.h"

#include <atomic>
#include <cstring>
#include <string>

#include "interrupt_hold.h"
#include "win_path.h"

namespace {

// The longest path the wide file API takes, with its terminating NUL.
constexpr std::size_t kPathMax = 32768;

wchar_t g_temp_storage[2][kPathMax];
std::atomic<const wchar_t*> g_temp{nullptr};
std::atomic<HANDLE> g_temp_handle{nullptr};
std::atomic<void (*)()> g_flush{nullptr};
std::atomic<void (*)()> g_erase{nullptr};
HANDLE g_main = nullptr;
std::atomic_flag g_ending = ATOMIC_FLAG_INIT;

constexpr DWORD kInterruptedExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT

BOOL WINAPI on_control(DWORD) {
  // The first event does the clean-up; any later one waits for the end.
  if (g_ending.test_and_set()) {
    Sleep(INFINITE);
  }
  if (g_main != nullptr && SuspendThread(g_main) != static_cast<DWORD>(-1)) {
    CONTEXT context;
    context.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(g_main, &context);  // returns once the thread is really stopped
  }
  FILE_DISPOSITION_INFO remove{TRUE};
  const HANDLE open_temp = g_temp_handle.load();
  if (open_temp == nullptr || !SetFileInformationByHandle(open_temp, FileDispositionInfo, &remove, sizeof remove)) {
    if (const wchar_t* temp = g_temp.load()) DeleteFileW(temp);
  }
  if (void (*erase)() = g_erase.load()) erase();
  if (void (*flush)() = g_flush.load()) flush();
  TerminateProcess(GetCurrentProcess(), kInterruptedExit);
  return TRUE;
}

}  // namespace

void install_interrupt_cleanup() {
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_main,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  // A process started with Ctrl-C ignored (CREATE_NEW_PROCESS_GROUP) keeps
  // ignoring it: the system does not call handlers for it then.
  SetConsoleCtrlHandler(on_control, TRUE);
}

void interrupt_set_temp(const char* host_path) {
  if (host_path == nullptr) {
    g_temp.store(nullptr);
    return;
  }
  const std::wstring path = api_path(host_path);
  // The buffer that is not published; a path too long for the API cannot be
  // created either, so nothing is registered for it.
  wchar_t* buf = g_temp.load() == g_temp_storage[0] ? g_temp_storage[1] : g_temp_storage[0];
  if (path.size() >= kPathMax) {
    g_temp.store(nullptr);
    return;
  }
  std::memcpy(buf, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
  g_temp.store(buf);
}

void interrupt_set_flush(void (*flush)()) { g_flush.store(flush); }

void interrupt_set_erase(void (*erase)()) { g_erase.store(erase); }

// The handler runs on a thread of the system's and stops only the main
// thread; other threads of the tool hold nothing it needs.
void interrupt_shielded(void (*start)(void*), void* context) { start(context); }

const wchar_t* interrupt_temp_path() { return g_temp.load(); }

void interrupt_set_temp_handle(HANDLE h) { g_temp_handle.store(h); }

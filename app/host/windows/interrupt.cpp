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
// line, writes the pending console text, and ends the process with
// TerminateProcess (the exit code of an interrupted console program,
// STATUS_CONTROL_C_EXIT), so no library clean-up runs behind it. Once the
// run holds its end (interrupt_hold_to_end) the handler does none of this.
#include "host/interrupt.h"

#include <atomic>
#include <cstring>
#include <string>

#include "host/windows/interrupt_hold.h"
#include "host/windows/win_path.h"

namespace {

// The longest path the wide file API takes, with its terminating NUL.
constexpr std::size_t kPathMax = 32768;

wchar_t g_temp_storage[2][kPathMax];
std::atomic<const wchar_t*> g_temp{nullptr};
std::atomic<HANDLE> g_temp_handle{nullptr};
std::atomic<void (*)()> g_flush{nullptr};
std::atomic<void (*)()> g_erase{nullptr};
HANDLE g_main = nullptr;

// Who has the end of the run: nobody yet, the handler (cleaning up, then
// ending the process), or the run itself (its result is being put in place:
// interrupt_hold_to_end). The first to claim it keeps it.
enum : int { kRunning, kCleaning, kHeld };
std::atomic<int> g_state{kRunning};

constexpr DWORD kInterruptedExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT

// The event while the run keeps its end: a Ctrl-C or Ctrl-Break is taken
// as handled, so the run goes on; for the others (the console closed, log
// off, shutdown) the system ends the process once the handler returns, so
// the handler waits, and the run's own end comes first unless the system's
// time for it runs out.
BOOL held_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(INFINITE);
  return TRUE;
}

BOOL WINAPI on_control(DWORD event) {
  // The first event does the clean-up; any later one waits for the end.
  int expected = kRunning;
  if (!g_state.compare_exchange_strong(expected, kCleaning)) {
    if (expected == kHeld) return held_event(event);
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

void interrupt_hold_to_end() {
  int expected = kRunning;
  // The handler has the end already: it stops this thread and ends the process.
  if (!g_state.compare_exchange_strong(expected, kHeld) && expected == kCleaning) Sleep(INFINITE);
}

void interrupt_hold_undo() {
  int expected = kHeld;
  g_state.compare_exchange_strong(expected, kRunning);
}

void interrupt_set_flush(void (*flush)()) { g_flush.store(flush); }

void interrupt_set_erase(void (*erase)()) { g_erase.store(erase); }

// The handler runs on a thread of the system's and stops only the main
// thread; other threads of the tool hold nothing it needs.
void interrupt_shielded(void (*start)(void*), void* context) { start(context); }

const wchar_t* interrupt_temp_path() { return g_temp.load(); }

void interrupt_set_temp_handle(HANDLE h) { g_temp_handle.store(h); }

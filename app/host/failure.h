// What went wrong, as every layer below entry/ gives it back: the system's
// error number of the call that failed, or the tool's own reason where no
// call failed, and what was being done. Nothing below entry/ says it; the
// edge of the run (entry/ending.h) turns it into the diagnostic, the
// console's line and the exit status, as err() does at the edge of a small
// Unix tool.
#pragma once

#include <string>

// What was being done when something failed. The console's line names it
// ("File x cannot be read (...)").
enum class step {
  none,
  opening,    // an input (or a list) opened for reading
  reopening,  // an input opened again for the copy pass
  reading,
  creating,   // the result's temporary made in its folder
  writing,    // the result written, synced or put in place
};

struct failure {
  int error = 0;                  // errno value of the call that failed; 0: none did
  const char* refusal = nullptr;  // else the tool's own reason, a fixed text
  step doing = step::none;

  // A failure when error is not 0, nothing otherwise.
  static failure of_errno(int error, step doing) { return failure{error, nullptr, error != 0 ? doing : step::none}; }
  static failure refused(const char* why, step doing) { return failure{0, why, doing}; }

  explicit operator bool() const { return error != 0 || refusal != nullptr; }
  // The same failure, said to have happened while doing something else
  // (a name refused while the result was being created).
  failure while_doing(step s) const { return failure{error, refusal, s}; }
  // The reason as a message gives it: the refusal, or the system's text for
  // error (strerror).
  std::string reason() const;
};

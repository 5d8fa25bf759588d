// The result written safely: into a temporary file beside it, renamed onto
// its name only when everything has been written and synced.
#pragma once

#include <string>

class result_file {
 public:
  result_file() = default;
  result_file(const result_file&) = delete;
  result_file& operator=(const result_file&) = delete;
  ~result_file();  // discards an uncommitted temporary

  // Creates a temporary file in the folder of host_path (the result's own
  // folder, so the rename stays on one file system). Its permissions become
  // those of the file it will replace, or those an ordinary new file gets
  // under the current umask. When host_path is a symbolic link to an
  // existing file, the file it points to is the one replaced. On failure
  // returns false and sets reason to the system's text (strerror). The
  // temporary's path is registered for removal on interruption.
  bool create(const std::string& host_path, std::string& reason);

  // The descriptor to write the result into; -1 when nothing is open.
  int fd() const { return fd_; }

  // fsync, close, rename onto the result's name, fsync the folder.
  // On failure the temporary is removed, the old file (if any) is untouched,
  // and reason says why.
  bool commit(std::string& reason);

  // Closes and removes the temporary; a no-op when nothing is pending.
  void discard();

 private:
  int fd_ = -1;
  std::string temp_;    // host path of the temporary
  std::string target_;  // host path the temporary is renamed onto
};

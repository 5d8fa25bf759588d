// The files of a folder on POSIX: readdir, and fstatat for each name.
#include "host/folder_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

bool list_regular_files(const std::string& host_folder, std::vector<folder_file>& files, std::string& reason) {
  DIR* dir = ::opendir(host_folder.empty() ? "." : host_folder.c_str());
  if (dir == nullptr) {
    reason = std::strerror(errno);
    return false;
  }
  const int at = ::dirfd(dir);
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) break;
    struct stat st;
    // Links are followed: one that leads nowhere, or to a folder, is left out.
    if (::fstatat(at, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
      files.push_back(folder_file{e->d_name, static_cast<long long>(st.st_size)});
  }
  const int err = errno;
  ::closedir(dir);
  if (err != 0) {
    reason = std::strerror(err);
    return false;
  }
  return true;
}

name_rules host_name_rules() { return name_rules{false, true}; }

std::string pattern_key(const std::string& name) { return name; }

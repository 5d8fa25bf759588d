// Conventional diagnostics on standard error.
#include "diagnostic.h"

#include "io.h"

void complain(const std::string& path, const std::string& reason) {
  const std::string line = "tilvaro: " + path + ": " + reason + "\n";
  (void)io_write_all(io_stderr, line.data(), line.size());
}

// The state that the dialogue (opening) hands to the merge (treatment). It
// lives for the whole process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "point_file.h"
#include "result_file.h"

// One input, by its path in drive form ("C:\images\survey\a.zqd").
struct image {
  std::string name;
};

// The result: its path in drive form, the temporary it is written into, and
// the buffered writer over that temporary.
struct result_stream {
  std::string name;
  result_file file;
  point_writer out;
};

// The number of inputs as typed (0 when no number was typed; 0 or less
// names no input).
extern std::int32_t num_arch;
// The inputs' paths in drive form, in the order named: slots 1 to num_arch;
// slot 0 is not used.
extern std::vector<image> im_number;
// The result, its temporary created and open for writing.
extern result_stream f2;

// The message of a failed file operation: "File <path> <what> (<reason>)".
std::string file_failure(const std::string& path, const char* what, const std::string& reason);

// Ends a run that cannot produce a complete result: prints message, removes
// the temporary result, writes out the console text, then waits for a key on
// the terminal (key_wait.h). Returns the exit status, 1.
int abandon(const std::string& message);

// A failed file operation on the file with that drive-form path ends the
// run: "tilvaro: <host path>: <reason>" on standard error, then abandon
// with the file_failure message.
int file_failed(const std::string& path, const char* what, const std::string& reason);

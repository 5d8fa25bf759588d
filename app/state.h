// Program-wide state: filled by the dialogue (opening), used by the merge
// (treatment). It lives for the whole process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "point_file.h"
#include "result_file.h"
#include "text_reader.h"

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

extern std::string nomgen;             // folder prefix: base directory, folder, backslash
extern std::int32_t num_arch;          // number of inputs as typed
extern std::vector<image> im_number;   // inputs in slots 1 to num_arch; slot 0 unused
extern text_reader f1;                 // the input being read
extern result_stream f2;               // the result

// Header values of the input being read: x, y and z extent.
extern double min_x, min_y, min_alt, max_x, max_y, max_alt;

// The message of a failed file operation: "File <path> <what> (<reason>)".
std::string file_failure(const std::string& path, const char* what, const std::string& reason);

// Ends a run that cannot produce a complete result: prints message, removes
// the temporary result, writes out the console text, then waits for a key on
// the terminal (key_wait.h). Returns the exit status, 1.
int abandon(const std::string& message);

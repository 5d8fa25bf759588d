// What the bounds pass keeps of each input for the copy pass.
//
// A regular file is opened twice, once by each pass: the bounds pass notes
// which file it was and how its header read, and the copy pass checks both
// when it opens the file again, so that a file replaced, emptied or
// rewritten in between cannot put one file's extent above another file's
// records. Any other input (a pipe, a FIFO, a character device, standard
// input) can be read only once: the bounds pass leaves it open where its
// header ended, and the copy pass goes on from there.
#pragma once

#include <cstdint>

#include "host/io.h"
#include "records/point_code.h"
#include "streams/text_reader.h"

// The six header values and how many fields each header record stored.
struct header_read {
  int fields[3] = {0, 0, 0};
  double values[6] = {0, 0, 0, 0, 0, 0};  // min x, min y, max x, max y, min z, max z
  std::uint64_t print = 0;                // what the header read as: header_print
};

// Reads the three header records. print digests every field stored (the
// codes' digits, the values bit for bit) and where the header ended, so two
// reads give the same print exactly when they read the same header.
header_read read_header(text_reader& in);

struct input_memo {
  bool once = false;           // not a regular file: read once, left open between the passes
  text_reader::held rest;      // such an input where its header ended
  int header_fields = 0;       // the fields of its first header record
  io_file_id id;               // a regular file as the bounds pass opened it
  std::uint64_t header = 0;    // and the print of its header
};

// Whether an input whose memo is m, opened again as now, is still the file
// whose header the bounds pass read (now's header read as print): the same
// file, no shorter than it was, its header the same. A file that only grew
// behind its header is the same.
bool same_input(const input_memo& m, const io_file_id& now, std::uint64_t print);

// Makes room for the inputs (slots 1 to num_arch of im_number) that can be
// read only once, held open together between the passes, beside the run's
// own files: the limit of open files is raised towards the system's ceiling
// when needed. False when they do not fit under it; held and limit then say
// how many there are and what the ceiling is. Each input is looked at only
// when the inputs together might not fit.
bool room_for_held_inputs(long long& held, long long& limit);

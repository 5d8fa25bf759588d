// The look at one input for --check: what the merge would read of it, and
// what keeps it from being merged whole, as the fields of its report line.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "merge/state.h"
#include "merge/input_memo.h"
#include "records/input_scan.h"
#include "streams/text_reader.h"

class progress_line;

// Where the bytes read are counted for the progress line: straight into the
// line when the look runs on the thread that draws it, else into a counter
// that thread takes them from.
struct read_count {
  progress_line* line = nullptr;
  std::atomic<std::uint64_t>* bytes = nullptr;
};

struct look {
  header_read header{};   // for the extent
  std::string fields;     // from the size on, each after a TAB; empty when not opened
  std::string problems;   // each after "; "
  bool whole = false;     // no problem but a byte-order mark
  std::uint64_t records = 0;
};

// Reads one input through in (its header, then its records, then again up
// to where its copy would stop) into l; writes nothing. Safe to run on
// several threads at once, each with a reader of its own. With a splitter,
// large stretches of the records are read in parts on its helpers.
void look_at(const image& input, text_reader& in, scan_splitter* splitter, read_count counted, look& l);

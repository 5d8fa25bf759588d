// Copying point-file records: the merge's copy loop. Each record is read
// and written exactly as read_record followed by write_record would, but a
// field is copied as text wherever its text is its written form.
#pragma once

#include <cstddef>

#include "records/record_writer.h"
#include "streams/text_reader.h"

// Reads one record from in and, when it is complete, writes it to out:
// exactly what read_record followed by write_record would do, with the same
// result and the same bytes written (copy_records takes the same paths over
// many records). A plain
// field (a code of at most 15 digits, a value of at most 7 integer digits
// and at most 6 decimals; no '+', no exponent, no leading zero, no negative
// zero) is copied as text, a value padded to six decimals, since formatting
// the value read from such a text gives that text back; the other fields of
// the record are formatted from what they are read as. A record already in
// the written form (such fields with six decimals, TAB, TAB, CR LF) is
// copied whole.
int copy_record(text_reader& in, point_writer& out);

// The room the copy of one record needs in its output: a code of 16 bytes,
// each value's text and scratch, the separators.
constexpr std::size_t copy_room = 150;

// What a run of the copy loop copied, and where it stopped.
struct record_run {
  const char* first;  // where the first record starts (white space skipped)
  const char* next;   // where the record after those copied starts
  const char* last;   // the end of the last record copied, nullptr if none
  char* out;          // the end of their text
  std::size_t count;
  std::size_t formatted;  // fields written from what they read as, not copied as text
  bool blocked;           // the record at next is not one these paths take
};

// Copies records from in to out exactly as repeated copy_record calls would,
// as long as each lies within the buffered text and its fields are ones
// that copy_record copies as text or from their digits. Stops before the
// first record that is not (blocked), without consuming any of it
// (copy_record then reads it, refilling the buffer as needed), and before
// the first record that starts at stop or later (a place in the buffered
// text). The merge's copy loop runs here, without a call per record.
record_run copy_records(text_reader& in, point_writer& out, const char* stop = nullptr);

// The same on bare bytes, for another thread that copies a later part of a
// buffered text: [p, limit) is text as the reader's raw view holds it
// (limit[0] a NUL sentinel, padding after it). Copies to out while a
// record's copy_room fits at or before out_last.
record_run copy_run(const char* p, const char* limit, const char* stop, char* out, char* out_last);

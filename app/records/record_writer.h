// Writing point-file records: write_record and its text.
#pragma once

#include <cstddef>

#include "records/point_code.h"
#include "streams/point_writer.h"

// Writes code TAB first TAB second CR LF, the values in the six-decimal
// form of format_value (value_text.h).
void write_record(point_writer& out, const point_code& code, double first, double second);

// write_record's text, for the copy engine: the room a record with this
// code needs, and the text itself at p (returns its end). Precondition: p
// has room for record_room(code) bytes.
std::size_t record_room(const point_code& code);
char* put_record(char* p, const point_code& code, double first, double second);

// Reading point-file records: read_record.
//
// A record is a code (an integer of any length) and two values (doubles).
// The first three records of a file are its header (x, y and z extent).
#pragma once

#include "records/point_code.h"
#include "streams/text_reader.h"

// Reads one record: white space (blank, tab, LF, VT, FF) is skipped before
// each field, then the code, the first value and the second value are read
// in that order. Each field is stored as soon as it is read; a field that
// cannot be read ends the call and leaves its own destination and the later
// ones untouched. Returns the number of fields stored, 0 to 3: the record is
// complete only when 3 is returned.
//
// Syntax: a code is an optional sign and decimal digits; one of more than
// point_code::max_digits significant digits is not a code (its digits are
// consumed). A value is an optional sign, digits with at most one decimal
// point, an optional exponent (e or E, optional sign, digits; an e with no
// digits is exponent 0), or +INF, -INF, +NAN, -NAN. The first character that cannot continue a field stays unread.
int read_record(text_reader& in, point_code& code, double& first, double& second);

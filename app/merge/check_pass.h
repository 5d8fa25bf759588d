// A look at point files before they are merged (--check): every input read
// once, with the merge's own readers and rules, and nothing written.
#pragma once

// Writes on the console a line of column names, then one line per input
// (slots 1 to num_arch of im_number), its fields separated by TAB: the path
// as given, its size in bytes (the bytes read, for an input that is not a
// regular file), the data records the merge would copy, the six header
// values as the merge reads them, the smallest and largest first value and
// second value of those records, its line ends (LF, CRLF, CR or mixed;
// nothing when it has none) and its problems in words, separated by "; ".
// Then the extent a merge of these inputs would write, in the merge's own
// console lines, and the count of inputs and records. A field that cannot
// be known (a header cut short, no records) is empty. Returns whether every
// input would be merged whole.
bool check_pass();

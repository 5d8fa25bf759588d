// The look at one input for --check: its header, its records read as the
// merge would read them, and what keeps it from being merged whole.
#include "merge/input_look.h"

#include "console/diagnostic.h"
#include "console/progress.h"
#include "host/io.h"
#include "merge/cut_place.h"
#include "merge/passes.h"
#include "streams/text_marks.h"

namespace {

// What the reading of one input shows beside its records: its line ends,
// where a 0x1A ended its text, and the progress.
struct watch {
  line_end_count ends;
  long long seen = 0;      // bytes read so far
  long long sub_at = -1;   // the offset of the 0x1A that ended the text
  long long after_sub = 0;  // bytes read after it
  read_count counted;

  static void see(void* ctx, const char* text, std::size_t length, std::size_t n) {
    watch& w = *static_cast<watch*>(ctx);
    w.ends.take(text, length);
    if (length < n && w.sub_at < 0) {
      w.sub_at = w.seen + static_cast<long long>(length);
      w.after_sub = static_cast<long long>(n - length - 1);
    }
    w.seen += static_cast<long long>(n);
    if (w.counted.line != nullptr) w.counted.line->add(n);
    if (w.counted.bytes != nullptr) w.counted.bytes->fetch_add(n, std::memory_order_relaxed);
  }
};

// The kinds of line ends seen: LF alone, CR LF, bare CR.
std::string line_ends(const watch& w, bool bare_cr) {
  const bool lf = w.ends.lfs > w.ends.crlfs, crlf = w.ends.crlfs > 0;
  if (lf + crlf + bare_cr > 1) return "mixed";
  return lf ? "LF" : crlf ? "CRLF" : bare_cr ? "CR" : "";
}

std::string range_text(const value_range& r, bool high) { return r.any() ? value_text(high ? r.high() : r.low()) : ""; }

// The six header values, each one only when the header held it.
std::string header_text(const header_read& h) {
  // values: min x, min y (record 0), max x, max y (record 1), min z, max z (record 2)
  std::string text;
  for (int k = 0; k < 6; ++k) text += "\t" + (h.fields[k / 2] >= 2 + k % 2 ? value_text(h.values[k]) : "");
  return text;
}

// What keeps the copy from being whole, the reading done.
void note_cut(text_reader& in, bool once, const input_scanned& got, std::string& problems) {
  const cut_place c = find_cut(in, once, got.fields, got.stop, true);
  if (!c.cut) return;
  const std::string where = c.counted ? "line " + std::to_string(c.line) : "byte " + std::to_string(c.byte);
  const std::string what = c.text.empty() ? "a record cut short by the end" : "\"" + shown_name(c.text) + "\"";
  problems += "; stops at " + where + ": " + what;
}

}  // namespace

void look_at(const image& input, text_reader& in, scan_splitter* splitter, read_count counted, look& l) {
  watch w;
  w.counted = counted;
  int fd = -1;
  bool owned = true;
  if (const failure f = open_input(input, fd, owned)) {
    l.problems += "; cannot be opened: " + f.reason();
    return;
  }
  const io_file_id id = io_identity(fd);
  const bool once = input.from_stdin || id.size < 0;
  owned ? in.adopt(fd) : in.attach(fd);
  in.observe(watch::see, &w);
  const header_read h = read_header(in);
  l.header = h;
  const input_scanned got = scan_input(in, splitter);
  in.observe(nullptr, nullptr);  // the place of a cut is found by reading again
  if (const failure f = in.failed()) l.problems += "; cannot be read: " + f.reason();
  const bare_cr_watch cr = in.bare_cr();
  const bool bare = cr.line() != 0 && cr.offset() < in.offset();
  const long long size = once ? w.seen : id.size;
  l.records = got.records;
  l.fields = "\t" + std::to_string(size) + "\t" + std::to_string(got.records) + header_text(h) + "\t" +
             range_text(got.first, false) + "\t" + range_text(got.first, true) + "\t" + range_text(got.second, false) +
             "\t" + range_text(got.second, true) + "\t" + line_ends(w, bare);
  int complete = 0;  // the header's records complete, from its first on
  while (complete < 3 && h.fields[complete] == 3) ++complete;
  if (complete < 3) {
    l.problems += "; no complete header: " + std::to_string(complete) + " of its 3 records complete";
  } else if (!in.failed()) {
    note_cut(in, once, got, l.problems);
  }
  if (bare) l.problems += "; bare CR line ends from line " + std::to_string(cr.line()) + ": numbers on both sides join";
  const long long after = once ? w.after_sub : size - w.sub_at - 1;
  if (w.sub_at >= 0 && after > 0)
    l.problems += "; a 0x1A at byte " + std::to_string(w.sub_at) + " ends the text early";
  l.whole = l.problems.empty();
  if (in.mark_skipped()) l.problems += "; a byte-order mark skipped";
  in.close();
}


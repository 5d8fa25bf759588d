// The merge: the bounds pass over the headers, the header, the copy pass,
// and the result put in place.
#include "merge/merge.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/diagnostic.h"
#include "merge/passes.h"
#include "records/record_writer.h"
#include "records/value_text.h"

namespace {

// The combined extent on the console, and as the result's header.
void write_header(const bounds& b) {
  say("\n" + extent_text(b));
  write_record(f2.out, 4, b.minx, b.miny);
  write_record(f2.out, 5, b.maxx, b.maxy);
  write_record(f2.out, 6, b.minalt, b.maxalt);
  say("\n");
}

// The result written out, synced and put in place. Once it is in place the
// run has succeeded, whatever the folder's sync says.
run_end commit_result() {
  if (const failure f = f2.finish()) return not_written(f);
  if (const failure& w = f2.warning()) warn(opened_path(f2.name), "the folder could not be synced: " + w.reason());
  return {};
}

}  // namespace

std::string value_text(double v) {
  char buf[value_text_max];
  return std::string(buf, format_value(buf, v));
}

std::string extent_text(const bounds& b) {
  return "\n\tmin x = " + value_text(b.minx) + " min y = " + value_text(b.miny) + " " +
         "\n\tmax x = " + value_text(b.maxx) + " max y = " + value_text(b.maxy) + " " +
         "\n\tmin z = " + value_text(b.minalt) + " max z = " + value_text(b.maxalt) + " ";
}

run_end treatment() {
  assert(num_arch <= 0 || im_number.size() > static_cast<std::size_t>(num_arch));
  assert(f2.is_open());
  say("\n\tTreatment");
  bounds b;
  b.tight = choices.tight_bounds;
  std::vector<input_memo> memos(static_cast<std::size_t>(std::max<std::int32_t>(num_arch, 0)) + 1);
  if (run_end end = bounds_pass(memos, b)) return end;
  write_header(b);
  if (run_end end = copy_pass(memos)) return end;
  return commit_result();
}

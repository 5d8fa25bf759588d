// The merge: bounds pass over the headers, then the copy pass.
#include "merge.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "console.h"
#include "host_path.h"
#include "state.h"
#include "value_text.h"

namespace {

std::string value_text(double v) {
  char buf[value_text_max];
  return std::string(buf, format_value(buf, v));
}

// Opens an input by its drive-form path; false with errno set when it
// cannot be opened (also for a path the file system cannot take as it is).
bool open_input(const std::string& nomim3) {
  const std::string path = host_path(nomim3);
  if (path.find('\0') != std::string::npos) {
    errno = ENOENT;
    return false;
  }
  return f1.open(path);
}

// A running bound takes a header value only when the value is beyond it.
// A NaN compares false both ways and changes nothing.
void take_lower(double& bound, double value) {
  if (bound > value) bound = value;
}
void take_higher(double& bound, double value) {
  if (bound < value) bound = value;
}

// An input whose bytes cannot be read (a folder, an I/O error) ends the run.
int unreadable(const std::string& nomim3) {
  return abandon(file_failure(nomim3, "cannot be read", std::strerror(f1.error())));
}

}  // namespace

int treatment() {
  double minx = 4000000.0, miny = 4000000.0, minalt = 100000.0;
  double maxx = 0.0, maxy = 0.0, maxalt = 0.0;
  point_code val;
  double dval1, dval2;  // the header records skipped in the copy pass

  say("\n\tTreatment");

  // Bounds pass: each input's header, three records. A header cut short
  // gives the fields it holds; the fields it does not reach contribute
  // nothing (not the previous input's values).
  for (std::int32_t i = 1; i <= num_arch; ++i) {
    const std::string nomim3 = im_number[static_cast<std::size_t>(i)].name;
    if (!open_input(nomim3)) return abandon("\n\tFile " + nomim3 + " unknown\n");
    const int n1 = read_record(f1, val, min_x, min_y);
    const int n2 = read_record(f1, val, max_x, max_y);
    const int n3 = read_record(f1, val, min_alt, max_alt);
    if (f1.error() != 0) return unreadable(nomim3);
    f1.close();
    if (n1 >= 2) take_lower(minx, min_x);
    if (n1 >= 3) take_lower(miny, min_y);
    if (n3 >= 2) take_lower(minalt, min_alt);
    if (n2 >= 2) take_higher(maxx, max_x);
    if (n2 >= 3) take_higher(maxy, max_y);
    if (n3 >= 3) take_higher(maxalt, max_alt);
  }

  say("\n\n\tmin x = " + value_text(minx) + " min y = " + value_text(miny) + " ");
  say("\n\tmax x = " + value_text(maxx) + " max y = " + value_text(maxy) + " ");
  say("\n\tmin z = " + value_text(minalt) + " max z = " + value_text(maxalt) + " ");

  write_record(f2.out, 4, minx, miny);
  write_record(f2.out, 5, maxx, maxy);
  write_record(f2.out, 6, minalt, maxalt);

  say("\n");

  // Copy pass: every complete data record, input after input.
  for (std::int32_t i = 1; i <= num_arch; ++i) {
    const std::string nomim3 = im_number[static_cast<std::size_t>(i)].name;
    say("\n\tFile " + std::to_string(i) + " Name : " + nomim3 + " ");
    if (!open_input(nomim3))
      return abandon(file_failure(nomim3, "cannot be opened again", std::strerror(errno)));
    for (int h = 0; h < 3; ++h) read_record(f1, val, dval1, dval2);
    while (copy_record(f1, f2.out) == 3) continue;  // read_record, then write_record when complete
    if (f1.error() != 0) return unreadable(nomim3);
    f1.close();
    if (f2.out.error() != 0) break;  // the disk is full: stop reading
  }

  std::string reason;
  if (!f2.out.flush()) {
    reason = std::strerror(f2.out.error());
  } else if (f2.file.commit(reason)) {
    return 0;
  }
  return abandon(file_failure(f2.name, "cannot be written", reason));
}

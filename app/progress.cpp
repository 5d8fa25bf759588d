// The progress line: its text, and drawing it in place on standard error.
#include "progress.h"

#include <cstdio>

namespace {

// Bytes in decimal units: "512 B", "12.5 MB", "3.4 GB".
std::string amount(double bytes) {
  static const char* const units[] = {"B", "kB", "MB", "GB", "TB", "PB"};
  int u = 0;
  while (bytes >= 1000.0 && u < 5) {
    bytes /= 1000.0;
    ++u;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
  return buf;
}

// Seconds as m:ss, or h:mm:ss from an hour up.
std::string duration(double seconds) {
  const unsigned long long s = static_cast<unsigned long long>(seconds + 0.5);
  char buf[48];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%llu:%02llu", s / 60, s % 60);
  return buf;
}

void put(const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::string progress_text(std::uint64_t done, std::uint64_t total, double seconds) {
  std::string text = amount(static_cast<double>(done));
  if (total == 0) return text;
  if (done > total) done = total;  // an input that grew while it was read
  text += " of " + amount(static_cast<double>(total)) + " (" + std::to_string(done * 100 / total) + "%)";
  if (seconds <= 0.0 || done == 0) return text;
  const double rate = static_cast<double>(done) / seconds;
  return text + ", " + amount(rate) + "/s, " + duration(static_cast<double>(total - done) / rate) + " left";
}

void progress_line::start(std::uint64_t total) {
  started_ = true;
  total_ = total;
  done_ = 0;
  begin_ = last_ = clock::now();
}

void progress_line::follow(const std::string& console_line) {
  if (!started_) return;
  erase();
  prefix_ = console_line;
  draw(progress_text(done_, total_, std::chrono::duration<double>(clock::now() - begin_).count()));
}

void progress_line::add(std::size_t bytes) {
  done_ += bytes;
  const clock::time_point now = clock::now();
  if (!started_ || now - last_ < interval) return;
  last_ = now;
  draw(progress_text(done_, total_, std::chrono::duration<double>(now - begin_).count()));
}

void progress_line::erase() {
  if (shown_ > 0) put("\r" + prefix_ + std::string(shown_, ' ') + "\r" + prefix_);
  shown_ = 0;
}

void progress_line::finish() {
  erase();
  started_ = false;
}

// Overwrites the text on screen; a shorter text blanks what a longer one
// left behind. Two blanks separate it from the console's text.
void progress_line::draw(const std::string& text) {
  std::string line = "\r" + prefix_ + (prefix_.empty() ? "" : "  ") + text;
  const std::size_t width = text.size() + (prefix_.empty() ? 0 : 2);
  if (width < shown_) line.append(shown_ - width, ' ');
  if (width > shown_) shown_ = width;
  put(line);
}

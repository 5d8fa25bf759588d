// The dialogue: banner, four kinds of question, paths, the result created.
#include "entry/dialogue.h"

#include "console/console.h"
#include "console/diagnostic.h"
#include "entry/ending.h"
#include "entry/out_of_memory.h"
#include "host/host_names.h"
#include "host/terminal.h"
#include "merge/state.h"

namespace {

// The base directory and the point-file extension, as the console shows them.
const char base_directory[] = "C:\\images\\";
const char extension[] = ".zqd";

const char credit[] = "tilvaro team";  // 12 characters
static_assert(sizeof credit - 1 == 12, "the credit fills 12 columns");

// Reads a name; when standard input has ended there is no answer, and an
// answer longer than any path names no file: either way the run stops
// without creating anything.
bool ask_name(const std::string& question, std::string& answer) {
  say(question);
  const std::size_t longest = longest_path_bytes();
  if (!read_token(console_input(), answer, longest)) {
    complain("standard input", "ended before the answer");
    say("\n\tNo answer: the input has ended\n");
    return false;
  }
  if (answer.size() > longest) {
    complain("standard input", "an answer is longer than any path");
    say("\n\tThe answer is longer than any path\n");
    return false;
  }
  return true;
}

// The thirteen banner lines, each behind "\n\t".
std::string banner() {
  const std::string stars(59, '*');
  const std::string empty = "*" + std::string(57, ' ') + "*";
  const std::string lines[13] = {
      stars,
      empty,
      empty,
      "*                        TILVARO                          *",
      empty,
      empty,
      empty,
      empty,
      empty,
      "*" + std::string(41, ' ') + credit + std::string(4, ' ') + "*",
      "*                                      (September 2012)   *",
      empty,
      stars,
  };
  std::string text;
  for (const std::string& line : lines) text += "\n\t" + line;
  return text;
}

}  // namespace

bool opening() {
  run_stage = "reading the names of the inputs";
  choices.progress = stderr_is_terminal();
  say(banner());

  std::string nomim1 = base_directory;
  std::string nomdir;
  if (!ask_name("\n\n\tName of the File Folder located in the Directory " + nomim1 + " : ", nomdir)) return false;
  nomim1 += nomdir + "\\";
  const std::string nomgen = nomim1;  // the folder prefix: base directory, folder, backslash

  say("\n\tnumber of files to paste ? ");
  if (scan_int32(console_input(), num_arch) == int_scan::out_of_range) {
    complain("standard input", "the number of files is too large");
    say("\n\tThe number of files is too large\n");
    return false;
  }  // no digits: the count stays 0 and the text answers the next question

  im_number.assign(1, image{});  // slot 0 is not used
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    std::string nomfic;
    if (!ask_name("\n\tName of the .zqd File number " + std::to_string(i) + " (without extension .zqd) ? ", nomfic))
      return false;
    const std::string nomim2 = nomgen + nomfic + extension;
    im_number.push_back(image{nomim2});
  }

  std::string nomfic1;
  if (!ask_name("\n\tName of the resulting .zqd File (without extension .zqd) ? ", nomfic1)) return false;
  nomim1 += nomfic1 + extension;

  run_stage = "creating the result";
  if (const run_end end = create_result(nomim1, num_arch <= 0)) {
    end_run(end);
    return false;
  }
  return true;
}

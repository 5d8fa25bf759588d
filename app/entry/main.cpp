// tilvaro: pastes several point files into one result file.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/diagnostic.h"
#include "entry/batch.h"
#include "entry/command_line.h"
#include "entry/dialogue.h"
#include "entry/ending.h"
#include "entry/out_of_memory.h"
#include "host/arguments.h"
#include "host/interrupt.h"
#include "host/io.h"
#include "host/key_wait.h"
#include "host/terminal.h"
#include "merge/merge.h"

namespace {

int run(int argc, char* argv[]) {
  const command_line cl = parse_command_line(command_arguments(argc, argv));
  switch (cl.what) {
    case command::help:
      std::fputs(usage_text().c_str(), stdout);
      return 0;
    case command::version:
      std::fputs("tilvaro " TILVARO_VERSION "\n"
                 "Copyright (c) 2026 the tilvaro authors\n"
                 "MIT License: free to use, copy, change and pass on, without warranty.\n",
                 stdout);
      return 0;
    case command::usage_error:
      complain_lines("tilvaro: " + cl.reason + "\nTry 'tilvaro --help' for more information.\n");
      // Started alone in a console of its own (files dropped onto it in
      // Explorer), the window would close before the message is read.
      if (console_is_own()) wait_key();
      return 2;
    case command::dialogue:
    case command::merge:
    case command::check:
      break;
  }

  install_interrupt_cleanup();
  console_open();
  int status;
  if (cl.what == command::merge) {
    status = batch(cl);
  } else if (cl.what == command::check) {
    status = check(cl);
  } else if (opening()) {
    run_stage = "merging";
    status = end_run(treatment());
  } else {
    status = 1;
  }
  console_flush();
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before any file is opened: a standard stream closed by the caller
  // (2>&-) must not lend its number to the result.
  if (!io_fill_standard_streams()) {
    complain_lines("tilvaro: a standard stream is closed, and the null device cannot be opened in its place\n");
    return 1;
  }
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  }
}

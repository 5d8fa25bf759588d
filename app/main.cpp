// tilvaro: pastes several point files of one folder into one result file.
#include "console.h"
#include "dialogue.h"
#include "interrupt.h"
#include "merge.h"

int main() {
  install_interrupt_cleanup();
  console_open();
  const int status = opening() ? treatment() : 1;
  console_flush();
  return status;
}

// The console on the host: standard output set up for the console's bytes.
#pragma once

// Makes standard output take the console's bytes as they are (no line-end
// translation by the host, the console's text shown as UTF-8). Standard
// input is read as io_stdin and standard output written as io_stdout
// (io.h); whether they are a console, terminal.h tells.
void console_host_open();

// The console on the host: standard output set up for the console's bytes.
#pragma once

// Makes standard output take the console's bytes as they are (no line-end
// translation by the host) and tells whether it is a terminal, which the
// console then writes to unbuffered. Standard input is read as io_stdin and
// standard output written as io_stdout (io.h).
bool console_host_open();

// Which standard streams are terminals.
#pragma once

bool stdout_is_terminal();
bool stderr_is_terminal();

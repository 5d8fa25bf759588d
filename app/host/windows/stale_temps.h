// The temporaries that runs ended outright (killed, a power loss) left
// behind on Windows (temp_name.h), found and removed by a later run of the
// same result.
#pragma once

#include <string>

// Removes from the folder host_folder (a UTF-8 host path ending in its
// separator, or "" for the current folder) the temporaries of result_name
// whose process has ended: only plain files (no folders, no links or other
// reparse points), named exactly as temp_name.h makes them, whose process
// id is not this process's and which OpenProcess says is gone (no such
// process, or one that has exited). A process the system only refuses to
// open (access denied) exists and keeps its files. Anything that cannot be
// checked or deleted is left; errors are not reported.
void remove_stale_temps(const std::string& host_folder, const std::string& result_name);

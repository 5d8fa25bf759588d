// Windows helpers shared by the implementations in this folder: UTF-8 paths
// made into the wide paths the system's API takes, and system error codes
// made into errno values, so the reasons read as on POSIX.
#pragma once

#include <windows.h>

#include <string>

// UTF-8 text as UTF-16. Text that is not valid UTF-8 is taken in the ANSI
// code page instead, byte for byte, rather than refused.
std::wstring wide_from_utf8(const std::string& text);

// UTF-16 text as UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string utf8_from_wide(const wchar_t* text, std::size_t length);

// The path to hand to the wide file API for a UTF-8 host path: made absolute
// (a relative one against the current folder), '/' made '\', "." and ".."
// resolved and doubled separators dropped, then given the \\?\ prefix
// (\\?\UNC\ for a share), which lifts the 260-character limit. Every name
// is then taken literally: "con.zqd" is a file, not the console, and trailing
// dots and blanks stay. A path already in \\?\ or \\.\ form, and one
// relative to another drive ("D:name"), are handed on as converted.
std::wstring api_path(const std::string& host_path);

// The errno value for a system error code (EIO for codes without one).
int errno_from_win32(DWORD error);

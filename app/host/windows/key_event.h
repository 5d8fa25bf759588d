// Which console key event ends the key wait (key_wait.h), on Windows.
#pragma once

// A key-down of a key that types a character, or of a function, arrow or
// other navigation key (Insert, Delete, Home, End, Page Up, Page Down).
// Key releases, and Shift, Ctrl, Alt, Caps Lock, Num Lock or the Windows key
// pressed alone, do not end it.
bool key_ends_wait(bool key_down, wchar_t typed, unsigned short virtual_key);

// Which console key events end the key wait on Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include "host/windows/key_event.h"

namespace {

TEST(KeyEvent, OnlyAKeyDownThatTypesOrMovesEndsTheWait) {
  struct {
    bool down;
    wchar_t typed;
    WORD key;
    bool ends;
  } const cases[] = {
      {true, L'a', 'A', true},          {false, L'a', 'A', false},  // released
      {true, L'\r', VK_RETURN, true},   {true, 0x1B, VK_ESCAPE, true},
      {true, L' ', VK_SPACE, true},     {true, 0x01, 'A', true},  // Ctrl-A types a control character
      {true, L'\u00e9', 0, true},       // é from a dead key or an input method
      {true, 0, VK_F1, true},           {true, 0, VK_F12, true},     {true, 0, VK_F24, true},
      {true, 0, VK_LEFT, true},         {true, 0, VK_UP, true},      {true, 0, VK_RIGHT, true},
      {true, 0, VK_DOWN, true},         {true, 0, VK_HOME, true},    {true, 0, VK_END, true},
      {true, 0, VK_PRIOR, true},        {true, 0, VK_NEXT, true},    {true, 0, VK_INSERT, true},
      {true, 0, VK_DELETE, true},       {false, 0, VK_F1, false},    {false, 0, VK_LEFT, false},
      {true, 0, VK_SHIFT, false},       {true, 0, VK_LSHIFT, false}, {true, 0, VK_CONTROL, false},
      {true, 0, VK_MENU, false},        {true, 0, VK_CAPITAL, false}, {true, 0, VK_NUMLOCK, false},
      {true, 0, VK_LWIN, false},        {true, 0, VK_SCROLL, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(key_ends_wait(c.down, c.typed, c.key), c.ends) << c.down << " " << int(c.typed) << " " << c.key;
}

}  // namespace

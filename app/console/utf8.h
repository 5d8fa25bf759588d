// UTF-8 as the Unicode standard's table of well-formed byte sequences has it.
#pragma once

#include <cstddef>
#include <string>

// The length of the well-formed UTF-8 sequence of two bytes or more that
// starts at s[i], or 0 when none does (overlong forms, surrogates and code
// points past U+10FFFF are not well-formed). Precondition: i < s.size().
std::size_t utf8_sequence(const std::string& s, std::size_t i);

// Whether every byte of s is ASCII or part of a well-formed sequence.
bool is_utf8(const std::string& s);

// Appends code point c (at most U+10FFFF, no surrogate) to out as UTF-8.
void append_utf8(std::string& out, char32_t c);

// Text as JSON strings. The program's text is 8-bit bytes of no known encoding, so every byte
// that JSON or UTF-8 could misread is written as its Latin-1 character's escape.
#pragma once

#include <string>

// `text` as a quoted JSON string: '"' and '\' escaped as \" and \\, every byte below 0x20 or
// from 0x7F up as \u00XX (upper-case hex). The result is pure ASCII and loses nothing.
std::string json_string(const std::string& text);

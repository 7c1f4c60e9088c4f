// Text into JSON: a quoted, escaped string.
#pragma once

#include <string>

namespace zarncap {

// text is UTF-8 (a file name, a message); quotes, backslashes and control
// characters are escaped, everything else passes as it is.
std::string JsonString(const std::string& text);
// The dialogs' code page 1252 text as UTF-8 (its letters from 0xA0 up are
// Latin-1's; the few signs from 0x80 to 0x9F become '?').
std::string Cp1252ToUtf8(const std::string& text);

}  // namespace zarncap

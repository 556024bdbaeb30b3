// Text at the edge of the Windows API: the program speaks UTF-8, the
// system's wide calls UTF-16. Bytes that are not UTF-8 (settings value names
// are stored with every byte complemented) travel as the lone surrogates
// U+DC80..U+DCFF, one per byte, so any byte string survives the round trip.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The system's text for an error code, without the trailing line break.
std::string ErrorText(unsigned long code);

}  // namespace platform::win32

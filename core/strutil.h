// Locale-independent text helpers shared by the script, archive and mesh
// readers. Numbers always use "." as the decimal separator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace str {

// Removes leading and trailing blanks and control characters (bytes <= 32).
std::string_view Trim(std::string_view s);

// ASCII upper case; other bytes unchanged.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// Case-insensitive (ASCII) equality and three-way comparison. CompareText
// orders as the upper-cased bytes, a prefix first.
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

// Integer: optional sign, decimal digits, or hexadecimal after "0x", "0X" or
// "$". Surrounding blanks are not allowed. Out of 32-bit range fails.
std::optional<int32_t> ParseInt(std::string_view s);
// Float: decimal with "." and an optional exponent; blanks around it allowed.
std::optional<double> ParseFloat(std::string_view s);

// As above but throw EConvertError ("'x' is not a valid integer value" /
// "'x' is not a valid floating point value").
int32_t StrToInt(std::string_view s);
double StrToFloat(std::string_view s);

// General number format with 7 significant digits: "6000", "0.5",
// "6.38976E-7".
std::string FloatToStr(double v);

std::string IntToStr(int64_t v);

// Splits at every separator character; pieces are not trimmed.
std::vector<std::string_view> Split(std::string_view s, char separator);

// Everything after the last "\", "/" or ":" (the bare file name).
std::string_view ExtractFileName(std::string_view path);
// Everything up to and including the last "\", "/" or ":".
std::string_view ExtractFilePath(std::string_view path);
// name itself when it has a directory part, else path followed by name.
std::string CombinePath(std::string_view path, std::string_view name);

// Converts the "\" separators of script paths to the host's "/" for disk
// access; "./x" stays relative.
std::string ToHostPath(std::string_view path);

// Reads the lines of a text (CR LF, LF or CR endings). A final line without
// an ending is kept; the empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace str

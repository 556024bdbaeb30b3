#include "core/strutil.h"

#include "core/errors.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace str {

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

static unsigned char Up(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Up(a[i]) != Up(b[i])) return false;
    return true;
}

int CompareText(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = Up(a[i]), y = Up(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::optional<int32_t> ParseInt(std::string_view s) {
    bool negative = false;
    size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    uint64_t value = 0;
    auto [p, ec] = std::from_chars(s.data() + i, s.data() + s.size(), value, base);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    if (base == 16) {
        // Hexadecimal spells a 32-bit pattern: $FFFFFFFF is -1.
        if (value > 0xFFFFFFFFull) return std::nullopt;
        int32_t v = static_cast<int32_t>(static_cast<uint32_t>(value));
        return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v;
    }
    if (negative) {
        if (value > 2147483648ull) return std::nullopt;
        return static_cast<int32_t>(-static_cast<int64_t>(value));
    }
    if (value > 2147483647ull) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<double> ParseFloat(std::string_view s) {
    s = Trim(s);
    if (s.empty()) return std::nullopt;
    if (s[0] == '+') {
        // One sign only: "+-1" is not a number.
        s.remove_prefix(1);
        if (s.empty() || s[0] == '+' || s[0] == '-') return std::nullopt;
    }
    // Only plain decimal forms: no "inf", "nan" or hexadecimal floats.
    for (char c : s)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    double value = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (p != s.data() + s.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is no number we can hold.
        bool tiny = false;
        for (size_t i = 0; i < s.size(); ++i)
            if ((s[i] == 'e' || s[i] == 'E') && i + 1 < s.size() && s[i + 1] == '-') tiny = true;
        if (tiny) return 0.0;
        return std::nullopt;
    }
    if (ec != std::errc()) return std::nullopt;
    return value;
}

int32_t StrToInt(std::string_view s) {
    auto v = ParseInt(Trim(s));
    if (!v) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return *v;
}

double StrToFloat(std::string_view s) {
    auto v = ParseFloat(s);
    if (!v) throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    return *v;
}

std::string FloatToStr(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    if (v == 0) return "0";
    constexpr int precision = 7;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, v);
    // buf: [-]d.dddddde[+-]xx
    std::string text(buf);
    size_t epos = text.find('e');
    int exponent = std::atoi(text.c_str() + epos + 1);
    std::string digits;
    bool negative = text[0] == '-';
    for (size_t i = negative ? 1 : 0; i < epos; ++i)
        if (text[i] != '.') digits += text[i];
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent >= precision || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
        size_t whole = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits + std::string(whole - digits.size(), '0');
        } else {
            out += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    }
    return out;
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(separator, start);
        if (p == std::string_view::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, p - start));
        start = p + 1;
    }
}

static size_t LastDelimiter(std::string_view path) {
    return path.find_last_of("\\/:");
}

std::string_view ExtractFileName(std::string_view path) {
    size_t p = LastDelimiter(path);
    return p == std::string_view::npos ? path : path.substr(p + 1);
}

std::string_view ExtractFilePath(std::string_view path) {
    size_t p = LastDelimiter(path);
    return p == std::string_view::npos ? std::string_view() : path.substr(0, p + 1);
}

std::string CombinePath(std::string_view path, std::string_view name) {
    if (LastDelimiter(name) != std::string_view::npos) return std::string(name);
    std::string r(path);
    r += name;
    return r;
}

std::string ToHostPath(std::string_view path) {
    std::string r(path);
#ifndef _WIN32
    for (char& c : r)
        if (c == '\\') c = '/';
#endif
    return r;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

}  // namespace str

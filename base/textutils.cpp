#include "base/textutils.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// Plain ASCII tests: the texts are byte strings, so the C library's locale must not widen what a
// letter or a digit is.
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lowerCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upperCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerCase(a[i]) != lowerCase(b[i])) return false;
  return true;
}

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  const char l = lowerCase(c);
  if (l >= 'a' && l <= 'f') return l - 'a' + 10;
  return -1;
}

// Reads the unsigned digits of text[from..] in the given base; nullopt-like -1 when a character is
// not a digit, there are none, or the magnitude passes `limit`.
std::int64_t readMagnitude(const std::string& text, std::size_t from, int base, std::int64_t limit) {
  if (from >= text.size()) return -1;
  std::int64_t value = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const int digit = base == 10 ? (isDigit(text[i]) ? text[i] - '0' : -1) : hexValue(text[i]);
    if (digit < 0) return -1;
    value = value * base + digit;
    if (value > limit) return -1;
  }
  return value;
}

// Length of the hexadecimal prefix at text[from..]: "$", "0x" or "x" (x either case); 0 for none.
std::size_t hexPrefixLength(const std::string& text, std::size_t from) {
  if (from >= text.size()) return 0;
  if (text[from] == '$' || lowerCase(text[from]) == 'x') return 1;
  if (text[from] == '0' && from + 1 < text.size() && lowerCase(text[from + 1]) == 'x') return 2;
  return 0;
}

// Whole-text check of the decimal number grammar: sign, digits with an optional fraction (at least one
// digit in all), optional exponent. Keeps "inf", "nan" and hexadecimal floats out.
bool isDecimalReal(const std::string& t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < t.size() && isDigit(t[i])) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == t.size();
}

// A non-negative decimal number as significant digits and the count of digits before the point:
// value = 0.<digits> x 10^pointPos. No digits means zero.
struct TDecimalDigits {
  std::string digits;
  int pointPos = 0;
};

// Significant digits in the exact decimal expansion of a finite, non-zero |x| (at least; one more is
// harmless). x = M * 2^b with an odd integer M has exactly -b decimals when b < 0, and none otherwise.
int exactDigitCount(double magnitude) {
  int exponent = 0;
  const double fraction = std::frexp(magnitude, &exponent);
  auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
  int lowestBit = exponent - 64;
  while (mantissa != 0 && (mantissa & 1) == 0) mantissa >>= 1, ++lowestBit;
  const int integerDigits = static_cast<int>(std::floor(std::log10(magnitude))) + 2;
  return integerDigits + (lowestBit < 0 ? -lowestBit : 0);
}

// The exact decimal expansion of a finite |x|. A double's expansion never has more than 767
// significant digits; printing exactly as many as it has keeps glibc's own rounding out of play and
// costs far less than always printing 767.
TDecimalDigits exactExpansion(double magnitude) {
  TDecimalDigits d;
  if (magnitude == 0) return d;
  const int precision = std::clamp(exactDigitCount(magnitude), 20, 767) - 1;
  std::array<char, 800> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%.*e", precision, magnitude);
  const std::string printed(buffer.data());
  const std::size_t e = printed.find('e');
  d.digits = printed.substr(0, 1) + printed.substr(2, e - 2);
  d.pointPos = std::stoi(printed.substr(e + 1)) + 1;
  return d;
}

// Keeps the first `keep` digits, rounding half away from zero on the magnitude (the first dropped
// digit decides, since rounding up is right both at and above the half).
void roundDigits(TDecimalDigits& d, int keep) {
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  if (static_cast<std::size_t>(keep) >= d.digits.size()) return;
  const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
  d.digits.resize(static_cast<std::size_t>(keep));
  if (!up) return;
  for (std::size_t i = d.digits.size(); i-- > 0;) {
    if (d.digits[i] != '9') {
      ++d.digits[i];
      return;
    }
    d.digits[i] = '0';
  }
  d.digits.insert(d.digits.begin(), '1');
  ++d.pointPos;
}

std::string fixedText(const TDecimalDigits& d, int decimals) {
  auto digitAt = [&d](int index) {
    return index >= 0 && static_cast<std::size_t>(index) < d.digits.size()
               ? d.digits[static_cast<std::size_t>(index)]
               : '0';
  };
  const bool zero = d.digits.find_first_not_of('0') == std::string::npos;
  std::string text;
  if (zero || d.pointPos <= 0) {
    text = "0";
  } else {
    for (int i = 0; i < d.pointPos; ++i) text += digitAt(i);
  }
  if (decimals > 0) {
    text += ',';
    for (int i = 0; i < decimals; ++i) text += zero ? '0' : digitAt(d.pointPos + i);
  }
  return text;
}

constexpr int SignificantDigits = 18;
constexpr int MaxDecimals = 216;

}  // namespace

void splitter::split(const std::string& text) {
  parts.clear();
  std::string current;
  for (char c : text) {
    bool isSeparator = false;
    for (const std::string& s : separators)
      if (s.size() == 1 && lowerCase(s[0]) == lowerCase(c)) isSeparator = true;
    if (isSeparator) {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
}

bool isIpAddress(const std::string& text) {
  // A leading dot would be an empty first group; it is turned away like the empty groups between
  // adjacent dots.
  if (text.empty() || text.front() == '.') return false;
  int dots = 0;
  char previous = '\0';
  for (char c : text) {
    if (c == '.') {
      if (previous == '.') return false;
      ++dots;
    } else if (!isDigit(c)) {
      return false;
    }
    previous = c;
  }
  return dots == 3 && text.back() != '.';
}

bool isHostName(const std::string& text) {
  if (text.empty() || text.back() == '.' || text.find('.') == std::string::npos) return false;
  for (char c : text)
    if (!isLetter(c) && !isDigit(c) && c != '-' && c != '.') return false;
  const std::string last = text.substr(text.rfind('.') + 1);
  if (last.size() < 2 || last.size() > 4) return false;
  for (char c : last)
    if (!isLetter(c)) return false;
  for (const char* extension : {"php", "htm", "html", "exe", "asp", "cgi"})
    if (equalIgnoringCase(last, extension)) return false;
  return true;
}

std::vector<std::string> hostCandidates(const std::string& line) {
  splitter words;
  words.separators = {" ", "(", ")", "[", "]"};
  words.split(line);
  std::vector<std::string> candidates;
  for (const std::string& part : words.parts)
    if (isIpAddress(part) || isHostName(part)) candidates.push_back(part);
  return candidates;
}

std::string stripChar(char mode, char ch, const std::string& text) {
  const auto first = text.find_first_not_of(ch);
  switch (upperCase(mode)) {
    case 'A': {
      std::string kept;
      for (char c : text)
        if (c != ch) kept += c;
      return kept;
    }
    case 'B':
      if (first == std::string::npos) return {};
      return text.substr(first, text.find_last_not_of(ch) - first + 1);
    case 'L':
      return first == std::string::npos ? std::string() : text.substr(first);
    case 'R': {
      const auto last = text.find_last_not_of(ch);
      return last == std::string::npos ? std::string() : text.substr(0, last + 1);
    }
    default:
      return text;
  }
}

bool charAtIs(const std::string& text, int pos, char ch) {
  return pos >= 1 && static_cast<std::size_t>(pos) <= text.size() &&
         text[static_cast<std::size_t>(pos - 1)] == ch;
}

unsigned char firstChar(const std::string& text) {
  return text.empty() ? 255 : static_cast<unsigned char>(text.front());
}

std::string integerToText(std::int32_t n) { return std::to_string(n); }

// A sign comes first and applies to the whole number, also to a hexadecimal one: "-$10" is -16 and
// "-0x80000000" the lowest int32. Hexadecimal digits give a magnitude, not a bit pattern, so
// "$FFFFFFFF" is out of range (0) rather than -1.
std::int32_t textToInteger(const std::string& text) {
  const std::string t = stripChar('A', ' ', text);
  std::size_t at = 0;
  bool negative = false;
  if (at < t.size() && (t[at] == '+' || t[at] == '-')) negative = t[at++] == '-';
  const std::size_t prefix = hexPrefixLength(t, at);
  const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
  const std::int64_t magnitude = readMagnitude(t, at + prefix, prefix ? 16 : 10, limit);
  if (magnitude < 0) return 0;
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// A number too large for a double does not parse and gives 0, like any other unreadable text; one too
// small for it gives 0 anyway.
double textToReal(const std::string& text) {
  std::string t = stripChar('A', ' ', text);
  for (char& c : t)
    if (c == ',') c = '.';
  if (t.empty()) return 0;
  if (t.front() == '.') t.insert(t.begin(), '0');
  if (t.size() >= 2 && t[0] == '-' && t[1] == '.') t.insert(t.begin() + 1, '0');
  if (t.back() == '.') t.pop_back();
  if (!isDecimalReal(t)) return 0;
  // from_chars reads the digits exactly and rounds once, whatever the C locale's decimal point is.
  const std::size_t from = (t.front() == '+') ? 1 : 0;
  double value = 0;
  const auto result = std::from_chars(t.data() + from, t.data() + t.size(), value);
  if (result.ec != std::errc() || result.ptr != t.data() + t.size()) return 0;
  return value;
}

// Values of 1e36 and more keep the same fixed form: every integer digit is written, those past the
// 18 significant ones as zeros. Infinities give "INF" / "-INF" and not-a-number "NAN". Decimals
// outside 0..216 are clamped to that range.
std::string realToText(int decimals, double x) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
  decimals = decimals < 0 ? 0 : (decimals > MaxDecimals ? MaxDecimals : decimals);
  TDecimalDigits d = exactExpansion(std::fabs(x));
  roundDigits(d, SignificantDigits);
  roundDigits(d, d.pointPos + decimals);
  // The sign stays on a negative value whose digits round to zero.
  return (x < 0 ? "-" : "") + fixedText(d, decimals);
}

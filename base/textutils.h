#pragma once
// Stateless text routines shared by the whole program. Texts are byte strings: one byte per
// character, no encoding assumed. Positions passed in are 1-based.

#include <cstdint>
#include <string>
#include <vector>

// Cuts a text into parts at one-character separators (letter case ignored when matching).
// Two separators in a row give an empty part between them, a leading separator an empty first part;
// a trailing separator gives no empty last part; an empty text gives no parts.
class splitter {
 public:
  std::vector<std::string> separators;  // one-character strings, filled by the caller
  std::vector<std::string> parts;       // result of the last split

  void split(const std::string& text);
};

bool isIpAddress(const std::string& text);
bool isHostName(const std::string& text);

// The host candidates of one line of pasted text, in order: the parts between " ", "(", ")", "[" and
// "]" that are dotted addresses or host names.
std::vector<std::string> hostCandidates(const std::string& line);

// mode "A" every occurrence, "B" both ends, "L" leading run, "R" trailing run (either case);
// any other mode returns the text unchanged.
std::string stripChar(char mode, char ch, const std::string& text);
bool charAtIs(const std::string& text, int pos, char ch);
unsigned char firstChar(const std::string& text);  // 255 for an empty text

std::string integerToText(std::int32_t n);
std::int32_t textToInteger(const std::string& text);  // 0 for anything that is not an int32
double textToReal(const std::string& text);           // 0 for anything that does not parse
std::string realToText(int decimals, double x);       // decimal comma, halves away from zero

#pragma once
// A small INI file in memory: "[section]" headers and "name=value" lines, kept in file order so that
// saving changes only the values that were set and keeps everything else (other sections, unknown
// names, comments).
//
// Values are the text after the first "=", without quoting or escapes, read without the blanks
// around it (as a person writes "name = value"); names and section names are trimmed of blanks and
// matched ignoring ASCII letter case. A value is one line, so a text holding a line break or a NUL
// byte cannot be stored.
//
// Line ends: a run of CRs followed by one LF, a lone LF, or a run of CRs alone each end one line.
// So "\r\r\n", "\r\n", "\n" and "\r" all end one line (no CR ever becomes part of a value, however
// often the file is rewritten), and a blank line stays a blank line.

#include <optional>
#include <string>
#include <vector>

class TIniFile {
 public:
  // Larger files are not read at all; longer lines are not read as values (they are kept as they
  // are and written back unchanged). Both are far beyond anything the program writes, and they keep
  // a damaged file from costing much memory.
  static constexpr std::size_t MaxFileBytes = 4 * 1024 * 1024;
  static constexpr std::size_t MaxLineBytes = 64 * 1024;

  enum class TLoadResult {
    loaded,
    missing,     // no file of that name: the defaults, silently
    notRegular,  // a FIFO, device or directory: never opened for reading in earnest
    tooLarge,    // over MaxFileBytes
    unreadable,  // no access, or a read error
  };
  // Replaces the contents with the file's; anything but `loaded` leaves them empty. Never blocks: a
  // FIFO is opened without waiting for a writer and then refused.
  TLoadResult load(const std::string& path);
  void parse(const std::string& text);
  // Lines of the last parse that were too long to be read as values.
  int overlongLines() const { return longLines; }
  std::string text() const;

  // The first value of that name in the first section of that name holding it.
  std::optional<std::string> value(const std::string& section, const std::string& name) const;
  // Replaces the value (or adds it, and the section); false when the value cannot be stored.
  bool setValue(const std::string& section, const std::string& name, const std::string& value);

 private:
  struct TLine {
    bool isEntry = false;
    std::string name;   // entries
    std::string value;  // entries
    std::string raw;    // every other line, kept as it was
  };
  struct TSection {
    std::string name;
    bool hasHeader = false;  // the lines before the first header have none
    std::vector<TLine> lines;
  };

  TSection& section(const std::string& name);

  std::vector<TSection> sections;
  int longLines = 0;
};

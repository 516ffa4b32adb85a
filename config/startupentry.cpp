#include "config/startupentry.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "config/atomicfile.h"
#include "config/programpath.h"
#include "config/xdgdirs.h"
#include "base/usermessages.h"

namespace {

std::string autostartDirectory() { return xdgConfigHome() + "/autostart"; }

}  // namespace

std::string startupEntryPath() { return autostartDirectory() + "/sorvelorun.desktop"; }

// Two layers of escapes apply to Exec. Inside the double quotes of an argument a backslash escapes
// '"', '`', '$' and '\'; then the whole value is a desktop-file string, whose own escapes turn each
// backslash into two and line breaks, tabs and carriage returns into \n, \t and \r. A "%" starts a
// field code anywhere in Exec, so a literal one is doubled.
std::string quotedExecValue(const std::string& programPath) {
  std::string quoted = "\"";
  for (char c : programPath) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (char c : quoted) {
    switch (c) {
      case '\\': value += "\\\\"; break;
      case '\n': value += "\\n"; break;
      case '\t': value += "\\t"; break;
      case '\r': value += "\\r"; break;
      case '%': value += "%%"; break;
      default: value += c;
    }
  }
  return value;
}

std::string startupEntryText(const std::string& programPath) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Sorvelo\n"
         "Comment=Start the Sorvelo host monitor at log-on\n"
         "Exec=" + quotedExecValue(programPath) + "\n"
         "X-GNOME-Autostart-enabled=true\n";
}

void addToStartup() {
  if (!makeDirectories(autostartDirectory())) return;
  if (!writeFileAtomically(startupEntryPath(), startupEntryText(programFilePath())))
    throw std::runtime_error("Failed to set data for 'sorvelorun'");
}

void removeFromStartup() {
  const std::string directory = autostartDirectory();
  struct stat info {};
  const bool present = stat(directory.c_str(), &info) == 0;
  if (present) {
    // Something that is there but is no readable directory is the "cannot open" case.
    DIR* opened = S_ISDIR(info.st_mode) ? opendir(directory.c_str()) : nullptr;
    if (!opened) {
      showUserMessage("Opening of registry failed.");
      return;
    }
    closedir(opened);
  }
  // No directory means no entry: that is a failed removal, like any entry that is missing or stays.
  if (!present || unlink(startupEntryPath().c_str()) != 0) showUserMessage("Removing from registry failed!");
}

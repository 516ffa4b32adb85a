#pragma once
// A private XDG_CONFIG_HOME and XDG_DATA_HOME for one test, neither created yet, restored afterwards.

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

class TXdgSandbox {
  QTemporaryDir folder;  // first: the path below is taken from it

 public:
  TXdgSandbox() : root(folder.path().toStdString()) {
    remember("XDG_CONFIG_HOME", savedConfig);
    remember("XDG_DATA_HOME", savedData);
    setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
    setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
  }
  ~TXdgSandbox() {
    restore("XDG_CONFIG_HOME", savedConfig);
    restore("XDG_DATA_HOME", savedData);
  }

  std::string configHome() const { return root + "/config"; }
  std::string dataHome() const { return root + "/data"; }
  const std::string root;

 private:
  static void remember(const char* name, std::string& into) {
    const char* value = std::getenv(name);
    into = value ? value : "";
  }
  static void restore(const char* name, const std::string& value) {
    if (value.empty()) unsetenv(name);
    else setenv(name, value.c_str(), 1);
  }

  std::string savedConfig, savedData;
};

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void writeWholeFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

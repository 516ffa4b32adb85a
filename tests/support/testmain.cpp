// The main of every test program: a QApplication (offscreen unless a display is asked for) and
// private settings, data and runtime folders, so no test ever touches the user's own files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);

  QTemporaryDir home;
  const QByteArray root = home.path().toLocal8Bit();
  for (const char* sub : {"config", "data", "runtime"}) QDir(home.path()).mkpath(sub);
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
  setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
  QFile::setPermissions(home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner);
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  QApplication app(argc, argv);
  // Tests that depend on the regional format set their own; numbers stay in the C form.
  std::setlocale(LC_NUMERIC, "C");
  return RUN_ALL_TESTS();
}

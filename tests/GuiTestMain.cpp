// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the window tests with a QApplication, on the offscreen platform
// unless another one is asked for.
#include <gtest/gtest.h>

#include <QApplication>

// Leaks of the toolkit's font and platform libraries, which keep caches for
// the process's life; only read when built with LeakSanitizer.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\nleak:libglib\nleak:"
         "libsmbclient.so\nleak:libsamba-util.so\nleak:libtalloc.so\n";
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The window program: ferrox [PATH|URL...]. Every argument that Qt does not
// take as its own option becomes a source in the Source field: a path as it
// is, a file:// or smb:// URL as the path it names (see TakeCommandLine).
#include <string>
#include <vector>

#include "ui/MainApp.h"

int main(int argc, char** argv) {
  CMainApp app(argc, argv);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return app.InitInstance(arguments);
}

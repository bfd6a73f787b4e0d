# SPDX-License-Identifier: GPL-3.0-or-later
# The Win32 window's tests, run under Wine like the others of
# WindowsTests.cmake (include this after it: it uses ferrox_windows_test):
# the window's own text rules (the command line, the log box's text), the
# log box on a real edit box, and its resource script against the dialog
# templates.
ferrox_windows_test(ferrox_win_window_tests
  ${PROJECT_SOURCE_DIR}/win/CommandLineText.cpp
  ${PROJECT_SOURCE_DIR}/win/EditText.cpp
  ${PROJECT_SOURCE_DIR}/win/LogEdit.cpp
  WinLogEditTest.cpp
  WinWindowTextTest.cpp
  ResourceScriptTest.cpp)
target_compile_definitions(ferrox_win_window_tests PRIVATE UNICODE _UNICODE)

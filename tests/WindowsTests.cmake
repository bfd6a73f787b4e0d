# SPDX-License-Identifier: GPL-3.0-or-later
# The tests that build for Windows, run under Wine by CTest's cross-compiling
# emulator: the engine and front-end cores that do not depend on POSIX, and
# the Windows backend on real folders. GoogleTest comes from Debian's source
# package (/usr/src/googletest), built here with the cross compiler.
set(FERROX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, built with the cross compiler")
if(NOT EXISTS ${FERROX_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are missing at ${FERROX_GTEST_SOURCE} (Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${FERROX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Wine keeps its state in the build folder, never in the user's ~/.wine. The
# prefix is made once before the tests, which would otherwise race to make it.
set(FERROX_WINE_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
if(FERROX_WINE)
  add_test(NAME ferrox_wine_prefix COMMAND ${FERROX_WINE} wineboot --init)
  set_tests_properties(ferrox_wine_prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${FERROX_WINE_ENVIRONMENT}")
endif()

# One CTest test per program: each start of a Windows program under Wine
# costs a second or more, so the cases are not listed one by one.
function(ferrox_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ferrox_frontend gtest gtest_main ferrox_warnings)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS windows FIXTURES_REQUIRED wine
                       ENVIRONMENT "${FERROX_WINE_ENVIRONMENT}")
endfunction()

ferrox_windows_test(ferrox_win_core_tests
  support/TestFrontEnd.cpp
  Crc32Test.cpp
  FormNumberTest.cpp
  LogChannelTest.cpp
  ProgressDisplayTest.cpp
  ScaledShareTest.cpp)

ferrox_windows_test(ferrox_win_window_core_tests
  support/TempDir.cpp
  support/TestFrontEnd.cpp
  CommandLineTest.cpp
  DialogTemplateTest.cpp
  FormExchangeTest.cpp
  RunLogFileTest.cpp
  SourceListTest.cpp
  WindowHelpTextTest.cpp)

ferrox_windows_test(ferrox_win_backend_tests WinFileSystemTest.cpp)

# The engine end to end on the in-memory file system, with Windows' path
# rules: '\' separates, a typed '/' does too, drive letters root paths.
ferrox_windows_test(ferrox_win_engine_tests
  support/MemFileSystem.cpp
  support/TestClock.cpp
  support/TestFrontEnd.cpp
  CompareEntriesTest.cpp
  CopyFilePartTest.cpp
  CopyFolderTest.cpp
  CopyThreadProcTest.cpp
  CopyWholeFileTest.cpp
  PassUnreadableTest.cpp
  MemFileSystemTest.cpp
  PathHelpersTest.cpp
  ScanFolderTest.cpp
  ScanThreadProcTest.cpp
  VerifyBlockTest.cpp)

# The tests that run several threads, and the window's run commands.
ferrox_windows_test(ferrox_win_thread_tests
  support/MemFileSystem.cpp
  support/TestClock.cpp
  support/TestFrontEnd.cpp
  support/TempDir.cpp
  LogChannelThreadTest.cpp
  WindowFrontEndTest.cpp
  RunCommandsTest.cpp
  RunThreadTest.cpp
  PauseSkipTest.cpp
  VerifyConcurrencyTest.cpp)

# ferrox-cli.exe run as a user runs it: the tests find it beside their own
# program.
ferrox_windows_test(ferrox_win_cli_tests support/TempDir.cpp CliTest.cpp)
add_dependencies(ferrox_win_cli_tests ferrox-cli)
target_compile_definitions(ferrox_win_cli_tests PRIVATE FERROX_CLI_PATH="ferrox-cli.exe")

include(WindowsWindowTests.cmake)

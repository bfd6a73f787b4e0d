// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "engine/PathHelpers.h"
#include "platform/smb/SmbPath.h"
#include "tests/support/TestPaths.h"

namespace {

TEST(PathHelpersTest, SeparatorsAreAddedAndStrippedOnce) {
  std::string path = "/data/src"_path;
  AddBackslash(path);
  EXPECT_EQ(path, "/data/src/"_path);
  AddBackslash(path);
  EXPECT_EQ(path, "/data/src/"_path);

  path = "/data/src//"_path;
  StripBackslash(path);
  EXPECT_EQ(path, "/data/src/"_path);

  // The root folder never becomes an empty text.
  path = "/"_path;
  StripBackslash(path);
  EXPECT_EQ(path, "/"_path);

  EXPECT_EQ(WithBackslash(""), std::string(1, kPathSeparator));
  EXPECT_EQ(FindLast("archive.tar.gz", '.'), 11u);
  EXPECT_EQ(FindLast("readme", '.'), 6u);
}

TEST(PathHelpersTest, AbsolutePathsBeginWithASeparatorOrOnWindowsADrive) {
  EXPECT_TRUE(IsAbsolutePath("/data"_path));
  EXPECT_TRUE(IsAbsolutePath("//srv/share"_path));
  EXPECT_FALSE(IsAbsolutePath("data/src"_path));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_FALSE(IsAbsolutePath("1:/data"));
#if defined(_WIN32)
  EXPECT_TRUE(IsAbsolutePath("C:\\data"));
  EXPECT_TRUE(IsAbsolutePath("z:data"));  // on that drive, whatever the current folder
  EXPECT_TRUE(IsAbsolutePath("/data"));
  EXPECT_FALSE(IsAbsolutePath("data\\c:"));
#else
  EXPECT_FALSE(IsAbsolutePath("C:\\data"));
  EXPECT_FALSE(IsAbsolutePath("z:data"));
#endif
}

#if defined(_WIN32)
// A slash the user typed counts as a separator; a drive root keeps its own.
TEST(PathHelpersTest, OnWindowsASlashSeparatesAndADriveRootKeepsItsSeparator) {
  std::string path = "C:/data/";
  AddBackslash(path);
  EXPECT_EQ(path, "C:/data/");
  StripBackslash(path);
  EXPECT_EQ(path, "C:/data");
  AddBackslash(path);
  EXPECT_EQ(path, "C:/data\\");

  for (const char* root : {"C:\\", "C:/", "d:\\"}) {
    path = root;
    StripBackslash(path);
    EXPECT_EQ(path, root);
  }
  path = "C:\\\\";
  StripBackslash(path);
  EXPECT_EQ(path, "C:\\");
}
#endif

TEST(PathHelpersTest, ShareRootsAreTwoSeparatorsServerAndShareAtTheStartOnly) {
  std::string share;
  EXPECT_TRUE(IsShareRoot("//server/share", &share));
  EXPECT_EQ(share, "share");
  EXPECT_TRUE(IsShareRoot("//my server/my share/", &share));
  EXPECT_EQ(share, "my share");

  EXPECT_FALSE(IsShareRoot("//server", &share));
  EXPECT_FALSE(IsShareRoot("//server/", &share));
  EXPECT_FALSE(IsShareRoot("//server/share/folder", &share));
  // A stray double separator inside a local path is not a share.
  EXPECT_FALSE(IsShareRoot("/home//data/sub", &share));
  EXPECT_FALSE(IsShareRoot("///share", &share));

  // The URL form and the Windows form name shares the same way.
  EXPECT_TRUE(IsShareRoot("smb://nas/films", &share));
  EXPECT_EQ(share, "films");
  EXPECT_TRUE(IsShareRoot("smb://127.0.0.1:4450/my films/", &share));
  EXPECT_EQ(share, "my films");
  EXPECT_TRUE(IsShareRoot("\\\\nas\\films\\", &share));
  EXPECT_EQ(share, "films");
  EXPECT_FALSE(IsShareRoot("smb://nas", &share));
  EXPECT_FALSE(IsShareRoot("smb://nas/films/2024", &share));
  EXPECT_FALSE(IsShareRoot("\\\\nas", &share));
  EXPECT_FALSE(IsShareRoot("\\\\nas\\films\\2024", &share));
  EXPECT_FALSE(IsShareRoot("\\\\\\films", &share));
  // No name on a share holds a backslash: it separates, in every form.
  EXPECT_FALSE(IsShareRoot("//nas/a\\b", &share));
  EXPECT_TRUE(IsShareRoot("/\\nas/films", &share));
  EXPECT_TRUE(IsShareRoot("SMB://nas/films", &share));

  // A share root written as a desktop writes it lands in a folder of the
  // share's own name.
  SetWrittenSmbAddresses({"smb://nas/my%20films"});
  EXPECT_TRUE(IsShareRoot("smb://nas/my%20films", &share));
  EXPECT_EQ(share, "my films");
  SetWrittenSmbAddresses({});
}

TEST(PathHelpersTest, UnsafeNamesCannotLeaveTheirFolder) {
  EXPECT_TRUE(IsSafeEntryName(".git"));
  EXPECT_TRUE(IsSafeEntryName("a b\xff"));
  EXPECT_FALSE(IsSafeEntryName(""));
  EXPECT_FALSE(IsSafeEntryName("."));
  EXPECT_FALSE(IsSafeEntryName(".."));
  EXPECT_FALSE(IsSafeEntryName("../etc"));
  EXPECT_FALSE(IsSafeEntryName(std::string("a\0b", 3)));
  // A backslash is an ordinary byte of a local name on POSIX, a separator on a share and on Windows.
  EXPECT_EQ(IsSafeEntryName("a\\b"), kPathSeparator != '\\');
  EXPECT_FALSE(IsSafeEntryName("a\\b", true));
  EXPECT_FALSE(IsSafeEntryName("..\\etc", true));
  EXPECT_TRUE(IsSafeEntryName("a b", true));
}

// What Windows cannot hold: forbidden characters, a trailing dot or blank,
// device names with or without an extension, in any case. Everything else,
// dot-names, blanks inside and names outside ASCII, it holds.
TEST(PathHelpersTest, NamesWindowsCannotHoldAreToldApartWithTheirReason) {
  for (const char* name : {"a:b", "a*", "what?", "\"q\"", "<x>", "a|b", "a\\b", "a/b", "tab\there"})
    EXPECT_STREQ(NameWindowsCannotHold(name), "a character Windows does not allow in names") << name;
  for (const char* name : {"ends.", "ends ", "x. ."})
    EXPECT_STREQ(NameWindowsCannotHold(name), "a name ending in a dot or blank, which Windows drops") << name;
  for (const char* name : {"CON", "con", "Nul.txt", "aux.tar.gz", "COM1", "lpt9.log", "PRN "})
    EXPECT_NE(NameWindowsCannotHold(name), nullptr) << name;
  EXPECT_STREQ(NameWindowsCannotHold("com3"), "a name Windows reserves for a device");
  for (const char* name :
       {".git", "a b", "CONSOLE", "COM0", "COM10", "lpt", "nul_", "Ελληνικά", "x.y", "..a", "a..b"})
    EXPECT_EQ(NameWindowsCannotHold(name), nullptr) << name;
}

}  // namespace

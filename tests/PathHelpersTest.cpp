#include <gtest/gtest.h>

#include "PathHelpers.h"

namespace {

TEST(PathHelpersTest, SeparatorsAreAddedAndStrippedOnce) {
  std::string path = "/data/src";
  AddBackslash(path);
  EXPECT_EQ(path, "/data/src/");
  AddBackslash(path);
  EXPECT_EQ(path, "/data/src/");

  path = "/data/src//";
  StripBackslash(path);
  EXPECT_EQ(path, "/data/src/");

  // The root folder never becomes an empty text.
  path = "/";
  StripBackslash(path);
  EXPECT_EQ(path, "/");

  EXPECT_EQ(WithBackslash(""), "/");
  EXPECT_EQ(FindLast("archive.tar.gz", '.'), 11u);
  EXPECT_EQ(FindLast("readme", '.'), 6u);
}

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
}

TEST(PathHelpersTest, UnsafeNamesCannotLeaveTheirFolder) {
  EXPECT_TRUE(IsSafeEntryName(".git"));
  EXPECT_TRUE(IsSafeEntryName("a b\xff"));
  EXPECT_FALSE(IsSafeEntryName(""));
  EXPECT_FALSE(IsSafeEntryName("."));
  EXPECT_FALSE(IsSafeEntryName(".."));
  EXPECT_FALSE(IsSafeEntryName("../etc"));
  EXPECT_FALSE(IsSafeEntryName(std::string("a\0b", 3)));
  // A backslash is an ordinary byte of a local name, a separator on a share.
  EXPECT_TRUE(IsSafeEntryName("a\\b"));
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
  for (const char* name : {".git", "a b", "CONSOLE", "COM0", "COM10", "lpt", "nul_", "Ελληνικά", "x.y", "..a", "a..b"})
    EXPECT_EQ(NameWindowsCannotHold(name), nullptr) << name;
}

}  // namespace

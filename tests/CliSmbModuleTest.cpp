// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of ferrox-cli and the SMB module (platform/SmbModule.h):
// a start and a copy of local files load no library of Samba, a share path
// loads them; where the module cannot be loaded, local copies work all the
// same and a share path fails at once, naming the package to install. No
// server is needed.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/CliFixture.h"

namespace {

using namespace ferrox_test;

// Sets the environment variable name to value while it lives (so that the
// programs the test starts meanwhile have it), then gives it back the value
// it had.
class CEnvironmentGuard {
public:
  CEnvironmentGuard(const char* name, const std::string& value) : m_name(name) {
    if (const char* before = std::getenv(name)) m_before = before;
    setenv(name, value.c_str(), 1);
  }
  ~CEnvironmentGuard() {
    if (m_before)
      setenv(m_name, m_before->c_str(), 1);
    else
      unsetenv(m_name);
  }
  CEnvironmentGuard(const CEnvironmentGuard&) = delete;
  CEnvironmentGuard& operator=(const CEnvironmentGuard&) = delete;

private:
  const char* m_name;
  std::optional<std::string> m_before;
};

TEST_F(CliTest, WithoutTheSmbModuleLocalCopiesWorkAndASharePathFailsAtOnceNamingThePackage) {
  const CEnvironmentGuard module("FERROX_SMB_MODULE", "/nonexistent");
  fs::create_directories(dir / "dst");
  WriteFile(dir / "a.txt", "local bytes");
  const CRunResult local = RunCli(dir, {"-d", dir / "dst", dir / "a.txt"});
  EXPECT_EQ(local.status, 0) << local.out << local.err;
  EXPECT_EQ(ReadFile(dir / "dst/a.txt"), "local bytes");
  EXPECT_TRUE(HasLine(SplitLines(local.out), "succesfully copyed")) << local.out;

  // The default reconnect limit, 300 seconds, is not waited out: nothing
  // mends a library that is not there.
  const std::string source = "smb://nas.invalid/films/a.mkv";
  const auto start = std::chrono::steady_clock::now();
  const CRunResult share = RunCli(dir, {"-d", dir / "dst", source});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(share.status, 2) << share.out << share.err;
  EXPECT_LT(took, std::chrono::seconds(10));
  const std::vector<std::string> lines = SplitLines(share.out);
  EXPECT_TRUE(HasLine(lines, "connection failed, error = " + std::to_string(ENOPKG) + " ")) << share.out;
  EXPECT_TRUE(HasLine(lines, source + " : Samba's client library could not be loaded (install the package "
                                      "libsmbclient): /nonexistent: cannot open shared object file: No such "
                                      "file or directory"))
      << share.out;
  EXPECT_FALSE(fs::exists(dir / "dst/a.mkv"));

  // A share's root, which is listed rather than opened, ends the same way.
  const CRunResult root = RunCli(dir, {"-d", dir / "dst", "//nas.invalid/films"});
  EXPECT_EQ(root.status, 2) << root.out << root.err;
  EXPECT_NE(root.out.find("//nas.invalid/films : Samba's client library could not be loaded (install the "
                          "package libsmbclient): /nonexistent"),
            std::string::npos)
      << root.out;
}

TEST_F(CliTest, AStartAndALocalCopyLoadNoSambaLibraryAndASharePathLoadsIt) {
  // The dynamic loader names every library it loads on standard error.
  const CEnvironmentGuard trace("LD_DEBUG", "files");
  fs::create_directories(dir / "dst");
  WriteFile(dir / "a.txt", "local bytes");
  const CRunResult version = RunCli(dir, {"--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_NE(version.err.find("libstdc++"), std::string::npos) << version.err;
  EXPECT_EQ(version.err.find("libsmbclient"), std::string::npos) << version.err;
  const CRunResult local = RunCli(dir, {"-d", dir / "dst", dir / "a.txt"});
  EXPECT_EQ(local.status, 0) << local.out << local.err;
  EXPECT_EQ(ReadFile(dir / "dst/a.txt"), "local bytes");
  EXPECT_EQ(local.err.find("libsmbclient"), std::string::npos) << local.err;

  // Nothing listens on port 1: the connection is refused, and with no
  // reconnect limit the run ends there.
  const CRunResult share = RunCli(dir, {"-r", "0", "-d", dir / "dst", "smb://127.0.0.1:1/films/a.mkv"});
  EXPECT_EQ(share.status, 2) << share.out;
  EXPECT_NE(share.err.find("ferrox-smb.so"), std::string::npos) << share.err;
  EXPECT_NE(share.err.find("libsmbclient"), std::string::npos) << share.err;
  EXPECT_EQ(share.out.find("could not be loaded"), std::string::npos) << share.out;
}

}  // namespace

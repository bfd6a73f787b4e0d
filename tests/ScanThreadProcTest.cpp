// SPDX-License-Identifier: GPL-3.0-or-later
// The scan of Scan Folders and ferrox-cli --scan on the in-memory file
// system: its lines and summaries, what it leaves untouched, and that its
// verdicts are what a run then does.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/CopyThreadProc.h"
#include "engine/DestinationState.h"
#include "tests/support/EngineFixture.h"

namespace {

constexpr int64_t kTime = 1600000000;
constexpr int64_t kOtherTime = 1500000000;

class ScanThreadProcTest : public CEngineTest {
protected:
  ScanThreadProcTest() {
    front.SetDestination("/mem/dst/"_path);
    g_RunState.workerFinished = false;
  }

  // The source tree of the usual case and its destination as an
  // interrupted run left it: a stamped complete copy, an unstamped equal
  // copy, a shorter true prefix, a stamped shorter copy, a differing file
  // and a missing one.
  void MakeTree() {
    fs.AddPatternFile("/mem/src/done.bin"_path, 10000, 1, kTime);
    fs.AddPatternFile("/mem/src/equal.bin"_path, 20000, 2, kTime);
    fs.AddPatternFile("/mem/src/sub/part.bin"_path, 30000, 3, kTime);
    fs.AddPatternFile("/mem/src/stamped.bin"_path, 4000, 4, kTime);
    fs.AddPatternFile("/mem/src/differs.bin"_path, 5000, 5, kTime);
    fs.AddPatternFile("/mem/src/missing.bin"_path, 7000, 6, kTime);
    fs.AddFolder("/mem/dst"_path);
    fs.AddFile("/mem/dst/src/done.bin"_path, CMemFileSystem::PatternBytes(1, 0, 10000), kTime);
    fs.AddFile("/mem/dst/src/equal.bin"_path, CMemFileSystem::PatternBytes(2, 0, 20000), kOtherTime);
    fs.AddFile("/mem/dst/src/sub/part.bin"_path, CMemFileSystem::PatternBytes(3, 0, 12000), kOtherTime);
    fs.AddFile("/mem/dst/src/stamped.bin"_path, CMemFileSystem::PatternBytes(4, 0, 1000), kTime);
    fs.AddFile("/mem/dst/src/differs.bin"_path, CMemFileSystem::PatternBytes(9, 0, 5000), kOtherTime);
  }

  // Runs the scan on this thread, as the worker would.
  ResultFlags Scan(std::vector<std::string> sources) {
    g_RunState.sources = std::move(sources);
    g_RunState.runFlag = true;
    g_RunState.workerFinished = false;
    return ScanThreadProc();
  }

  // Returns true when the log holds line as a whole line.
  bool HasLine(const std::string& line) const {
    return ("\r\n" + front.LogText()).find("\r\n" + line + "\r\n") != std::string::npos;
  }
};

TEST_F(ScanThreadProcTest, CountsWhatAStartWouldDoForEverySource) {
  MakeTree();
  fs.AddFile("/mem/other.txt"_path, "hello", kTime);
  clock.SetAutoAdvance(0);
  EXPECT_EQ(Scan({"/mem/src"_path, "/mem/other.txt"_path}), kResultOk);

  const std::string text = front.LogText();
  EXPECT_TRUE(HasLine("total size = 76000 bytes,    0 mb, files : 6, folders : 1")) << text;
  EXPECT_TRUE(HasLine("checking the destination \"" + "/mem/dst"_path + "\" ...")) << text;
  EXPECT_TRUE(HasLine("/mem/dst/src/differs.bin"_path + " differs from its source, a run leaves it alone"))
      << text;
  EXPECT_TRUE(HasLine(
      "complete : 2 files, partial : 2 files, missing : 1 files, differ : 1 files, to copy : 28000 bytes"))
      << text;
  EXPECT_TRUE(HasLine("total size = 5 bytes,    0 mb, destination : " + "/mem/dst"_path)) << text;
  EXPECT_TRUE(HasLine(
      "complete : 0 files, partial : 0 files, missing : 1 files, differ : 0 files, to copy : 5 bytes"))
      << text;
  EXPECT_EQ(text.find("copying from"), std::string::npos);
  EXPECT_EQ(text.find("succesfully copyed"), std::string::npos);

  const std::vector<CScanSummary> summaries = front.ScanSummaries();
  ASSERT_EQ(summaries.size(), 2u);
  EXPECT_EQ(summaries[0].index, 0u);
  EXPECT_EQ(summaries[0].path, "/mem/src"_path);
  EXPECT_EQ(summaries[0].files, 6);
  EXPECT_EQ(summaries[0].folders, 1);
  EXPECT_EQ(summaries[0].bytes, 76000u);
  EXPECT_EQ(summaries[0].completeFiles, 2);
  EXPECT_EQ(summaries[0].partialFiles, 2);
  EXPECT_EQ(summaries[0].missingFiles, 1);
  EXPECT_EQ(summaries[0].differingFiles, 1);
  EXPECT_EQ(summaries[0].bytesToCopy, 28000u);
  EXPECT_EQ(summaries[1].index, 1u);
  EXPECT_EQ(summaries[1].missingFiles, 1);
  EXPECT_EQ(summaries[1].bytesToCopy, 5u);
  EXPECT_TRUE(front.Summaries().empty());
  // The worker's end, as after a run.
  EXPECT_EQ(front.startCommands.load(), 1);
  EXPECT_TRUE(g_RunState.workerFinished);
}

TEST_F(ScanThreadProcTest, TouchesNothingAtTheDestination) {
  MakeTree();
  const uint64_t stored = fs.StoredBytes();
  Scan({"/mem/src"_path, "/mem/src/missing.bin"_path});
  EXPECT_EQ(fs.StoredBytes(), stored);
  EXPECT_FALSE(fs.Exists("/mem/dst/src/missing.bin"_path));
  EXPECT_FALSE(fs.Exists("/mem/dst/missing.bin"_path));
  EXPECT_EQ(fs.TimeWrite("/mem/dst/src/equal.bin"_path), kOtherTime);
  EXPECT_EQ(fs.TimeWrite("/mem/dst/src/sub/part.bin"_path), kOtherTime);
  EXPECT_EQ(fs.FileSize("/mem/dst/src/sub/part.bin"_path), 12000u);
  EXPECT_EQ(fs.BytesWritten("/mem/dst/src/sub/part.bin"_path), 0u);
}

TEST_F(ScanThreadProcTest, ADestinationThatDoesNotExistIsNotCreated) {
  fs.AddFile("/mem/src/a.txt"_path, "aaa", kTime);
  fs.AddFile("/mem/src/d/b.txt"_path, "bb", kTime);
  front.SetDestination("/mem/nowhere"_path);
  EXPECT_EQ(Scan({"/mem/src"_path}), kResultOk);
  EXPECT_FALSE(fs.Exists("/mem/nowhere"_path));
  EXPECT_TRUE(HasLine(
      "complete : 0 files, partial : 0 files, missing : 2 files, differ : 0 files, to copy : 5 bytes"))
      << front.LogText();
}

TEST_F(ScanThreadProcTest, AnUnreachableSourceEndsOnlyItsOwnScan) {
  fs.AddFile("/mem/src/a.txt"_path, "aaa", kTime);
  g_RunState.reconnectLimit = 0;
  const ResultFlags result = Scan({"/mem/gone"_path, "/mem/src"_path});
  EXPECT_EQ(result, kResultReadFailure);
  EXPECT_NE(front.LogText().find("connection failed"), std::string::npos);
  const std::vector<CScanSummary> summaries = front.ScanSummaries();
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].index, 1u);
  EXPECT_EQ(summaries[0].missingFiles, 1);
  ASSERT_EQ(front.Summaries().size(), 1u);
  EXPECT_FALSE(front.Summaries()[0].connected);
}

TEST_F(ScanThreadProcTest, ASourceThatCannotBeComparedIsNamedAndCountedAsAReadFailure) {
  MakeTree();
  fs.FailOpens("/mem/src/equal.bin"_path, 1);
  const ResultFlags result = Scan({"/mem/src"_path});
  EXPECT_EQ(result, kResultReadFailure);
  EXPECT_TRUE(HasLine("/mem/src/equal.bin"_path + " : cannot be read to compare it with its copy (" +
                      ErrorText(EIO) + ")"))
      << front.LogText();
  EXPECT_TRUE(HasLine(
      "complete : 1 files, partial : 2 files, missing : 1 files, differ : 1 files, to copy : 28000 bytes"));
  EXPECT_TRUE(HasLine("read error, try again later"));
  ASSERT_EQ(front.ScanSummaries().size(), 1u);
  EXPECT_EQ(front.ScanSummaries()[0].result, kResultReadFailure);
}

TEST_F(ScanThreadProcTest, AClearedRunFlagStopsTheScan) {
  MakeTree();
  g_RunState.sources = {"/mem/src"_path, "/mem/src"_path};
  g_RunState.runFlag = false;
  g_RunState.workerFinished = false;
  ScanThreadProc();
  EXPECT_TRUE(front.ScanSummaries().empty());
  EXPECT_TRUE(g_RunState.workerFinished);
  EXPECT_EQ(front.startCommands.load(), 0);
}

// The scan's bytes to copy are what the run that follows writes, and its
// verdicts are the run's: complete files are skipped, the differing one
// is left alone.
TEST_F(ScanThreadProcTest, TheRunThatFollowsDoesWhatTheScanSaid) {
  MakeTree();
  Scan({"/mem/src"_path});
  ASSERT_EQ(front.ScanSummaries().size(), 1u);
  const uint64_t toCopy = front.ScanSummaries()[0].bytesToCopy;
  fs.ResetCounters();
  g_RunState.sources = {"/mem/src"_path};
  g_RunState.runFlag = true;
  g_RunState.workerFinished = false;
  EXPECT_EQ(CopyThreadProc(), kResultWriteFailure);
  uint64_t written = 0;
  for (const char* name :
       {"done.bin", "equal.bin", "sub/part.bin", "stamped.bin", "differs.bin", "missing.bin"})
    written += fs.BytesWritten("/mem/dst/src/"_path + NativePath(name));
  EXPECT_EQ(written, toCopy);
  const std::string text = front.LogText();
  EXPECT_NE(text.find("\"done.bin\"       10000 bytes,    0 mb, 100% - allready exist"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"equal.bin\"       20000 bytes,    0 mb, 100% - allready exist"), std::string::npos)
      << text;
  EXPECT_NE(text.find("/mem/dst/src/differs.bin"_path + " differs from its source, left alone"),
            std::string::npos);
}

TEST_F(ScanThreadProcTest, PartFilesFollowTheCopyByPartsRules) {
  front.copyByParts = true;
  front.reget = true;
  front.header = 100;
  front.partNumber = 2;
  front.partSize = 1000;
  // Part 2 of a 5000-byte file: the header, then bytes 1100 to 2100.
  fs.AddPatternFile("/mem/src/whole.bin"_path, 5000, 1, kTime);
  fs.AddPatternFile("/mem/src/half.bin"_path, 5000, 2, kTime);
  fs.AddPatternFile("/mem/src/none.bin"_path, 5000, 3, kTime);
  const std::string wholePart =
      CMemFileSystem::PatternBytes(1, 0, 100) + CMemFileSystem::PatternBytes(1, 1100, 1000);
  const std::string halfPart =
      CMemFileSystem::PatternBytes(2, 0, 100) + CMemFileSystem::PatternBytes(2, 1100, 400);
  fs.AddFolder("/mem/dst"_path);
  fs.AddFile("/mem/dst/src/whole.bin"_path, wholePart, kOtherTime);
  fs.AddFile("/mem/dst/src/half.bin"_path, halfPart, kOtherTime);
  EXPECT_EQ(Scan({"/mem/src"_path}), kResultOk);
  EXPECT_TRUE(HasLine(
      "complete : 1 files, partial : 1 files, missing : 1 files, differ : 0 files, to copy : 1700 bytes"))
      << front.LogText();

  // Without ReGet a run writes every part file again.
  front.reget = false;
  Scan({"/mem/src"_path});
  EXPECT_TRUE(HasLine(
      "complete : 0 files, partial : 2 files, missing : 1 files, differ : 0 files, to copy : 3300 bytes"))
      << front.LogText();
}

TEST(DestinationStateTest, WholeFileStepFollowsTheStampAndTheLength) {
  CFindData source;
  source.size = 100;
  source.time_write = kTime;
  CFindData existing = source;
  EXPECT_EQ(WholeFileStep(existing, source), CWholeFileStep::kComplete);
  existing.time_write = kOtherTime;
  EXPECT_EQ(WholeFileStep(existing, source), CWholeFileStep::kCheckComplete);
  existing.size = 150;
  EXPECT_EQ(WholeFileStep(existing, source), CWholeFileStep::kCheckComplete);
  existing.size = 50;
  EXPECT_EQ(WholeFileStep(existing, source), CWholeFileStep::kCheckContinue);
  existing.time_write = kTime;
  EXPECT_EQ(WholeFileStep(existing, source), CWholeFileStep::kContinue);
  existing.size = 0;
  existing.time_write = kOtherTime;
  EXPECT_EQ(WholeFileStep(existing, source), CWholeFileStep::kContinue);
  source.size = 0;
  EXPECT_EQ(WholeFileStep(existing, source), CWholeFileStep::kComplete);
}

TEST(DestinationStateTest, PartPlanCutsAsTheCopyByParts) {
  const CPartPlan plan = PartPlanOf(1024, 3, 100, 1500, true);
  EXPECT_EQ(plan.header, 1024u);
  EXPECT_EQ(plan.partStart, 1224u);
  EXPECT_EQ(plan.partEnd, 1324u);
  EXPECT_TRUE(plan.reget);
  EXPECT_EQ(PartPlanOf(1024, 9, 100, 1500, false).partEnd, 1500u);
}

}  // namespace

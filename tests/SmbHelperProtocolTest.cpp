// SPDX-License-Identifier: GPL-3.0-or-later
// The messages between the program and its SMB helper processes: what one
// side sends the other receives whole, and a peer that goes away, says
// nothing or sends nonsense is told apart.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/smb/SmbHelperProtocol.h"

namespace {

class SmbHelperProtocolTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0); }
  void TearDown() override {
    for (int end : ends)
      if (end >= 0) close(end);
  }
  int ends[2] = {-1, -1};
};

TEST_F(SmbHelperProtocolTest, ARequestArrivesWholeWithItsNumbersAndTexts) {
  CSmbHelperWriter writer;
  writer.Text("smb://nas/films/été 2024.mkv");
  writer.Number64(uint64_t{5} << 32);
  writer.Number32(4096);
  writer.Text("");
  ASSERT_TRUE(SendSmbHelperMessage(ends[0], 2, writer.Bytes()));

  uint32_t kind = 0;
  std::vector<uint8_t> payload;
  ASSERT_TRUE(ReceiveSmbHelperMessage(ends[1], kind, payload, SmbHelperNowMs() + 5000));
  EXPECT_EQ(kind, 2u);
  CSmbHelperReader reader(payload);
  std::string path;
  std::string empty = "x";
  uint64_t position = 0;
  uint32_t count = 0;
  ASSERT_TRUE(reader.Text(path) && reader.Number64(position) && reader.Number32(count) && reader.Text(empty));
  EXPECT_EQ(path, "smb://nas/films/été 2024.mkv");
  EXPECT_EQ(position, uint64_t{5} << 32);
  EXPECT_EQ(count, 4096u);
  EXPECT_EQ(empty, "");
  // Nothing more is there to take.
  EXPECT_FALSE(reader.Number32(count));

  // A payload larger than a socket's buffer comes whole too.
  std::vector<uint8_t> big(3 << 20);
  for (size_t n = 0; n < big.size(); ++n) big[n] = static_cast<uint8_t>(n * 7);
  std::thread sender([&] { EXPECT_TRUE(SendSmbHelperMessage(ends[1], 0, big)); });
  ASSERT_TRUE(ReceiveSmbHelperMessage(ends[0], kind, payload, SmbHelperNowMs() + 5000));
  sender.join();
  EXPECT_EQ(kind, 0u);
  EXPECT_TRUE(payload == big);
}

TEST_F(SmbHelperProtocolTest, ASilentPeerAGonePeerAndNonsenseAreToldApart) {
  uint32_t kind = 0;
  std::vector<uint8_t> payload;
  const int64_t before = SmbHelperNowMs();
  EXPECT_FALSE(ReceiveSmbHelperMessage(ends[1], kind, payload, SmbHelperNowMs() + 200));
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_GE(SmbHelperNowMs() - before, 200);

  // A header that promises more than any reply holds.
  const uint8_t nonsense[12] = {0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0};
  ASSERT_EQ(send(ends[0], nonsense, sizeof nonsense, 0), 12);
  EXPECT_FALSE(ReceiveSmbHelperMessage(ends[1], kind, payload, SmbHelperNowMs() + 5000));
  EXPECT_EQ(errno, EPROTO);

  // A peer that goes away in the middle of a message.
  const uint8_t half[6] = {1, 0, 0, 0, 9, 0};
  ASSERT_EQ(send(ends[0], half, sizeof half, 0), 6);
  close(ends[0]);
  ends[0] = -1;
  EXPECT_FALSE(ReceiveSmbHelperMessage(ends[1], kind, payload, SmbHelperNowMs() + 5000));
  EXPECT_EQ(errno, EPIPE);
  // Sending to it fails, and raises no SIGPIPE that would end the program.
  EXPECT_FALSE(SendSmbHelperMessage(ends[1], 1, payload));
  EXPECT_EQ(errno, EPIPE);
}

// A descriptor sent over the socket arrives as one the receiver can use; a
// byte without one is told from it.
TEST_F(SmbHelperProtocolTest, ADescriptorArrivesUsableAndAByteWithoutOneIsRefused) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_TRUE(SendSmbHelperFd(ends[0], pipeEnds[1]));
  close(pipeEnds[1]);
  int passed = -1;
  ASSERT_TRUE(ReceiveSmbHelperFd(ends[1], passed, SmbHelperNowMs() + 5000));
  ASSERT_GE(passed, 0);
  EXPECT_NE(fcntl(passed, F_GETFD) & FD_CLOEXEC, 0);
  ASSERT_EQ(write(passed, "ok", 2), 2);
  close(passed);
  char got[3] = {};
  EXPECT_EQ(read(pipeEnds[0], got, sizeof got), 2);
  EXPECT_STREQ(got, "ok");
  close(pipeEnds[0]);

  const uint8_t plain = 0;
  ASSERT_EQ(send(ends[0], &plain, 1, 0), 1);
  EXPECT_FALSE(ReceiveSmbHelperFd(ends[1], passed, SmbHelperNowMs() + 5000));
  EXPECT_EQ(errno, EPROTO);
  EXPECT_EQ(passed, -1);
  EXPECT_FALSE(ReceiveSmbHelperFd(ends[1], passed, SmbHelperNowMs() + 100));
  EXPECT_EQ(errno, ETIMEDOUT);
}

}  // namespace

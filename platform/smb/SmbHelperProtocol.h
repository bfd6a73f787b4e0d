// SPDX-License-Identifier: GPL-3.0-or-later
// The messages between the program and its SMB helper processes
// (SmbHelperPool.h): each helper reads share files with a libsmbclient of
// its own, so that requests of several helpers go out together, which the
// one library of a process cannot do (SmbContext.h), and a fault of the
// library stays in the helper.
//
// A message is its kind (4 bytes), the length of its payload (8 bytes),
// both little-endian, and the payload. The program sends a request, the
// helper answers it with one reply, whose kind is 0 for success or the
// errno of the failure. Numbers in payloads are little-endian, texts are
// their length (4 bytes) and their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The requests.
enum class CSmbHelperRequest : uint32_t {
  // The time limit (4 bytes, ms) and the credentials (user, domain,
  // password: three texts) of every connection the helper makes from now
  // on, then the addresses the user wrote (their count, 4 bytes, and the
  // texts; see SetWrittenSmbAddresses), so that the helper reads each path
  // as the program does. Replied with an empty payload.
  kSetup = 1,
  // Reads a file as CFileSystem::ReadFileAt does: its path (a text), the
  // start, the count and the expected end (8 bytes each). Replied with the
  // bytes read.
  kReadFile = 2,
  // Starts another helper as a copy of this one (fork), for a helper that
  // has loaded the module but served nothing else: starting from a process
  // that has already loaded Samba's client libraries costs a millisecond or
  // two, where loading them afresh costs tens. The request's payload is
  // empty; its socket end follows it as a descriptor (SendSmbHelperFd). The
  // new helper takes that end as its standard input and starts with no
  // settings, as a started one does. Replied with its process id (8 bytes),
  // followed by a pidfd of it, by which the program ends it and learns that
  // it ended (the copy's parent reaps it).
  kFork = 3,
  // Logs on to the server and share of a path (a text) and looks the path
  // up, so that the helper has its connection before its first read.
  // Replied with an empty payload, or with the errno of the failure.
  kReach = 4,
};

// The most a payload may hold: a read of kFetchFileBytes and its framing
// fit well within it. A longer one tells a broken peer.
inline constexpr uint64_t kSmbHelperMostPayload = uint64_t{1} << 30;

// Builds a payload: numbers and texts appended in order.
class CSmbHelperWriter {
public:
  void Number32(uint32_t value);
  void Number64(uint64_t value);
  void Text(const std::string& text);
  std::vector<uint8_t>& Bytes() { return m_bytes; }
  // Overwrites the payload (it may hold a password) and empties it.
  void Wipe();

private:
  std::vector<uint8_t> m_bytes;
};

// Takes numbers and texts from a payload in the order they were written.
// Each returns false, taking nothing, when the payload holds too few bytes.
class CSmbHelperReader {
public:
  explicit CSmbHelperReader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
  bool Number32(uint32_t& value);
  bool Number64(uint64_t& value);
  bool Text(std::string& text);

private:
  const std::vector<uint8_t>& m_bytes;
  size_t m_at = 0;
};

// Sends a message of kind with payload on the socket fd, never raising
// SIGPIPE. Returns true when it was sent whole; false with errno set when
// the peer is gone or the socket failed.
bool SendSmbHelperMessage(int fd, uint32_t kind, const std::vector<uint8_t>& payload);

// Receives one message from the socket fd into kind and payload, waiting at
// most until deadlineMs on the monotonic clock (SmbHelperNowMs; a negative
// deadline waits as long as it takes). Returns true when a whole message
// came; false with errno ETIMEDOUT when the deadline passed first, EPIPE
// when the peer closed the socket, EPROTO when the message is malformed, or
// the socket's errno.
bool ReceiveSmbHelperMessage(int fd, uint32_t& kind, std::vector<uint8_t>& payload, int64_t deadlineMs);

// Sends the descriptor fd over the socket socketFd, as one byte that carries
// it. Returns true when it was sent; false with errno set otherwise.
bool SendSmbHelperFd(int socketFd, int fd);

// Receives a descriptor sent by SendSmbHelperFd from the socket socketFd
// into fd, close-on-exec, waiting as ReceiveSmbHelperMessage does. Returns
// true when one came; false with errno set as ReceiveSmbHelperMessage
// says, EPROTO when the byte came without a descriptor.
bool ReceiveSmbHelperFd(int socketFd, int& fd, int64_t deadlineMs);

// Returns the monotonic clock in milliseconds.
int64_t SmbHelperNowMs();

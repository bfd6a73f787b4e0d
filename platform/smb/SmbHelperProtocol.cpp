// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbHelperProtocol.h"

#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// Sends count bytes of data on fd, whole. Returns true, or false with errno.
bool SendAll(int fd, const uint8_t* data, size_t count) {
  while (count > 0) {
    const ssize_t sent = send(fd, data, count, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    count -= static_cast<size_t>(sent);
  }
  return true;
}

// Waits until fd has bytes to read or deadlineMs has passed. Returns true
// when it has; false with errno ETIMEDOUT or poll's.
bool AwaitBytes(int fd, int64_t deadlineMs) {
  for (;;) {
    int wait = -1;
    if (deadlineMs >= 0) {
      const int64_t left = deadlineMs - SmbHelperNowMs();
      if (left <= 0) {
        errno = ETIMEDOUT;
        return false;
      }
      wait = static_cast<int>(left > 60000 ? 60000 : left);
    }
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, wait);
    if (polled > 0) return true;
    if (polled < 0 && errno != EINTR) return false;
  }
}

// Receives count bytes from fd into data by deadlineMs. Returns true, or
// false with errno as ReceiveSmbHelperMessage says.
bool ReceiveAll(int fd, uint8_t* data, size_t count, int64_t deadlineMs) {
  while (count > 0) {
    if (!AwaitBytes(fd, deadlineMs)) return false;
    const ssize_t got = recv(fd, data, count, 0);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    if (got == 0) {
      errno = EPIPE;
      return false;
    }
    data += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

// One byte with room for one descriptor beside it, as sendmsg and recvmsg
// take them.
struct CFdMessage {
  CFdMessage() {
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
  }
  CFdMessage(const CFdMessage&) = delete;
  CFdMessage& operator=(const CFdMessage&) = delete;

  uint8_t byte = 0;
  iovec part{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
};

void PutNumber(uint8_t* at, uint64_t value, int bytes) {
  for (int n = 0; n < bytes; ++n) at[n] = static_cast<uint8_t>(value >> (8 * n));
}

uint64_t GetNumber(const uint8_t* at, int bytes) {
  uint64_t value = 0;
  for (int n = 0; n < bytes; ++n) value |= static_cast<uint64_t>(at[n]) << (8 * n);
  return value;
}

}  // namespace

void CSmbHelperWriter::Number32(uint32_t value) {
  const size_t at = m_bytes.size();
  m_bytes.resize(at + 4);
  PutNumber(m_bytes.data() + at, value, 4);
}

void CSmbHelperWriter::Number64(uint64_t value) {
  const size_t at = m_bytes.size();
  m_bytes.resize(at + 8);
  PutNumber(m_bytes.data() + at, value, 8);
}

void CSmbHelperWriter::Text(const std::string& text) {
  Number32(static_cast<uint32_t>(text.size()));
  m_bytes.insert(m_bytes.end(), text.begin(), text.end());
}

void CSmbHelperWriter::Wipe() {
  m_bytes.resize(m_bytes.capacity());
  explicit_bzero(m_bytes.data(), m_bytes.size());
  m_bytes.clear();
}

bool CSmbHelperReader::Number32(uint32_t& value) {
  if (m_bytes.size() - m_at < 4) return false;
  value = static_cast<uint32_t>(GetNumber(m_bytes.data() + m_at, 4));
  m_at += 4;
  return true;
}

bool CSmbHelperReader::Number64(uint64_t& value) {
  if (m_bytes.size() - m_at < 8) return false;
  value = GetNumber(m_bytes.data() + m_at, 8);
  m_at += 8;
  return true;
}

bool CSmbHelperReader::Text(std::string& text) {
  uint32_t length = 0;
  const size_t at = m_at;
  if (!Number32(length)) return false;
  if (m_bytes.size() - m_at < length) {
    m_at = at;
    return false;
  }
  text.assign(reinterpret_cast<const char*>(m_bytes.data() + m_at), length);
  m_at += length;
  return true;
}

bool SendSmbHelperMessage(int fd, uint32_t kind, const std::vector<uint8_t>& payload) {
  uint8_t header[12];
  PutNumber(header, kind, 4);
  PutNumber(header + 4, payload.size(), 8);
  return SendAll(fd, header, sizeof header) && SendAll(fd, payload.data(), payload.size());
}

bool ReceiveSmbHelperMessage(int fd, uint32_t& kind, std::vector<uint8_t>& payload, int64_t deadlineMs) {
  uint8_t header[12];
  if (!ReceiveAll(fd, header, sizeof header, deadlineMs)) return false;
  const uint64_t length = GetNumber(header + 4, 8);
  if (length > kSmbHelperMostPayload) {
    errno = EPROTO;
    return false;
  }
  kind = static_cast<uint32_t>(GetNumber(header, 4));
  payload.resize(static_cast<size_t>(length));
  return ReceiveAll(fd, payload.data(), payload.size(), deadlineMs);
}

bool SendSmbHelperFd(int socketFd, int fd) {
  CFdMessage carrier;
  msghdr& message = carrier.message;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
  for (;;) {
    if (sendmsg(socketFd, &message, MSG_NOSIGNAL) == 1) return true;
    if (errno != EINTR) return false;
  }
}

bool ReceiveSmbHelperFd(int socketFd, int& fd, int64_t deadlineMs) {
  fd = -1;
  for (;;) {
    if (!AwaitBytes(socketFd, deadlineMs)) return false;
    CFdMessage carrier;
    msghdr& message = carrier.message;
    const ssize_t got = recvmsg(socketFd, &message, MSG_CMSG_CLOEXEC);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    if (got == 0) {
      errno = EPIPE;
      return false;
    }
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header))
      if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
          header->cmsg_len >= CMSG_LEN(sizeof(int))) {
        // Only one descriptor is ever sent; any more would be a broken
        // peer's, and are closed.
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t n = 0; n < count; ++n) {
          int passed = -1;
          std::memcpy(&passed, CMSG_DATA(header) + n * sizeof(int), sizeof(int));
          if (fd < 0)
            fd = passed;
          else
            close(passed);
        }
      }
    if (fd >= 0 && (message.msg_flags & MSG_CTRUNC) == 0) return true;
    if (fd >= 0) close(fd);
    fd = -1;
    errno = EPROTO;
    return false;
  }
}

int64_t SmbHelperNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

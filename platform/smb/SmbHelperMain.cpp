// SPDX-License-Identifier: GPL-3.0-or-later
// ferrox-smb-helper: reads share files for the program that started it
// (SmbHelperPool.h), with a libsmbclient of its own, over the socket it gets
// as standard input (SmbHelperProtocol.h). It serves one request at a time
// and ends when the program closes the socket or goes away.
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Connections.h"
#include "platform/SmbModule.h"
#include "platform/smb/SmbCredentials.h"
#include "platform/smb/SmbHelperProtocol.h"
#include "platform/smb/SmbTimeout.h"

namespace {

// Takes the settings of a setup request. Returns false when the payload is
// malformed.
bool TakeSetup(const std::vector<uint8_t>& payload) {
  CSmbHelperReader reader(payload);
  uint32_t timeoutMs = 0;
  CSmbCredentials credentials;
  const bool whole = reader.Number32(timeoutMs) && reader.Text(credentials.user) &&
                     reader.Text(credentials.domain) && reader.Text(credentials.password);
  if (whole) {
    SetSmbTimeoutMs(timeoutMs);
    SetSmbCredentials(credentials);
  }
  credentials.password.resize(credentials.password.capacity());
  explicit_bzero(credentials.password.data(), credentials.password.size());
  return whole;
}

// Serves a read request into reply. Returns the reply's kind: 0 when the
// bytes were read, the errno of the failure otherwise (EPROTO for a
// malformed request).
uint32_t ServeRead(const std::vector<uint8_t>& payload, std::vector<uint8_t>& reply) {
  CSmbHelperReader reader(payload);
  std::string path;
  uint64_t start = 0;
  uint64_t count = 0;
  uint64_t end = 0;
  reply.clear();
  if (!reader.Text(path) || !reader.Number64(start) || !reader.Number64(count) || !reader.Number64(end) ||
      count > kSmbHelperMostPayload)
    return EPROTO;
  if (SmbModuleFileSystem().ReadFileAt(path, start, static_cast<size_t>(count), end, reply)) return 0;
  reply.clear();
  return errno != 0 ? static_cast<uint32_t>(errno) : EIO;
}

}  // namespace

int main() {
  // Nothing else may read this process's memory, which holds the password.
  prctl(PR_SET_DUMPABLE, 0);
  signal(SIGPIPE, SIG_IGN);
  // A helper reads over its one connection and starts no helpers itself.
  SetConnections(1);
  constexpr int kSocket = STDIN_FILENO;
  std::vector<uint8_t> request;
  std::vector<uint8_t> reply;
  for (;;) {
    uint32_t kind = 0;
    // The program closed the socket or went away: nothing is left to do
    // (_exit, for nothing held here needs to be written out).
    if (!ReceiveSmbHelperMessage(kSocket, kind, request, -1)) _exit(0);
    uint32_t answer = 0;
    reply.clear();
    switch (static_cast<CSmbHelperRequest>(kind)) {
      case CSmbHelperRequest::kSetup:
        answer = TakeSetup(request) ? 0 : EPROTO;
        request.resize(request.capacity());
        explicit_bzero(request.data(), request.size());
        break;
      case CSmbHelperRequest::kReadFile:
        answer = ServeRead(request, reply);
        break;
      default:
        answer = EPROTO;
        break;
    }
    if (!SendSmbHelperMessage(kSocket, answer, reply)) _exit(0);
  }
}

// SPDX-License-Identifier: GPL-3.0-or-later
// A TCP relay that holds every chunk of bytes for a fixed delay in each direction: a link with a
// round trip of twice the delay in front of a local server, for the benchmark rows over a slow
// link (the kernel of the benchmark machine has no netem).
//
//   latency_relay --listen PORT --target PORT --delay-ms MS [--count FILE]
//
// Listens on 127.0.0.1:PORT (0: a free port) and prints the port it listens on as one line on
// standard output. Each accepted connection gets a connection of its own to 127.0.0.1:TARGET, and
// the bytes read from either side are written to the other once MS milliseconds (a decimal number)
// have passed since they were read, in the order they were read. Each direction is a queue of
// chunks stamped with their time of arrival, so many chunks are under way at once and the delay
// adds latency without limiting throughput. An end of stream is passed on (shutdown) after the
// same delay. One thread, ppoll; TCP_NODELAY on every socket. Unlike a real link, the TCP handshake
// itself is not delayed, so each connection starts one round trip sooner than it would.
//
// With --count FILE the relay also parses what clients send as SMB2 over direct TCP (each message
// a 4-byte prefix holding its length, then the message) and counts the messages and the SMB2
// requests in them (a compound message chains several by NextCommand). FILE is written at the start
// and rewritten whenever a connection ends, as one line:
//   connections=N open=N messages=N requests=N up_bytes=N down_bytes=N
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkMax = 256 * 1024;         // the most one read takes
constexpr size_t kQueueMax = 64u * 1024 * 1024;  // a direction stops reading while it holds this much
constexpr size_t kNone = SIZE_MAX;

// Counts SMB2 messages and requests in a byte stream fed in pieces of any size.
class SmbCounter {
public:
  // Takes the next n bytes of the stream. Returns nothing; the counts grow as messages and request
  // headers are completed.
  void Feed(const char* p, size_t n) {
    while (n > 0) {
      if (left_ == 0) {  // the length prefix of the next message
        prefix_[prefixGot_++] = static_cast<unsigned char>(*p++);
        --n;
        if (prefixGot_ < 4) continue;
        prefixGot_ = 0;
        ++messages_;
        left_ = (size_t{prefix_[1]} << 16) | (size_t{prefix_[2]} << 8) | prefix_[3];
        pos_ = 0;
        header_ = 0;
        continue;
      }
      if (header_ != kNone && pos_ >= header_) {  // inside the first 24 bytes of a request header
        head_[pos_ - header_] = static_cast<unsigned char>(*p++);
        --n;
        ++pos_;
        --left_;
        if (pos_ - header_ == sizeof head_) HeaderDone();
        continue;
      }
      const size_t limit = header_ == kNone ? left_ : header_ - pos_;
      const size_t skip = std::min({n, left_, limit});
      p += skip;
      n -= skip;
      pos_ += skip;
      left_ -= skip;
    }
  }

  // Returns the messages whose length prefix has been read.
  uint64_t Messages() const { return messages_; }
  // Returns the requests whose header has been read: one per SMB2 header, one per message of
  // another kind (SMB1, or an encrypted one).
  uint64_t Requests() const { return requests_; }

private:
  // Counts the header just read and returns nothing; sets where the next header of the same
  // message starts (NextCommand), or that there is none.
  void HeaderDone() {
    ++requests_;
    const bool smb2 = head_[0] == 0xFE && head_[1] == 'S' && head_[2] == 'M' && head_[3] == 'B';
    const uint32_t next = uint32_t{head_[20]} | (uint32_t{head_[21]} << 8) | (uint32_t{head_[22]} << 16) |
                          (uint32_t{head_[23]} << 24);
    header_ = smb2 && next >= 64 ? header_ + next : kNone;  // an SMB2 header is 64 bytes
  }

  unsigned char prefix_[4] = {};
  size_t prefixGot_ = 0;
  size_t left_ = 0;        // bytes of the current message not yet read
  size_t pos_ = 0;         // offset in the current message
  size_t header_ = kNone;  // offset of the next request header in it
  unsigned char head_[24] = {};
  uint64_t messages_ = 0;
  uint64_t requests_ = 0;
};

struct Chunk {
  Clock::time_point due;
  std::string bytes;  // empty: the end of the stream
  size_t sent = 0;
};

// One direction of a connection: bytes read from `from`, queued, written to `to`.
struct Direction {
  int from = -1;
  int to = -1;
  std::deque<Chunk> queue;
  size_t queued = 0;
  bool readEnded = false;
  bool writeEnded = false;
  uint64_t bytes = 0;
  SmbCounter* counter = nullptr;
};

struct Connection {
  int client = -1;
  int server = -1;
  Direction up;    // client to server
  Direction down;  // server to client
  SmbCounter counter;
  bool failed = false;
};

struct Totals {
  uint64_t connections = 0;
  uint64_t messages = 0;
  uint64_t requests = 0;
  uint64_t upBytes = 0;
  uint64_t downBytes = 0;
};

Clock::duration g_delay{};
const char* g_countFile = nullptr;

// Returns true when the direction waits to read from its source.
bool WantsRead(const Direction& d) { return !d.readEnded && d.queued < kQueueMax; }

// Returns true when the first chunk of the direction is due but could not be written yet (the
// destination's buffer was full).
bool WantsWrite(const Direction& d, Clock::time_point now) {
  return !d.writeEnded && !d.queue.empty() && d.queue.front().due <= now;
}

// Writes the chunks that are due, in order, until one does not fit. Returns false when the
// destination failed (reset, closed), true otherwise.
bool Flush(Direction& d, Clock::time_point now) {
  while (!d.queue.empty() && d.queue.front().due <= now) {
    Chunk& c = d.queue.front();
    if (c.bytes.empty()) {
      shutdown(d.to, SHUT_WR);
      d.writeEnded = true;
      d.queue.pop_front();
      continue;
    }
    const ssize_t n = send(d.to, c.bytes.data() + c.sent, c.bytes.size() - c.sent, MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    c.sent += static_cast<size_t>(n);
    if (c.sent < c.bytes.size()) return true;
    d.queued -= c.bytes.size();
    d.queue.pop_front();
  }
  return true;
}

// Reads once from the direction's source into a new chunk due after the delay. Returns nothing; an
// end of stream, or a failed read (a reset), queues the end of the stream.
void Read(Direction& d, Clock::time_point now, char* buffer) {
  const ssize_t n = recv(d.from, buffer, kChunkMax, 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (n <= 0) {
    d.readEnded = true;
    d.queue.push_back(Chunk{now + g_delay, std::string(), 0});
    return;
  }
  const auto size = static_cast<size_t>(n);
  if (d.counter != nullptr) d.counter->Feed(buffer, size);
  d.queue.push_back(Chunk{now + g_delay, std::string(buffer, size), 0});
  d.queued += size;
  d.bytes += size;
}

// Sets TCP_NODELAY and O_NONBLOCK on a socket. Returns nothing.
void Prepare(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Returns a socket connected to 127.0.0.1:port, or -1 when the connection failed.
int ConnectTarget(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Returns a non-blocking socket listening on 127.0.0.1:port (0: a free port) with the port chosen
// stored in *bound, or -1 when it could not be made.
int Listen(uint16_t port, uint16_t* bound) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 128) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    close(fd);
    return -1;
  }
  *bound = ntohs(a.sin_port);
  return fd;
}

// Rewrites the count file (when there is one) with the totals and the connections still open.
// Returns nothing; a file that cannot be written is left as it was.
void WriteCounts(const Totals& totals, const std::list<Connection>& open) {
  if (g_countFile == nullptr) return;
  Totals t = totals;
  for (const Connection& c : open) {
    t.messages += c.counter.Messages();
    t.requests += c.counter.Requests();
    t.upBytes += c.up.bytes;
    t.downBytes += c.down.bytes;
  }
  const std::string temporary = std::string(g_countFile) + ".new";
  FILE* f = std::fopen(temporary.c_str(), "w");
  if (f == nullptr) return;
  std::fprintf(f, "connections=%llu open=%zu messages=%llu requests=%llu up_bytes=%llu down_bytes=%llu\n",
               static_cast<unsigned long long>(t.connections), open.size(),
               static_cast<unsigned long long>(t.messages), static_cast<unsigned long long>(t.requests),
               static_cast<unsigned long long>(t.upBytes), static_cast<unsigned long long>(t.downBytes));
  if (std::fclose(f) == 0) std::rename(temporary.c_str(), g_countFile);
}

// Returns the time until the earliest chunk not yet due, or nothing when no chunk waits for time.
std::optional<Clock::duration> NextDue(const std::list<Connection>& open, Clock::time_point now) {
  std::optional<Clock::duration> next;
  for (const Connection& c : open) {
    for (const Direction* d : {&c.up, &c.down}) {
      if (d->queue.empty() || d->queue.front().due <= now) continue;
      const Clock::duration wait = d->queue.front().due - now;
      if (!next || wait < *next) next = wait;
    }
  }
  return next;
}

// Parses a port number. Returns it, or -1 when text is not one.
long ParsePort(const char* text) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  return *text != '\0' && *end == '\0' && v >= 0 && v <= 65535 ? v : -1;
}

// Accepts every waiting connection and connects each to the target. Returns nothing; a connection
// whose target cannot be reached is closed.
void AcceptAll(int listener, uint16_t target, std::list<Connection>& open, Totals& totals) {
  for (;;) {
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    const int server = ConnectTarget(target);
    if (server < 0) {
      std::fprintf(stderr, "latency_relay: cannot connect to 127.0.0.1:%u: %s\n", target,
                   std::strerror(errno));
      close(client);
      continue;
    }
    Prepare(client);
    Prepare(server);
    Connection& c = open.emplace_back();
    c.client = client;
    c.server = server;
    c.up.from = client;
    c.up.to = server;
    c.up.counter = g_countFile != nullptr ? &c.counter : nullptr;
    c.down.from = server;
    c.down.to = client;
    ++totals.connections;
  }
}

// Relays until killed. Returns only when polling fails.
int Run(int listener, uint16_t target) {
  std::list<Connection> open;
  Totals totals;
  std::vector<char> buffer(kChunkMax);
  std::vector<pollfd> fds;
  std::vector<Connection*> owners;  // the connection of each entry of fds after the first
  WriteCounts(totals, open);
  for (;;) {
    Clock::time_point now = Clock::now();
    bool ended = false;
    for (auto it = open.begin(); it != open.end();) {
      Connection& c = *it;
      if (!Flush(c.up, now) || !Flush(c.down, now)) c.failed = true;
      if (c.failed || (c.up.writeEnded && c.down.writeEnded)) {
        close(c.client);
        close(c.server);
        totals.messages += c.counter.Messages();
        totals.requests += c.counter.Requests();
        totals.upBytes += c.up.bytes;
        totals.downBytes += c.down.bytes;
        it = open.erase(it);
        ended = true;
      } else {
        ++it;
      }
    }
    if (ended) WriteCounts(totals, open);

    fds.assign(1, pollfd{listener, POLLIN, 0});
    owners.clear();
    for (Connection& c : open) {
      const auto client =
          static_cast<short>((WantsRead(c.up) ? POLLIN : 0) | (WantsWrite(c.down, now) ? POLLOUT : 0));
      const auto server =
          static_cast<short>((WantsRead(c.down) ? POLLIN : 0) | (WantsWrite(c.up, now) ? POLLOUT : 0));
      // A socket with nothing wanted is left out (-1): its hang-up would wake the poll at once.
      fds.push_back(pollfd{client != 0 ? c.client : -1, client, 0});
      fds.push_back(pollfd{server != 0 ? c.server : -1, server, 0});
      owners.push_back(&c);
    }
    timespec wait{};
    const std::optional<Clock::duration> next = NextDue(open, now);
    if (next) {
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*next).count() + 1;
      wait.tv_sec = static_cast<time_t>(ns / 1000000000);
      wait.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    if (ppoll(fds.data(), fds.size(), next ? &wait : nullptr, nullptr) < 0) {
      if (errno == EINTR) continue;
      std::perror("latency_relay: ppoll");
      return 1;
    }
    now = Clock::now();
    for (size_t i = 0; i < owners.size(); ++i) {
      Connection& c = *owners[i];
      const short ready = POLLIN | POLLHUP | POLLERR;
      if ((fds[1 + 2 * i].revents & ready) != 0 && WantsRead(c.up)) Read(c.up, now, buffer.data());
      if ((fds[2 + 2 * i].revents & ready) != 0 && WantsRead(c.down)) Read(c.down, now, buffer.data());
    }
    if ((fds[0].revents & POLLIN) != 0) AcceptAll(listener, target, open, totals);
  }
}

}  // namespace

int main(int argc, char** argv) {
  long listenPort = -1;
  long targetPort = -1;
  double delayMs = -1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--listen") {
      listenPort = ParsePort(argv[i + 1]);
    } else if (option == "--target") {
      targetPort = ParsePort(argv[i + 1]);
    } else if (option == "--delay-ms") {
      char* end = nullptr;
      delayMs = std::strtod(argv[i + 1], &end);
      if (*end != '\0') delayMs = -1;
    } else if (option == "--count") {
      g_countFile = argv[i + 1];
    } else {
      listenPort = -1;
      break;
    }
  }
  if (argc % 2 == 0 || listenPort < 0 || targetPort <= 0 || !(delayMs >= 0)) {
    std::fprintf(stderr, "usage: %s --listen PORT --target PORT --delay-ms MS [--count FILE]\n", argv[0]);
    return 2;
  }
  g_delay = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(delayMs));
  std::signal(SIGPIPE, SIG_IGN);
  uint16_t bound = 0;
  const int listener = Listen(static_cast<uint16_t>(listenPort), &bound);
  if (listener < 0) {
    std::perror("latency_relay: listen");
    return 1;
  }
  std::printf("%u\n", bound);
  std::fflush(stdout);
  return Run(listener, static_cast<uint16_t>(targetPort));
}

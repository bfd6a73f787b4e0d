// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/SambaServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

namespace {

constexpr const char* kSmbd = "/usr/sbin/smbd";
constexpr auto kStartLimit = std::chrono::seconds(15);
constexpr auto kStopGrace = std::chrono::seconds(5);
constexpr auto kPoll = std::chrono::milliseconds(20);

// Returns a TCP port on 127.0.0.1 that nothing listens on just now, or 0.
uint16_t FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

// Returns true when something takes TCP connections on host:port.
bool Listening(const std::string& host, uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    close(fd);
    return false;
  }
  address.sin_port = htons(port);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// Returns true while a process of the process group group lives (zombies
// do not count).
bool GroupAlive(pid_t group) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return kill(-group, 0) == 0;
  bool alive = false;
  while (const dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
    std::string stat;
    std::getline(in, stat);
    // "pid (name) state ppid pgrp ...": the name may hold anything but ends
    // at the last ')'.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    long parent = 0;
    long processGroup = 0;
    if (!(fields >> state >> parent >> processGroup)) continue;
    if (processGroup == group && state != 'Z' && state != 'X') {
      alive = true;
      break;
    }
  }
  closedir(proc);
  return alive;
}

// Creates the folder path (its parent must exist); true when it is there.
bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST; }

// A command line for execv, built before fork so that the child allocates
// nothing.
class CArgv {
public:
  explicit CArgv(std::vector<std::string> args) : m_args(std::move(args)) {
    for (std::string& arg : m_args) m_pointers.push_back(arg.data());
    m_pointers.push_back(nullptr);
  }
  char* const* Get() { return m_pointers.data(); }
  const char* Program() const { return m_args.front().c_str(); }

private:
  std::vector<std::string> m_args;
  std::vector<char*> m_pointers;
};

// Runs args with standard input from inputFd (closed here; -1: /dev/null)
// and standard output into outputFd (-1: appended to the file at logFile),
// standard error to logFile. Returns the exit status, or -1 when it could
// not run.
int Run(std::vector<std::string> args, int inputFd, int outputFd, const std::string& logFile) {
  CArgv argv(std::move(args));
  const int logFd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = inputFd >= 0 ? inputFd : open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(outputFd >= 0 ? outputFd : logFd, 1);
    dup2(logFd, 2);
    execvp(argv.Program(), argv.Get());
    _exit(127);
  }
  if (inputFd >= 0) close(inputFd);
  if (logFd >= 0) close(logFd);
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool CSambaServer::Available(std::string& why) {
  if (access(kSmbd, X_OK) != 0) {
    why = std::string(kSmbd) + " is not installed (Debian package samba)";
    return RequiredButUnavailable(why);
  }
  if (geteuid() != 0) {
    why = "smbd started by another user than root cannot write files or set their times";
    return RequiredButUnavailable(why);
  }
  return true;
}

bool CSambaServer::RequiredButUnavailable(const std::string& why) {
  const char* required = std::getenv("FERROX_REQUIRE_SMB");
  // A fatal failure, so that a test whose SetUp skips does not go on into
  // its body: a failure recorded beside a skip makes the skip count for
  // nothing.
  if (required != nullptr && std::strcmp(required, "1") == 0)
    [&why] { FAIL() << "FERROX_REQUIRE_SMB=1, yet the SMB test cannot run: " << why; }();
  return false;
}

std::string CSambaServer::ProcessUser() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "root";
}

CSambaServer::CSambaServer(std::string base, std::vector<CShare> shares)
    : m_base(std::move(base) + "/samba"), m_shares(std::move(shares)) {
  m_config = m_base + "/smb.conf";
  m_logFile = m_base + "/log/smbd.out";
}

CSambaServer::~CSambaServer() { Stop(); }

bool CSambaServer::WriteConfiguration() {
  if (m_port == 0) m_port = FreePort();
  if (m_port == 0) {
    m_error = "no free port";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(m_base, ec);
  for (const char* folder : {"", "/run", "/lock", "/state", "/cache", "/private", "/log", "/ncalrpc"}) {
    if (!MakeFolder(m_base + folder)) {
      m_error = "cannot create " + m_base + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  const std::string user = ProcessUser();
  std::ostringstream conf;
  conf << "[global]\n"
       << "  server role = standalone server\n"
       << "  workgroup = WORKGROUP\n"
       << "  smb ports = " << m_port << "\n"
       << "  interfaces = " << m_address << "\n"
       << "  bind interfaces only = yes\n"
       << "  disable netbios = yes\n"
       << "  server min protocol = SMB2\n"
       << "  pid directory = " << m_base << "/run\n"
       << "  lock directory = " << m_base << "/lock\n"
       << "  state directory = " << m_base << "/state\n"
       << "  cache directory = " << m_base << "/cache\n"
       << "  private dir = " << m_base << "/private\n"
       << "  ncalrpc dir = " << m_base << "/ncalrpc\n"
       << "  passdb backend = tdbsam:" << m_base << "/private/passdb.tdb\n"
       << "  log file = " << m_base << "/log/log.%m\n"
       << "  log level = 1\n"
       << "  max log size = 0\n"
       << "  load printers = no\n"
       << "  printing = bsd\n"
       << "  printcap name = /dev/null\n"
       << "  disable spoolss = yes\n"
       << "  rpc start on demand helpers = no\n"
       << "  usershare max shares = 0\n"
       << "  map to guest = Bad User\n"
       // Names Windows forbids are served as they are, not mangled.
       << "  mangled names = no\n"
       // No oplocks or leases: every read reaches the server.
       << "  oplocks = no\n"
       << "  level2 oplocks = no\n"
       << "  kernel oplocks = no\n"
       << "  smb2 leases = no\n"
       << "  smbd profiling level = count\n";
  for (const CShare& share : m_shares) {
    conf << "[" << share.name << "]\n"
         << "  path = " << share.folder << "\n"
         << "  read only = no\n"
         << "  browseable = yes\n"
         << "  force user = " << user << "\n";
    if (share.guest)
      conf << "  guest ok = yes\n";
    else
      conf << "  guest ok = no\n  valid users = " << user << "\n";
    const auto lines = m_shareLines.find(share.name);
    if (lines != m_shareLines.end()) conf << lines->second << "\n";
  }
  std::ofstream out(m_config, std::ios::trunc);
  out << conf.str();
  out.close();
  if (!out) {
    m_error = "cannot write " + m_config;
    return false;
  }
  return true;
}

std::string CSambaServer::LogTail() const {
  std::string text;
  for (const std::string& file : {m_logFile, m_base + "/log/log.smbd"}) {
    std::ifstream in(file);
    std::stringstream all;
    all << in.rdbuf();
    std::string content = all.str();
    if (content.size() > 2000) content = content.substr(content.size() - 2000);
    if (!content.empty()) text += "\n--- " + file + ":\n" + content;
  }
  return text;
}

bool CSambaServer::Start() {
  if (m_pid > 0) return true;
  m_error.clear();
  if (!WriteConfiguration()) return false;
  CArgv argv({kSmbd, "--foreground", "--no-process-group", "-s", m_config});
  const int logFd = open(m_logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const pid_t pid = fork();
  if (pid == 0) {
    // A session of its own: whatever smbd signals on its way out stays in it.
    setsid();
    if (!m_netns.empty()) {
      const int ns = open(("/run/netns/" + m_netns).c_str(), O_RDONLY | O_CLOEXEC);
      if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) _exit(126);
    }
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(logFd, 1);
    dup2(logFd, 2);
    execv(argv.Program(), argv.Get());
    _exit(127);
  }
  if (logFd >= 0) close(logFd);
  if (pid < 0) {
    m_error = std::string("fork: ") + std::strerror(errno);
    return false;
  }
  m_pid = pid;
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!Listening(m_address, m_port)) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      m_error = "smbd exited at start" + LogTail();
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Kill();
      m_error = "smbd took no connections on port " + std::to_string(m_port) + LogTail();
      return false;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

void CSambaServer::SignalGroup(int signal) const {
  if (m_pid > 0) kill(-m_pid, signal);
}

void CSambaServer::WaitGone() {
  // The group outlives smbd itself while its helpers and children finish;
  // what is left of them once dead (zombies waiting for init) holds nothing.
  const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
  while (GroupAlive(m_pid) && std::chrono::steady_clock::now() < deadline) {
    kill(-m_pid, SIGKILL);
    std::this_thread::sleep_for(kPoll);
  }
}

void CSambaServer::Stop() {
  if (m_pid <= 0) return;
  SignalGroup(SIGTERM);
  SignalGroup(SIGCONT);
  const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
  int status = 0;
  bool exited = false;
  while (!exited && std::chrono::steady_clock::now() < deadline) {
    exited = waitpid(m_pid, &status, WNOHANG) == m_pid;
    if (!exited) std::this_thread::sleep_for(kPoll);
  }
  if (!exited) {
    SignalGroup(SIGKILL);
    waitpid(m_pid, &status, 0);
  }
  WaitGone();
  m_pid = -1;
}

void CSambaServer::Kill() {
  if (m_pid <= 0) return;
  SignalGroup(SIGKILL);
  int status = 0;
  waitpid(m_pid, &status, 0);
  WaitGone();
  m_pid = -1;
}

bool CSambaServer::Restart() {
  Stop();
  return Start();
}

void CSambaServer::Pause() { SignalGroup(SIGSTOP); }

void CSambaServer::Resume() { SignalGroup(SIGCONT); }

bool CSambaServer::AddUser(const std::string& password) {
  m_error.clear();
  if (!WriteConfiguration()) return false;
  // smbpasswd -s reads the password twice from standard input. Both lines go
  // into the pipe before smbpasswd starts, so nothing waits on anything.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    m_error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  const std::string input = password + "\n" + password + "\n";
  const bool written = write(fds[1], input.data(), input.size()) == static_cast<ssize_t>(input.size());
  close(fds[1]);
  if (!written) {
    close(fds[0]);
    m_error = "cannot pass the password to smbpasswd";
    return false;
  }
  const int status = Run({"smbpasswd", "-c", m_config, "-a", "-s", ProcessUser()}, fds[0], -1, m_logFile);
  if (status != 0) {
    m_error = "smbpasswd failed (" + std::to_string(status) + ")" + LogTail();
    return false;
  }
  return true;
}

int64_t CSambaServer::ReadRequestCount() const { return ProfileCounter("smb2_read_count"); }

int64_t CSambaServer::ProfileCounter(const std::string& name) const {
  const std::string output = m_base + "/log/smbstatus.out";
  const int outFd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (outFd < 0) return -1;
  const int status = Run({"smbstatus", "-s", m_config, "--profile"}, -1, outFd, m_logFile);
  close(outFd);
  if (status != 0) return -1;
  std::ifstream in(output);
  std::string line;
  const std::string counter = name + ":";
  while (std::getline(in, line)) {
    if (line.rfind(counter, 0) == 0) return std::stoll(line.substr(counter.size()));
  }
  return -1;
}

std::string CSambaServer::Url(const std::string& share) const {
  return "smb://" + m_address + ":" + std::to_string(m_port) + "/" + share;
}

void CSambaServer::AddShareLines(const std::string& share, const std::string& lines) {
  m_shareLines[share] += lines + "\n";
}

void CSambaServer::ServeFrom(const std::string& netns, const std::string& address) {
  m_netns = netns;
  m_address = address;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PrivateLink.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <vector>

#include "tests/support/SambaServer.h"

extern char** environ;

namespace {

// Runs ip(8) with the blank-separated words of args, its output dropped.
// Returns its exit status, or -1 when it could not run.
int RunIp(const std::string& args) {
  std::vector<std::string> words{"ip"};
  std::istringstream in(args);
  for (std::string word; in >> word;) words.push_back(word);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, "ip", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool CPrivateLink::Available(std::string& why) {
  if (geteuid() != 0) {
    why = "network namespaces need root";
    return CSambaServer::RequiredButUnavailable(why);
  }
  if (RunIp("-V") != 0) {
    why = "ip(8) is missing (Debian package iproute2)";
    return CSambaServer::RequiredButUnavailable(why);
  }
  return true;
}

CPrivateLink::CPrivateLink() {
  // Names and the subnet follow the process id, so that tests running at
  // once never meet; a veth name holds at most 15 characters.
  const unsigned id = static_cast<unsigned>(getpid()) % 60000u;
  m_namespace = "ferrox-test-" + std::to_string(getpid());
  m_near = "fxn" + std::to_string(id);
  m_farDevice = "fxf" + std::to_string(id);
  const std::string subnet = "10.213." + std::to_string(id % 250u) + ".";
  m_far = subnet + "2";
  RunIp("netns del " + m_namespace);  // what an earlier, killed run left
  m_ok = Ip("netns add " + m_namespace) &&
         Ip("link add " + m_near + " type veth peer name " + m_farDevice + " netns " + m_namespace) &&
         Ip("addr add " + subnet + "1/30 dev " + m_near) && Ip("link set " + m_near + " up") &&
         Ip("-n " + m_namespace + " addr add " + m_far + "/30 dev " + m_farDevice) &&
         Ip("-n " + m_namespace + " link set " + m_farDevice + " up") &&
         Ip("-n " + m_namespace + " link set lo up");
}

CPrivateLink::~CPrivateLink() {
  RunIp("netns del " + m_namespace);
  RunIp("link del " + m_near);
}

bool CPrivateLink::Cut() { return Ip("-n " + m_namespace + " link set " + m_farDevice + " down"); }

bool CPrivateLink::Restore() { return Ip("-n " + m_namespace + " link set " + m_farDevice + " up"); }

bool CPrivateLink::Ip(const std::string& what) {
  if (RunIp(what) == 0) return true;
  m_error = "ip " + what + " failed";
  return false;
}

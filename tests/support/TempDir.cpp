// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
CTempDir::CTempDir() {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) throw std::runtime_error("no folder for temporary files");
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "ferrox-test-%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    const std::filesystem::path folder = base / name;
    if (std::filesystem::create_directory(folder, ec)) {
      const std::u8string utf8 = folder.u8string();
      m_path.assign(utf8.begin(), utf8.end());
      while (m_path.size() > 3 && (m_path.back() == '\\' || m_path.back() == '/')) m_path.pop_back();
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made");
}
#else
CTempDir::CTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/ferrox-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = buffer.data();
}
#endif

CTempDir::~CTempDir() {
  std::error_code ec;
  // Make every folder writable again first, so tests may leave read-only ones.
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(std::filesystem::path(std::u8string(m_path.begin(), m_path.end())), ec);
}

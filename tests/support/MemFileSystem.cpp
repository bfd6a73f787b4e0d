// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/MemFileSystem.h"

#include <chrono>
#include <thread>

#include "engine/PathHelpers.h"
#include "platform/ThreadReadings.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

// Returns true when path is a drive root ("C:\" on Windows), which keeps its separator. Never on POSIX.
bool IsDriveRoot(std::string_view path) {
#if defined(_WIN32)
  return path.size() == 3 && path[1] == ':' && IsPathSeparator(path[2]);
#else
  (void)path;
  return false;
#endif
}

// Returns path with every separator written as this system's, repeated ones collapsed and a trailing
// one removed (the root folder and a drive root keep theirs).
std::string NormalisePath(std::string_view path) {
  std::string result;
  result.reserve(path.size());
  for (char c : path) {
    if (IsPathSeparator(c)) {
      if (!result.empty() && result.back() == kPathSeparator) continue;
      c = kPathSeparator;
    }
    result.push_back(c);
  }
  if (result.size() > 1 && result.back() == kPathSeparator && !IsDriveRoot(result)) result.pop_back();
  return result;
}

// Returns the folder part of a normalised absolute path (the root folder or the drive root for an
// entry of the top folder), or an empty text for a root.
std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind(kPathSeparator);
  if (slash == std::string::npos || path.size() == 1 || IsDriveRoot(path)) return std::string();
  if (slash == 0 || IsDriveRoot(path.substr(0, slash + 1))) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

// Returns the last component of a normalised path.
std::string NameOf(const std::string& path) {
  size_t slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder.back() == kPathSeparator ? folder + name : folder + kPathSeparator + name;
}

// SplitMix64 finaliser: a well mixed 64-bit function of its input.
uint64_t Mix(uint64_t value) {
  value += 0x9e3779b97f4a7c15ull;
  value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
  value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
  return value ^ (value >> 31);
}

// Returns the 8 pattern bytes of word index (offsets 8 * word to 8 * word + 7), lowest byte first.
uint64_t PatternWord(uint32_t seed, uint64_t word) {
  return Mix(word ^ (static_cast<uint64_t>(seed) * 0xd6e8feb86659fd93ull));
}

}  // namespace

// ---- Nodes

struct CMemFileSystem::CNode {
  ENodeKind kind = ENodeKind::kFile;
  uint64_t ino = 0;
  int64_t atime = kDefaultTime;
  int64_t mtime = kDefaultTime;
  // Content of a file: patternSize synthetic bytes of seed, then data.
  uint64_t patternSize = 0;
  uint32_t seed = 0;
  std::string data;
  // Names of a folder's entries in the order they were created.
  std::vector<std::string> children;
  // The stream that holds the file's exclusive lock, or null.
  const void* lockHolder = nullptr;

  uint64_t Size() const { return patternSize + data.size(); }

  // Copies count bytes from position (all inside the content) to buffer.
  void CopyOut(uint64_t position, void* buffer, size_t count) const {
    if (count == 0) return;
    auto* out = static_cast<unsigned char*>(buffer);
    if (position < patternSize) {
      size_t synthetic = static_cast<size_t>(std::min<uint64_t>(count, patternSize - position));
      FillPattern(seed, position, out, synthetic);
      out += synthetic;
      position += synthetic;
      count -= synthetic;
    }
    if (count > 0) std::memcpy(out, data.data() + (position - patternSize), count);
  }
};

bool CMemFileSystem::CCountdown::Fire() {
  if (times == 0) return false;
  if (times > 0) --times;
  return true;
}

void CMemFileSystem::CPathState::ResetCounters() {
  opens = openFails = reads = lends = writes = flushes = closes = findFirsts = makeDirs = 0;
  bytesRead = bytesWritten = 0;
  dropCaches.clear();
}

void CMemFileSystem::CPathState::ClearFaults() {
  openFault = CCountdown();
  openUntilSet = false;
  readFaults.clear();
  glitches.clear();
  writeFault = CCountdown();
  closeFault = CCountdown();
  makeDirFault = CCountdown();
  listingOpenFault = CCountdown();
  brokenListing.clear();
  brokenListingNext = 0;
}

// ---- Streams

size_t CMemFileSystem::ReadLocked(const std::string& path, CNode& node, uint64_t position, void* buffer,
                                  size_t count, int& err, bool reading) {
  CPathState& state = m_paths[path];
  ++state.reads;
  uint64_t size = node.Size();
  uint64_t available = position < size ? size - position : 0;
  size_t delivered = static_cast<size_t>(std::min<uint64_t>(count, available));
  const uint64_t end = position + delivered;

  CReadFault* fault = nullptr;
  for (CReadFault& candidate : state.readFaults) {
    bool covered = candidate.offset >= position && candidate.offset < end;
    if (candidate.countdown.times == 0 || !covered || (candidate.readingsOnly && !reading)) continue;
    if (fault == nullptr || candidate.offset < fault->offset) fault = &candidate;
  }
  err = 0;
  if (fault != nullptr) {
    fault->countdown.Fire();
    err = fault->countdown.err;
    delivered = static_cast<size_t>(fault->offset - position);
  }

  node.CopyOut(position, buffer, delivered);
  auto* bytes = static_cast<unsigned char*>(buffer);
  for (auto it = state.glitches.lower_bound(position);
       it != state.glitches.end() && it->first < position + delivered; ++it) {
    CGlitch& glitch = it->second;
    size_t ordinal = glitch.reads++;
    if (ordinal < glitch.values.size() && glitch.values[ordinal] >= 0)
      bytes[it->first - position] = static_cast<unsigned char>(glitch.values[ordinal] & 0xff);
  }
  state.bytesRead += delivered;
  return delivered;
}

// Readings that take their bytes when they start, in the order they start, so that glitches and faults
// fall on the same readings whatever the threads do, and hand them over from a worker thread.
class CMemFileSystem::CMemReadings final : public CReadQueue {
public:
  CMemReadings(CMemFileSystem& fs, std::string path, std::shared_ptr<CNode> node, uint32_t depth)
      : m_fs(fs), m_path(std::move(path)), m_node(std::move(node)) {
    m_inner = MakeThreadReadings(
        depth, [this]() -> std::unique_ptr<CPositionalReader> { return std::make_unique<CHandOver>(*this); });
  }
  ~CMemReadings() override { m_inner.reset(); }

  uint32_t Depth() const override { return m_inner->Depth(); }

  void Start(uint32_t slot, int64_t position, uint32_t count, uint8_t* scratch) override {
    CReadHook hook;
    {
      std::lock_guard lock(m_fs.m_lock);
      hook = m_fs.m_onRead;
    }
    if (hook) hook(m_path, static_cast<uint64_t>(position), count);
    CTaken taken;
    taken.bytes.resize(count);
    {
      std::lock_guard lock(m_fs.m_lock);
      taken.got = static_cast<uint32_t>(m_fs.ReadLocked(m_path, *m_node, static_cast<uint64_t>(position),
                                                        taken.bytes.data(), count, taken.err, true));
    }
    {
      std::lock_guard lock(m_takenLock);
      m_taken[scratch] = std::move(taken);
    }
    m_inner->Start(slot, position, count, scratch);
  }

  const uint8_t* Finish(uint32_t slot, uint32_t& got) override { return m_inner->Finish(slot, got); }

private:
  struct CTaken {
    std::vector<uint8_t> bytes;
    uint32_t got = 0;
    int err = 0;
  };
  // Copies what a reading took into its scratch, on the thread that runs it; every third page waits a
  // little first, so that readings end out of order.
  class CHandOver final : public CPositionalReader {
  public:
    explicit CHandOver(CMemReadings& owner) : m_owner(owner) {}
    const uint8_t* ReadAt(int64_t position, uint32_t /*count*/, uint8_t* scratch, uint32_t& got) override {
      if (position / 4096 % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
      CTaken taken;
      {
        std::lock_guard lock(m_owner.m_takenLock);
        taken = std::move(m_owner.m_taken[scratch]);
      }
      std::memcpy(scratch, taken.bytes.data(), taken.got);
      got = taken.got;
      if (taken.err == 0) return scratch;
      errno = taken.err;
      return nullptr;
    }

  private:
    CMemReadings& m_owner;
  };

  CMemFileSystem& m_fs;
  const std::string m_path;
  const std::shared_ptr<CNode> m_node;
  std::mutex m_takenLock;
  std::map<const uint8_t*, CTaken> m_taken;  // by scratch area, guarded by m_takenLock
  std::unique_ptr<CReadQueue> m_inner;
};

class CMemFileSystem::CMemStream final : public CStream {
public:
  CMemStream(CMemFileSystem& fs, std::string path, std::shared_ptr<CNode> node, OpenMode mode, uint64_t start)
      : m_fs(fs), m_path(std::move(path)), m_node(std::move(node)), m_mode(mode), m_position(start) {}

  ~CMemStream() override {
    if (m_closed) return;
    int saved = errno;
    Close();
    errno = saved;
  }

  size_t Read(void* buffer, size_t count) override {
    if (m_closed || m_mode != OpenMode::kRead) {
      CountCall(&CPathState::reads);
      Fail(EBADF);
      return 0;
    }
    CReadHook hook;
    {
      std::lock_guard lock(m_fs.m_lock);
      hook = m_fs.m_onRead;
    }
    if (hook) hook(m_path, m_position, count);
    SpoilLent();

    std::lock_guard lock(m_fs.m_lock);
    int err = 0;
    const size_t delivered = m_fs.ReadLocked(m_path, *m_node, m_position, buffer, count, err);
    m_position += delivered;
    if (err != 0)
      Fail(err);
    else if (delivered < count)
      SetEof();
    return delivered;
  }

  const uint8_t* Lend(size_t count) override {
    SpoilLent();
    if (m_closed || m_mode != OpenMode::kRead || count == 0) return nullptr;
    std::lock_guard lock(m_fs.m_lock);
    if (!m_fs.m_lending || m_fs.m_onRead) return nullptr;
    CPathState& state = m_fs.m_paths[m_path];
    if (!state.readFaults.empty() || !state.glitches.empty() || m_position + count > m_node->Size())
      return nullptr;
    m_lent.resize(count);
    int err = 0;
    m_fs.ReadLocked(m_path, *m_node, m_position, m_lent.data(), count, err);
    ++state.lends;
    m_position += count;
    return m_lent.data();
  }

protected:
  std::unique_ptr<CReadQueue> OpenReadings() override {
    uint32_t depth = 0;
    {
      std::lock_guard lock(m_fs.m_lock);
      depth = m_fs.m_readingsDepth;
    }
    if (depth == 0 || m_closed || m_mode != OpenMode::kRead) return nullptr;
    return std::make_unique<CMemReadings>(m_fs, m_path, m_node, depth);
  }

public:
  size_t Write(const void* buffer, size_t count) override {
    std::lock_guard lock(m_fs.m_lock);
    CPathState& state = m_fs.m_paths[m_path];
    ++state.writes;
    if (m_closed || m_mode == OpenMode::kRead) {
      Fail(EBADF);
      return 0;
    }
    if (state.writeFault.Fire()) {
      Fail(state.writeFault.err);
      return 0;
    }
    if (m_mode == OpenMode::kAppend) m_position = m_node->Size();
    size_t stored = m_fs.StoreLocked(*m_node, m_position, buffer, count);
    m_position += stored;
    state.bytesWritten += stored;
    if (stored < count) Fail(ENOSPC);
    return stored;
  }

  int Seek(int64_t offset, SeekOrigin origin) override {
    if (m_closed) {
      errno = EBADF;
      return -1;
    }
    int64_t base = 0;
    if (origin == SeekOrigin::kCur) {
      base = static_cast<int64_t>(m_position);
    } else if (origin == SeekOrigin::kEnd) {
      std::lock_guard lock(m_fs.m_lock);
      base = static_cast<int64_t>(m_node->Size());
    }
    if (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) {
      errno = EOVERFLOW;
      return -1;
    }
    int64_t target = base + offset;
    if (target < 0) {
      errno = EINVAL;
      return -1;
    }
    if (static_cast<uint64_t>(target) != m_position) SpoilLent();
    m_position = static_cast<uint64_t>(target);
    // The base class offers no way to clear the end-of-file indicator alone.
    bool hadError = Error();
    ClearErr();
    if (hadError) SetError();
    return 0;
  }

  int64_t Tell() override {
    if (m_closed) {
      errno = EBADF;
      return -1;
    }
    return static_cast<int64_t>(m_position);
  }

  int Flush() override {
    CountCall(&CPathState::flushes);
    if (m_closed) {
      Fail(EBADF);
      return -1;
    }
    return 0;
  }

  int Close() override {
    SpoilLent();
    std::lock_guard lock(m_fs.m_lock);
    CPathState& state = m_fs.m_paths[m_path];
    ++state.closes;
    if (m_closed) {
      Fail(EBADF);
      return -1;
    }
    m_closed = true;
    --m_fs.m_openStreams;
    if (m_node->lockHolder == this) m_node->lockHolder = nullptr;
    if (state.closeFault.Fire()) {
      Fail(state.closeFault.err);
      return -1;
    }
    return 0;
  }

  void DropCache(int64_t offset, int64_t length) override {
    std::lock_guard lock(m_fs.m_lock);
    m_fs.m_paths[m_path].dropCaches.push_back({offset, length});
  }

  bool Identify(CFileId& id) override {
    id = CFileId();
    if (m_closed) return false;
    id.dev = kDev;
    id.ino = m_node->ino;
    return true;
  }

  int LockExclusive() override {
    std::lock_guard lock(m_fs.m_lock);
    if (m_closed) {
      errno = EBADF;
      return -1;
    }
    if (m_node->lockHolder != nullptr && m_node->lockHolder != this) {
      errno = EWOULDBLOCK;
      return -1;
    }
    m_node->lockHolder = this;
    return 0;
  }

  int Truncate(int64_t length) override {
    std::lock_guard lock(m_fs.m_lock);
    if (m_closed || m_mode == OpenMode::kRead) {
      errno = EBADF;
      return -1;
    }
    const uint64_t size = m_node->Size();
    if (length < 0 || static_cast<uint64_t>(length) > size) {
      errno = EINVAL;
      return -1;
    }
    if (length == 0) {
      m_fs.SetContent(*m_node, std::string(), 0, 0);
    } else if (static_cast<uint64_t>(length) <= m_node->patternSize) {
      std::string kept = PatternBytes(m_node->seed, 0, static_cast<size_t>(length));
      m_fs.SetContent(*m_node, std::move(kept), 0, 0);
    } else {
      std::string kept =
          m_node->data.substr(0, static_cast<size_t>(static_cast<uint64_t>(length) - m_node->patternSize));
      m_fs.SetContent(*m_node, std::move(kept), m_node->patternSize, m_node->seed);
    }
    m_node->mtime = TimeNow();
    return 0;
  }

private:
  void Fail(int err) {
    SetError();
    errno = err;
  }

  // Overwrites what the stream lent last: it is no longer the caller's.
  void SpoilLent() { std::fill(m_lent.begin(), m_lent.end(), uint8_t{0xEE}); }

  void CountCall(int CPathState::*field) {
    std::lock_guard lock(m_fs.m_lock);
    ++(m_fs.m_paths[m_path].*field);
  }

  CMemFileSystem& m_fs;
  const std::string m_path;
  const std::shared_ptr<CNode> m_node;
  const OpenMode m_mode;
  uint64_t m_position;
  bool m_closed = false;
  std::vector<uint8_t> m_lent;  // the bytes Lend lent last
};

// ---- Listings

class CMemFileSystem::CMemFind final : public CFindHandle {
public:
  CMemFind(std::vector<CFindData> records, int failErr) : m_records(std::move(records)), m_failErr(failErr) {}

  // Skips the record FindFirst returned.
  void Skip() { ++m_next; }

  bool FindNext(CFindData& data) override {
    if (m_next < m_records.size()) {
      data = m_records[m_next++];
      return true;
    }
    errno = m_failErr != 0 ? m_failErr : ENOENT;
    return false;
  }

private:
  std::vector<CFindData> m_records;
  size_t m_next = 0;
  int m_failErr;
};

// ---- Construction and building

CMemFileSystem::CMemFileSystem(std::string root) : m_root(NormalisePath(root)) {
  if (!IsAbsolutePath(m_root)) throw std::invalid_argument("root must be an absolute path");
  auto node = std::make_shared<CNode>();
  node->kind = ENodeKind::kFolder;
  node->ino = m_nextIno++;
  m_nodes.emplace(m_root, std::move(node));
}

CMemFileSystem::~CMemFileSystem() = default;

bool CMemFileSystem::UnderRoot(const std::string& path) const {
  if (path == m_root) return true;
  if (path.size() <= m_root.size() || !path.starts_with(m_root)) return false;
  return m_root.back() == kPathSeparator || path[m_root.size()] == kPathSeparator;
}

CMemFileSystem::CNode* CMemFileSystem::FindNode(const std::string& path) const {
  auto it = m_nodes.find(path);
  return it == m_nodes.end() ? nullptr : it->second.get();
}

std::shared_ptr<CMemFileSystem::CNode> CMemFileSystem::FindShared(const std::string& path) const {
  auto it = m_nodes.find(path);
  return it == m_nodes.end() ? nullptr : it->second;
}

const CMemFileSystem::CPathState* CMemFileSystem::FindState(const std::string& path) const {
  auto it = m_paths.find(NormalisePath(path));
  return it == m_paths.end() ? nullptr : &it->second;
}

// Creates a node whose parent is known to be a folder.
CMemFileSystem::CNode& CMemFileSystem::CreateNode(const std::string& path, ENodeKind kind, int64_t mtime) {
  auto node = std::make_shared<CNode>();
  node->kind = kind;
  node->ino = m_nextIno++;
  node->atime = node->mtime = mtime;
  CNode& result = *node;
  m_nodes.emplace(path, std::move(node));
  FindNode(ParentOf(path))->children.push_back(NameOf(path));
  return result;
}

// Returns the node of kind at path for a builder, created with its missing parents when needed.
CMemFileSystem::CNode& CMemFileSystem::BuildNode(const std::string& path, ENodeKind kind, int64_t mtime) {
  if (!UnderRoot(path)) throw std::invalid_argument("path outside the root: " + path);
  if (CNode* node = FindNode(path)) {
    if (node->kind != kind) throw std::logic_error("an entry of another kind is at " + path);
    return *node;
  }
  std::string parent = ParentOf(path);
  CNode* folder = FindNode(parent);
  if (folder == nullptr)
    folder = &BuildNode(parent, ENodeKind::kFolder, kDefaultTime);
  else if (folder->kind != ENodeKind::kFolder)
    throw std::logic_error("not a folder: " + parent);
  return CreateNode(path, kind, mtime);
}

void CMemFileSystem::SetContent(CNode& node, std::string data, uint64_t patternSize, uint32_t seed) {
  m_storedBytes = m_storedBytes - node.data.size() + data.size();
  node.data = std::move(data);
  node.patternSize = patternSize;
  node.seed = seed;
}

void CMemFileSystem::AddFolder(const std::string& path, int64_t mtime) {
  std::lock_guard lock(m_lock);
  CNode& node = BuildNode(NormalisePath(path), ENodeKind::kFolder, mtime);
  node.atime = node.mtime = mtime;
}

void CMemFileSystem::AddFile(const std::string& path, std::string_view bytes, int64_t mtime) {
  std::lock_guard lock(m_lock);
  CNode& node = BuildNode(NormalisePath(path), ENodeKind::kFile, mtime);
  SetContent(node, std::string(bytes), 0, 0);
  node.atime = node.mtime = mtime;
}

void CMemFileSystem::AddFileNamed(const std::string& rawFolder, const std::string& name,
                                  std::string_view bytes) {
  std::lock_guard lock(m_lock);
  const std::string folder = NormalisePath(rawFolder);
  BuildNode(folder, ENodeKind::kFolder, kDefaultTime);
  const std::string path = JoinPath(folder, name);
  if (FindNode(path) != nullptr) throw std::logic_error("an entry is at " + path);
  auto node = std::make_shared<CNode>();
  node->ino = m_nextIno++;
  SetContent(*node, std::string(bytes), 0, 0);
  m_nodes.emplace(path, std::move(node));
  FindNode(folder)->children.push_back(name);
}

void CMemFileSystem::AddHardLink(const std::string& rawLink, const std::string& rawTarget) {
  const std::string link = NormalisePath(rawLink);
  const std::string target = NormalisePath(rawTarget);
  std::lock_guard lock(m_lock);
  std::shared_ptr<CNode> node = FindShared(target);
  if (node == nullptr || node->kind != ENodeKind::kFile) throw std::logic_error("not a file: " + target);
  if (!UnderRoot(link)) throw std::invalid_argument("path outside the root: " + link);
  if (FindNode(link) != nullptr) throw std::logic_error("an entry is at " + link);
  CNode* folder = FindNode(ParentOf(link));
  if (folder == nullptr) folder = &BuildNode(ParentOf(link), ENodeKind::kFolder, kDefaultTime);
  if (folder->kind != ENodeKind::kFolder) throw std::logic_error("not a folder: " + ParentOf(link));
  m_nodes.emplace(link, std::move(node));
  folder->children.push_back(NameOf(link));
}

void CMemFileSystem::AddPatternFile(const std::string& path, uint64_t size, uint32_t seed, int64_t mtime) {
  std::lock_guard lock(m_lock);
  CNode& node = BuildNode(NormalisePath(path), ENodeKind::kFile, mtime);
  SetContent(node, std::string(), size, seed);
  node.atime = node.mtime = mtime;
}

void CMemFileSystem::AddSpecial(const std::string& path, int64_t mtime) {
  std::lock_guard lock(m_lock);
  CNode& node = BuildNode(NormalisePath(path), ENodeKind::kSpecial, mtime);
  node.atime = node.mtime = mtime;
}

uint8_t CMemFileSystem::PatternByte(uint32_t seed, uint64_t offset) {
  return static_cast<uint8_t>(PatternWord(seed, offset / 8) >> (8 * (offset % 8)));
}

void CMemFileSystem::FillPattern(uint32_t seed, uint64_t offset, void* buffer, size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    uint64_t word = PatternWord(seed, offset / 8);
    unsigned shift = static_cast<unsigned>(offset % 8);
    size_t take = std::min<size_t>(count, 8 - shift);
    for (size_t i = 0; i < take; ++i) out[i] = static_cast<unsigned char>(word >> (8 * (shift + i)));
    out += take;
    offset += take;
    count -= take;
  }
}

std::string CMemFileSystem::PatternBytes(uint32_t seed, uint64_t offset, size_t count) {
  std::string result(count, '\0');
  FillPattern(seed, offset, result.data(), count);
  return result;
}

void CMemFileSystem::SetDotEntries(bool on) {
  std::lock_guard lock(m_lock);
  m_dotEntries = on;
}

// ---- Inspection

bool CMemFileSystem::Exists(const std::string& path) const {
  std::lock_guard lock(m_lock);
  return FindNode(NormalisePath(path)) != nullptr;
}

bool CMemFileSystem::IsFolder(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CNode* node = FindNode(NormalisePath(path));
  return node != nullptr && node->kind == ENodeKind::kFolder;
}

bool CMemFileSystem::IsFile(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CNode* node = FindNode(NormalisePath(path));
  return node != nullptr && node->kind == ENodeKind::kFile;
}

std::string CMemFileSystem::FileBytes(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CNode* node = FindNode(NormalisePath(path));
  if (node == nullptr || node->kind != ENodeKind::kFile) return std::string();
  std::string result(static_cast<size_t>(node->Size()), '\0');
  node->CopyOut(0, result.data(), result.size());
  return result;
}

uint64_t CMemFileSystem::FileSize(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CNode* node = FindNode(NormalisePath(path));
  return node != nullptr && node->kind == ENodeKind::kFile ? node->Size() : 0;
}

int64_t CMemFileSystem::TimeWrite(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CNode* node = FindNode(NormalisePath(path));
  return node != nullptr ? node->mtime : -1;
}

int64_t CMemFileSystem::TimeAccess(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CNode* node = FindNode(NormalisePath(path));
  return node != nullptr ? node->atime : -1;
}

std::vector<std::string> CMemFileSystem::ListNames(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CNode* node = FindNode(NormalisePath(path));
  return node != nullptr ? node->children : std::vector<std::string>();
}

uint64_t CMemFileSystem::StoredBytes() const {
  std::lock_guard lock(m_lock);
  return m_storedBytes;
}

int CMemFileSystem::OpenStreams() const {
  std::lock_guard lock(m_lock);
  return m_openStreams;
}

template <class T>
T CMemFileSystem::Counter(const std::string& path, T CPathState::*field) const {
  std::lock_guard lock(m_lock);
  const CPathState* state = FindState(path);
  return state != nullptr ? state->*field : T();
}

int CMemFileSystem::OpenCount(const std::string& path) const { return Counter(path, &CPathState::opens); }
int CMemFileSystem::OpenFailCount(const std::string& path) const {
  return Counter(path, &CPathState::openFails);
}
int CMemFileSystem::ReadCount(const std::string& path) const { return Counter(path, &CPathState::reads); }
int CMemFileSystem::LendCount(const std::string& path) const { return Counter(path, &CPathState::lends); }
uint64_t CMemFileSystem::BytesRead(const std::string& path) const {
  return Counter(path, &CPathState::bytesRead);
}
int CMemFileSystem::WriteCount(const std::string& path) const { return Counter(path, &CPathState::writes); }
uint64_t CMemFileSystem::BytesWritten(const std::string& path) const {
  return Counter(path, &CPathState::bytesWritten);
}
int CMemFileSystem::FlushCount(const std::string& path) const { return Counter(path, &CPathState::flushes); }
int CMemFileSystem::CloseCount(const std::string& path) const { return Counter(path, &CPathState::closes); }
int CMemFileSystem::FindFirstCount(const std::string& pattern) const {
  return Counter(pattern, &CPathState::findFirsts);
}
int CMemFileSystem::MakeDirCount(const std::string& path) const {
  return Counter(path, &CPathState::makeDirs);
}

int CMemFileSystem::DropCacheCount(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CPathState* state = FindState(path);
  return state != nullptr ? static_cast<int>(state->dropCaches.size()) : 0;
}

std::vector<CMemFileSystem::CByteRange> CMemFileSystem::DropCacheRanges(const std::string& path) const {
  std::lock_guard lock(m_lock);
  const CPathState* state = FindState(path);
  return state != nullptr ? state->dropCaches : std::vector<CByteRange>();
}

void CMemFileSystem::ResetCounters() {
  std::lock_guard lock(m_lock);
  for (auto& entry : m_paths) entry.second.ResetCounters();
}

// ---- Faults

void CMemFileSystem::BreakListing(const std::string& folder, std::vector<int> entriesPerAttempt, int err) {
  std::lock_guard lock(m_lock);
  CPathState& state = m_paths[NormalisePath(folder)];
  state.brokenListing = std::move(entriesPerAttempt);
  state.brokenListingNext = 0;
  state.brokenListingErr = err;
}

void CMemFileSystem::FailListingOpen(const std::string& folder, int times, int err) {
  std::lock_guard lock(m_lock);
  m_paths[NormalisePath(folder)].listingOpenFault = {times, err};
}

void CMemFileSystem::FailOpens(const std::string& path, int times, int err) {
  std::lock_guard lock(m_lock);
  m_paths[NormalisePath(path)].openFault = {times, err};
}

void CMemFileSystem::FailOpensUntil(const std::string& path, int64_t clockSecond, int err) {
  std::lock_guard lock(m_lock);
  CPathState& state = m_paths[NormalisePath(path)];
  state.openUntilSet = true;
  state.openUntil = clockSecond;
  state.openUntilErr = err;
}

void CMemFileSystem::FailReadAt(const std::string& path, uint64_t offset, int times, int err) {
  std::lock_guard lock(m_lock);
  std::vector<CReadFault>& faults = m_paths[NormalisePath(path)].readFaults;
  std::erase_if(faults,
                [&](const CReadFault& fault) { return fault.offset == offset && !fault.readingsOnly; });
  faults.push_back({offset, {times, err}, false});
}

void CMemFileSystem::FailReadingsAt(const std::string& path, uint64_t offset, int times, int err) {
  std::lock_guard lock(m_lock);
  std::vector<CReadFault>& faults = m_paths[NormalisePath(path)].readFaults;
  std::erase_if(faults,
                [&](const CReadFault& fault) { return fault.offset == offset && fault.readingsOnly; });
  faults.push_back({offset, {times, err}, true});
}

void CMemFileSystem::Glitch(const std::string& path, uint64_t offset, std::vector<int> values) {
  std::lock_guard lock(m_lock);
  m_paths[NormalisePath(path)].glitches[offset] = {std::move(values), 0};
}

void CMemFileSystem::SetCapacity(uint64_t bytes) {
  std::lock_guard lock(m_lock);
  m_capacity = bytes;
}

void CMemFileSystem::FailWrites(const std::string& path, int times, int err) {
  std::lock_guard lock(m_lock);
  m_paths[NormalisePath(path)].writeFault = {times, err};
}

void CMemFileSystem::FailMakeDir(const std::string& path, int times, int err) {
  std::lock_guard lock(m_lock);
  m_paths[NormalisePath(path)].makeDirFault = {times, err};
}

void CMemFileSystem::FailClose(const std::string& path, int times, int err) {
  std::lock_guard lock(m_lock);
  m_paths[NormalisePath(path)].closeFault = {times, err};
}

void CMemFileSystem::ClearFaults() {
  std::lock_guard lock(m_lock);
  for (auto& entry : m_paths) entry.second.ClearFaults();
  m_capacity = kUnlimited;
}

void CMemFileSystem::SetReadingsDepth(uint32_t depth) {
  std::lock_guard lock(m_lock);
  m_readingsDepth = depth;
}

void CMemFileSystem::SetLending(bool on) {
  std::lock_guard lock(m_lock);
  m_lending = on;
}

bool CMemFileSystem::IsRemote(const std::string& /*path*/) {
  std::lock_guard lock(m_lock);
  return m_remote;
}

void CMemFileSystem::SetRemote(bool remote) {
  std::lock_guard lock(m_lock);
  m_remote = remote;
}

void CMemFileSystem::SetOnRead(CReadHook hook) {
  std::lock_guard lock(m_lock);
  m_onRead = std::move(hook);
}

void CMemFileSystem::SetOnOpen(COpenHook hook) {
  std::lock_guard lock(m_lock);
  m_onOpen = std::move(hook);
}

// ---- CFileSystem

// Stores count bytes at position, zero-filling a gap after the end, as far as the capacity allows.
// Returns the number of bytes stored.
size_t CMemFileSystem::StoreLocked(CNode& node, uint64_t position, const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (position < node.patternSize) {
    // Only a file rebuilt under an open kWrite stream gets here: its synthetic bytes become stored ones.
    std::string data(static_cast<size_t>(node.patternSize), '\0');
    FillPattern(node.seed, 0, data.data(), data.size());
    SetContent(node, data + node.data, 0, 0);
  }
  const uint64_t size = node.Size();
  const uint64_t growth = position + count > size ? position + count - size : 0;
  const uint64_t room = m_capacity > m_storedBytes ? m_capacity - m_storedBytes : 0;
  size_t fit = count;
  if (growth > room) {
    uint64_t limit = size + room;
    fit = limit > position ? static_cast<size_t>(std::min<uint64_t>(count, limit - position)) : 0;
  }
  if (fit == 0) return 0;
  const size_t at = static_cast<size_t>(position - node.patternSize);
  const size_t before = node.data.size();
  if (at + fit > before) node.data.resize(at + fit, '\0');
  std::memcpy(node.data.data() + at, buffer, fit);
  m_storedBytes += node.data.size() - before;
  return fit;
}

// Opens under the lock, faults aside. Returns 0 with node and start position set, or an errno value.
int CMemFileSystem::OpenLocked(const std::string& path, OpenMode mode, std::shared_ptr<CNode>& node,
                               uint64_t& start) {
  if (!UnderRoot(path)) return ENOENT;
  node = FindShared(path);
  if (node == nullptr) {
    if (mode == OpenMode::kRead || mode == OpenMode::kUpdate) return ENOENT;
    const CNode* parent = FindNode(ParentOf(path));
    if (parent == nullptr) return ENOENT;
    if (parent->kind != ENodeKind::kFolder) return ENOTDIR;
    CreateNode(path, ENodeKind::kFile, TimeNow());
    node = FindShared(path);
    start = 0;
    return 0;
  }
  if (node->kind == ENodeKind::kSpecial) return EINVAL;
  if (node->kind == ENodeKind::kFolder) return mode == OpenMode::kRead ? EINVAL : EISDIR;
  if (mode == OpenMode::kWrite) {
    SetContent(*node, std::string(), 0, 0);
    node->mtime = TimeNow();
  }
  start = mode == OpenMode::kAppend ? node->Size() : 0;
  return 0;
}

std::unique_ptr<CStream> CMemFileSystem::Open(const std::string& rawPath, OpenMode mode) {
  const std::string path = NormalisePath(rawPath);
  COpenHook hook;
  {
    std::lock_guard lock(m_lock);
    hook = m_onOpen;
  }
  if (hook) hook(path, mode);

  std::lock_guard lock(m_lock);
  CPathState& state = m_paths[path];
  ++state.opens;
  int err = 0;
  if (state.openFault.Fire())
    err = state.openFault.err;
  else if (state.openUntilSet && TimeNow() < state.openUntil)
    err = state.openUntilErr;
  std::shared_ptr<CNode> node;
  uint64_t start = 0;
  if (err == 0) err = OpenLocked(path, mode, node, start);
  if (err != 0) {
    ++state.openFails;
    errno = err;
    return nullptr;
  }
  ++m_openStreams;
  return std::make_unique<CMemStream>(*this, path, std::move(node), mode, start);
}

CFindData CMemFileSystem::Record(const CNode& node, std::string name) const {
  CFindData data;
  if (node.kind == ENodeKind::kFolder) data.attrib = kAttribSubdir;
  if (node.kind == ENodeKind::kSpecial) data.attrib = kAttribSpecial;
  data.time_create = -1;
  data.time_access = node.atime;
  data.time_write = node.mtime;
  data.size = node.kind == ENodeKind::kFile ? node.Size() : 0;
  data.name = std::move(name);
  data.dev = kDev;
  data.ino = node.ino;
  return data;
}

std::unique_ptr<CFindHandle> CMemFileSystem::FindFirst(const std::string& rawPattern, CFindData& data) {
  const std::string pattern = NormalisePath(rawPattern);
  std::lock_guard lock(m_lock);
  ++m_paths[pattern].findFirsts;

  std::vector<CFindData> records;
  int failErr = 0;
  if (NameOf(pattern) != "*.*") {
    const CNode* node = UnderRoot(pattern) ? FindNode(pattern) : nullptr;
    if (node == nullptr) {
      errno = ENOENT;
      return nullptr;
    }
    records.push_back(Record(*node, NameOf(pattern)));
  } else {
    const std::string folderPath = ParentOf(pattern);
    CPathState& state = m_paths[folderPath];
    if (state.listingOpenFault.Fire()) {
      errno = state.listingOpenFault.err;
      return nullptr;
    }
    const CNode* folder = UnderRoot(folderPath) ? FindNode(folderPath) : nullptr;
    if (folder == nullptr || folder->kind != ENodeKind::kFolder) {
      errno = folder == nullptr ? ENOENT : ENOTDIR;
      return nullptr;
    }
    size_t limit = folder->children.size();
    if (state.brokenListingNext < state.brokenListing.size()) {
      int entries = state.brokenListing[state.brokenListingNext++];
      if (entries >= 0) {
        limit = std::min(limit, static_cast<size_t>(entries));
        failErr = state.brokenListingErr;
      }
    }
    if (m_dotEntries) {
      records.push_back(Record(*folder, "."));
      const CNode* parent = folderPath == m_root ? folder : FindNode(ParentOf(folderPath));
      records.push_back(Record(*parent, ".."));
    }
    for (size_t i = 0; i < limit; ++i) {
      const std::string& name = folder->children[i];
      records.push_back(Record(*FindNode(JoinPath(folderPath, name)), name));
    }
  }
  if (records.empty()) {
    errno = failErr != 0 ? failErr : ENOENT;
    return nullptr;
  }
  auto handle = std::make_unique<CMemFind>(std::move(records), failErr);
  handle->FindNext(data);
  return handle;
}

int CMemFileSystem::MakeDir(const std::string& rawPath) {
  const std::string path = NormalisePath(rawPath);
  std::lock_guard lock(m_lock);
  CPathState& state = m_paths[path];
  ++state.makeDirs;
  int err = 0;
  const CNode* parent = FindNode(ParentOf(path));
  if (state.makeDirFault.Fire())
    err = state.makeDirFault.err;
  else if (UnderRoot(path) && FindNode(path) != nullptr)
    err = EEXIST;
  else if (!UnderRoot(path) || parent == nullptr)
    err = ENOENT;
  else if (parent->kind != ENodeKind::kFolder)
    err = ENOTDIR;
  if (err != 0) {
    errno = err;
    return -1;
  }
  CreateNode(path, ENodeKind::kFolder, TimeNow());
  return 0;
}

int CMemFileSystem::SetFileTimes(const std::string& rawPath, int64_t accessTime, int64_t writeTime) {
  const std::string path = NormalisePath(rawPath);
  std::lock_guard lock(m_lock);
  CNode* node = UnderRoot(path) ? FindNode(path) : nullptr;
  if (node == nullptr) {
    errno = ENOENT;
    return -1;
  }
  node->atime = accessTime;
  node->mtime = writeTime;
  return 0;
}

int CMemFileSystem::RemoveFile(const std::string& rawPath) {
  const std::string path = NormalisePath(rawPath);
  std::lock_guard lock(m_lock);
  CNode* node = UnderRoot(path) ? FindNode(path) : nullptr;
  if (node == nullptr) {
    errno = ENOENT;
    return -1;
  }
  if (node->kind == ENodeKind::kFolder) {
    errno = EISDIR;
    return -1;
  }
  m_storedBytes -= node->data.size();
  std::vector<std::string>& siblings = FindNode(ParentOf(path))->children;
  std::erase(siblings, NameOf(path));
  m_nodes.erase(path);
  return 0;
}

// ---- Mount guard

CMountGuard::CMountGuard(CMemFileSystem& fs) : CMountGuard(fs.Root(), fs) {}

CMountGuard::CMountGuard(const std::string& prefix, CFileSystem& fs) : m_prefixes{prefix} {
#if defined(_WIN32)
  // A path typed with '/' reaches the file system too: the prefix is matched as text.
  std::string slashes = prefix;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  if (slashes != prefix) m_prefixes.push_back(slashes);
#endif
  for (const std::string& each : m_prefixes) MountFileSystem(each, &fs);
}

CMountGuard::~CMountGuard() {
  for (const std::string& each : m_prefixes) UnmountFileSystem(each);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FetchAhead.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "engine/CopyProgress.h"
#include "engine/FetchedStream.h"
#include "engine/FileNode.h"
#include "engine/PathHelpers.h"
#include "engine/RunState.h"
#include "platform/WorkerPool.h"

namespace {

enum class CFetchStep { kWaiting, kFetching, kReady, kGone };

// How often a fetching thread held by a pause looks whether it has ended.
constexpr std::chrono::milliseconds kPauseLook{50};

struct CFetched {
  CFetchStep step = CFetchStep::kWaiting;
  uint64_t reserved = 0;  // bytes counted against kFetchBytes meanwhile
  uint64_t start = 0;
  std::vector<uint8_t> data;
  bool end = false;
  CFileId id;
};

// Returns the bytes a fetch of file may read at most.
uint64_t MostBytes(const CFetchFile& file) { return std::min(file.listing.size, kFetchFileBytes); }

// Reads the first bytes of file into fetched, from where its destination
// ends. Returns true when they are read; false when the destination needs no
// bytes from the start of what it lacks (complete, longer, no file, or
// compared first by the worker), or the source does not open or read.
bool Fetch(const CFetchFile& file, CFetched& fetched) {
  uint64_t start = 0;
  CFindData existing;
  if (FindFirst(file.destination, existing)) {
    if ((existing.attrib & (kAttribSubdir | kAttribSpecial)) != 0) return false;
    // A destination as long as the source is complete or compared first;
    // a shorter one stamped otherwise is compared before it goes on.
    if (existing.size >= file.listing.size || existing.time_write != file.listing.time_write) return false;
    start = existing.size;
  }
  std::unique_ptr<CStream> stream = FileOpen(file.source, OpenMode::kRead);
  if (!stream) return false;
  if (!stream->Identify(fetched.id)) fetched.id = CFileId();
  if (start != 0 && stream->Seek(static_cast<int64_t>(start), SeekOrigin::kSet) != 0) return false;
  const auto wanted = static_cast<size_t>(std::min(file.listing.size - start, kFetchFileBytes));
  fetched.data.resize(wanted);
  const size_t got = wanted ? stream->Read(fetched.data.data(), wanted) : 0;
  if (stream->Error()) return false;
  fetched.data.resize(got);
  fetched.start = start;
  fetched.end = got < wanted;
  return true;
}

// Adds the files below node (the folder at source, copied as folderDestination) to files.
void AddFiles(const CFileNode& node, const std::string& source, const std::string& folderDestination,
              std::vector<CFetchFile>& files) {
  const std::string prefix = WithBackslash(source);
  for (const std::unique_ptr<CFileNode>& child : node.m_children) {
    const std::string childSource = prefix + child->m_data.name;
    if (child->IsFolder())
      AddFiles(*child, childSource, DestinationPath(folderDestination, child->m_data.name), files);
    else
      files.push_back({childSource, DestinationPath(folderDestination, child->m_data.name), child->m_data});
  }
}

}  // namespace

struct CFetchAhead::CState {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<CFetchFile> files;
  std::vector<CFetched> fetched;  // one for each file
  uint32_t depth = 0;
  size_t worker = 0;  // the worker's position
  size_t next = 0;    // the next file to fetch
  uint64_t held = 0;  // bytes reserved by fetches under way or done
  uint32_t running = 0;
  bool stopping = false;

  // Returns true when a fetch may begin now; moves next past what needs none.
  bool MayBegin() {
    next = std::max(next, worker);
    while (next < files.size() && fetched[next].step != CFetchStep::kWaiting) ++next;
    return next < files.size() && next <= worker + depth &&
           (held == 0 || held + MostBytes(files[next]) <= kFetchBytes);
  }

  // Drops what was fetched for index.
  void Release(size_t index) {
    CFetched& entry = fetched[index];
    held -= entry.reserved;
    entry = CFetched();
    entry.step = CFetchStep::kGone;
  }

  // Moves the worker to index and drops what lies before it.
  void MoveTo(size_t index) {
    for (; worker < index; ++worker)
      if (fetched[worker].step == CFetchStep::kReady || fetched[worker].step == CFetchStep::kWaiting)
        Release(worker);
      else if (fetched[worker].step == CFetchStep::kFetching)
        fetched[worker].step = CFetchStep::kGone;  // the fetch drops it when it ends
    changed.notify_all();
  }

  // Returns the index of source at or after the worker, or files.size().
  size_t Find(const std::string& source) const {
    size_t index = worker;
    while (index < files.size() && files[index].source != source) ++index;
    return index;
  }

  // One fetching thread: fetches files while the window allows, until the
  // stage stops, the run flag drops or no file is left.
  void Serve() {
    std::unique_lock hold(lock);
    for (;;) {
      // A pause holds the fetches that have not begun, as it holds the
      // worker; it is looked at now and then, since nothing here hears of it.
      while (!changed.wait_for(hold, kPauseLook, [&] {
        return stopping || !g_RunState.runFlag || next >= files.size() ||
               (!g_RunState.pauseFlag && MayBegin());
      })) {
      }
      if (stopping || !g_RunState.runFlag || next >= files.size()) break;
      const size_t index = next++;
      CFetched& entry = fetched[index];
      entry.step = CFetchStep::kFetching;
      entry.reserved = MostBytes(files[index]);
      held += entry.reserved;
      hold.unlock();
      CFetched result;
      const bool got = Fetch(files[index], result);
      hold.lock();
      if (stopping || !got || entry.step == CFetchStep::kGone) {
        Release(index);
      } else {
        held -= entry.reserved;
        result.reserved = result.data.size();
        held += result.reserved;
        result.step = CFetchStep::kReady;
        entry = std::move(result);
      }
      changed.notify_all();
    }
    --running;
    changed.notify_all();
  }
};

CFetchAhead::CFetchAhead(std::vector<CFetchFile> files, uint32_t depth)
    : m_state(std::make_shared<CState>()) {
  m_state->files = std::move(files);
  m_state->fetched.resize(m_state->files.size());
  m_state->depth = depth;
  if (depth == 0 || m_state->files.empty()) return;
  const uint32_t threads = std::min<uint32_t>(
      {kFetchThreads, depth, static_cast<uint32_t>(std::min<size_t>(m_state->files.size(), kFetchThreads))});
  m_state->running = threads;
  for (uint32_t n = 0; n < threads; ++n) RunOnPoolThread([state = m_state] { state->Serve(); });
}

CFetchAhead::~CFetchAhead() { Stop(); }

void CFetchAhead::Stop() {
  CState& state = *m_state;
  std::unique_lock hold(state.lock);
  state.stopping = true;
  state.changed.notify_all();
  state.changed.wait(hold, [&] { return state.running == 0; });
  for (size_t index = 0; index < state.fetched.size(); ++index)
    if (state.fetched[index].step != CFetchStep::kGone) state.Release(index);
}

bool CFetchAhead::Reached(const std::string& source) {
  CState& state = *m_state;
  std::lock_guard hold(state.lock);
  const size_t index = state.Find(source);
  if (index == state.files.size()) return false;
  state.MoveTo(index);
  return true;
}

std::unique_ptr<CStream> CFetchAhead::Take(const std::string& source) {
  CState& state = *m_state;
  std::unique_lock hold(state.lock);
  const size_t index = state.Find(source);
  if (index == state.files.size()) return nullptr;
  state.MoveTo(index);
  CFetched& entry = state.fetched[index];
  state.changed.wait(hold, [&] { return entry.step != CFetchStep::kFetching; });
  std::unique_ptr<CStream> stream;
  if (entry.step == CFetchStep::kReady)
    stream = MakeFetchedStream(source, entry.start, std::move(entry.data), entry.end, entry.id);
  if (entry.step != CFetchStep::kGone) state.Release(index);
  state.changed.notify_all();
  return stream;
}

std::vector<CFetchFile> FilesInWalkOrder(const CFileNode& root, const std::string& source,
                                         const std::string& destFolder) {
  std::vector<CFetchFile> files;
  AddFiles(root, source, DestinationPath(destFolder, root.m_data.name), files);
  return files;
}

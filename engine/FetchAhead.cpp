// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FetchAhead.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <map>
#include <mutex>
#include <utility>

#include "engine/CopyProgress.h"
#include "engine/FetchedStream.h"
#include "engine/FileNode.h"
#include "engine/PathHelpers.h"
#include "engine/RunState.h"
#include "platform/Connections.h"
#include "platform/WorkerPool.h"

namespace {

enum class CFetchStep { kFetching, kReady, kGone };

// How often a fetching thread held by a pause looks whether it has ended.
constexpr std::chrono::milliseconds kPauseLook{50};

struct CFetched {
  CFetchStep step = CFetchStep::kFetching;
  uint64_t reserved = 0;  // bytes counted against kFetchBytes meanwhile
  uint64_t start = 0;
  std::vector<uint8_t> data;
  bool end = false;
  CFileId id;
};

// A folder of the walk: the prefix of its files' sources and the folder
// their copies go to.
struct CWalkFolder {
  std::string prefix;
  std::string destination;
};

// One file of the walk: its listing in the tree, and its folder. Kept small,
// for a tree may hold millions of files.
struct CWalkFile {
  const CFileNode* node;
  size_t folder;
};

// Returns the bytes a fetch of the file listed as listing may read at most.
uint64_t MostBytes(const CFindData& listing) { return std::min(listing.size, kFetchFileBytes); }

// Reads the first bytes of the file listed as listing at source into
// fetched, from where its copy at destination ends. Returns true when they
// are read; false when the copy needs no bytes from the start of what it
// lacks (complete, longer, no file, or compared first by the worker), or the
// source does not open or read.
bool Fetch(const std::string& source, const std::string& destination, const CFindData& listing,
           CFetched& fetched) {
  uint64_t start = 0;
  CFindData existing;
  if (FindFirst(destination, existing)) {
    if ((existing.attrib & (kAttribSubdir | kAttribSpecial)) != 0) return false;
    // A destination as long as the source is complete or compared first;
    // a shorter one stamped otherwise is compared before it goes on.
    if (existing.size >= listing.size || existing.time_write != listing.time_write) return false;
    start = existing.size;
  }
  // The identity is not asked for here: over a share that is a request of
  // its own, and the worker asks for it only when the listing cannot rule
  // out that the destination is the source itself (the fetched stream then
  // opens the file for it). A file of its listed length costs no read that
  // only finds its end.
  fetched.id = CFileId();
  const auto wanted = static_cast<size_t>(std::min(listing.size - start, kFetchFileBytes));
  if (!ReadFileAt(source, start, wanted, listing.size, fetched.data)) return false;
  const size_t got = fetched.data.size();
  fetched.start = start;
  fetched.end = got < wanted;
  return true;
}

// Adds the files below node, the folder at source copied as
// folderDestination, to files in walk order, and their folders to folders.
void AddFiles(const CFileNode& node, const std::string& source, const std::string& folderDestination,
              std::vector<CWalkFolder>& folders, std::vector<CWalkFile>& files) {
  const size_t folder = folders.size();
  folders.push_back({WithBackslash(source), folderDestination});
  for (const std::unique_ptr<CFileNode>& child : node.m_children) {
#if defined(_WIN32)
    // The walk leaves such an entry out, and so does the stage.
    if (NameWindowsCannotHold(child->m_data.name)) continue;
#endif
    if (child->IsFolder())
      AddFiles(*child, folders[folder].prefix + child->m_data.name,
               DestinationPath(folderDestination, child->m_data.name), folders, files);
    else
      files.push_back({child.get(), folder});
  }
}

}  // namespace

struct CFetchAhead::CState {
  std::mutex lock;
  std::condition_variable wake;  // the fetching threads wait on it for room
  std::condition_variable done;  // the worker waits on it for fetches to end
  std::vector<CWalkFolder> folders;
  std::vector<CWalkFile> files;
  // The files claimed at or after the worker's position; a file before
  // next and not here was taken or passed.
  std::map<size_t, CFetched> fetched;
  uint32_t depth = 0;
  size_t worker = 0;  // the worker's position
  size_t next = 0;    // the next file to fetch
  uint64_t held = 0;  // bytes reserved by fetches under way or done
  uint32_t running = 0;
  bool stopping = false;

  // Returns the source path of the file at index.
  std::string Source(size_t index) const {
    return folders[files[index].folder].prefix + files[index].node->m_data.name;
  }

  // Returns true when a fetch may begin now.
  bool MayBegin() {
    next = std::max(next, worker);
    return next < files.size() && next <= worker + depth &&
           (held == 0 || held + MostBytes(files[next].node->m_data) <= kFetchBytes);
  }

  // Drops what was fetched for the file at index, unless a fetch is still
  // under way, which drops it when it ends.
  void Release(size_t index) {
    const auto found = fetched.find(index);
    if (found == fetched.end()) return;
    if (found->second.step == CFetchStep::kFetching) {
      found->second.step = CFetchStep::kGone;
      return;
    }
    held -= found->second.reserved;
    fetched.erase(found);
  }

  // Moves the worker to index and drops what lies before it; a fetch still
  // under way drops its file when it ends.
  void MoveTo(size_t index) {
    // Each file the worker moves on makes room for one more fetch.
    for (size_t room = std::min<size_t>(index - std::min(index, worker), running); room > 0; --room)
      wake.notify_one();
    worker = index;
    for (auto at = fetched.begin(); at != fetched.end() && at->first < index;) {
      if (at->second.step == CFetchStep::kFetching) {
        at->second.step = CFetchStep::kGone;
        ++at;
      } else if (at->second.step == CFetchStep::kGone) {
        ++at;
      } else {
        held -= at->second.reserved;
        at = fetched.erase(at);
      }
    }
  }

  // Returns the index of source at or after the worker, or files.size().
  size_t Find(const std::string& source) const {
    size_t index = worker;
    while (index < files.size() && Source(index) != source) ++index;
    return index;
  }

  // One fetching thread: fetches files while the window allows, until the
  // stage stops, the run flag drops or no file is left.
  void Serve() {
    std::unique_lock hold(lock);
    for (;;) {
      // A pause holds the fetches that have not begun, as it holds the
      // worker; it is looked at now and then, since nothing here hears of it.
      while (!wake.wait_for(hold, kPauseLook, [&] {
        return stopping || !g_RunState.runFlag || next >= files.size() ||
               (!g_RunState.pauseFlag && MayBegin());
      })) {
      }
      if (stopping || !g_RunState.runFlag || next >= files.size()) break;
      const size_t index = next++;
      const CFindData& listing = files[index].node->m_data;
      const std::string source = Source(index);
      const std::string destination = DestinationPath(folders[files[index].folder].destination, listing.name);
      CFetched& entry = fetched[index];
      entry.step = CFetchStep::kFetching;
      entry.reserved = MostBytes(listing);
      held += entry.reserved;
      hold.unlock();
      CFetched result;
      const bool got = Fetch(source, destination, listing, result);
      hold.lock();
      // The entry stays where it is while its fetch is under way.
      held -= entry.reserved;
      if (stopping || !got || entry.step == CFetchStep::kGone) {
        fetched.erase(index);
      } else {
        result.reserved = result.data.size();
        held += result.reserved;
        result.step = CFetchStep::kReady;
        entry = std::move(result);
      }
      done.notify_all();
    }
    --running;
    done.notify_all();
  }
};

CFetchAhead::CFetchAhead(const CFileNode& root, const std::string& source, const std::string& destFolder,
                         uint32_t depth)
    : m_state(std::make_shared<CState>()) {
  CState& state = *m_state;
  state.depth = depth;
  if (depth == 0) return;
  AddFiles(root, source, DestinationPath(destFolder, root.m_data.name), state.folders, state.files);
  if (state.files.empty()) return;
  // The copy keeps one connection of the setting for itself.
  const auto threads =
      static_cast<uint32_t>(std::min<size_t>({kFetchThreads, Connections() - 1, depth, state.files.size()}));
  state.running = threads;
  for (uint32_t n = 0; n < threads; ++n) RunOnPoolThread([shared = m_state] { shared->Serve(); });
}

CFetchAhead::~CFetchAhead() { Stop(); }

void CFetchAhead::Stop() {
  CState& state = *m_state;
  std::unique_lock hold(state.lock);
  state.stopping = true;
  state.wake.notify_all();
  state.done.wait(hold, [&] { return state.running == 0; });
  state.fetched.clear();
  state.held = 0;
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
  if (state.stopping) return nullptr;
  const size_t index = state.Find(source);
  if (index == state.files.size()) return nullptr;
  state.MoveTo(index);
  // A file not claimed yet is not fetched any more: the worker opens it.
  state.next = std::max(state.next, index + 1);
  // A fetch under way is waited for; one that failed is gone by then.
  state.done.wait(hold, [&] {
    const auto found = state.fetched.find(index);
    return found == state.fetched.end() || found->second.step != CFetchStep::kFetching;
  });
  const auto found = state.fetched.find(index);
  if (found == state.fetched.end()) return nullptr;
  std::unique_ptr<CStream> stream;
  CFetched& entry = found->second;
  if (entry.step == CFetchStep::kReady)
    stream = MakeFetchedStream(source, entry.start, std::move(entry.data), entry.end, entry.id);
  state.Release(index);
  return stream;
}

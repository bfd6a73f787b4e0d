// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DestinationCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/CopyProgress.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/ResultFlags.h"

namespace {

// Two buffers for the stretches compared, one per side.
class CCompareBuffers {
public:
  CCompareBuffers() : m_bytes(2 * kTailCheckBytes) {}
  uint8_t* Source() { return m_bytes.data(); }
  uint8_t* Destination() { return m_bytes.data() + kTailCheckBytes; }

private:
  std::vector<uint8_t> m_bytes;
};

// Compares count bytes of destination from destOffset with the bytes of
// source they come from under layout, reading both in ascending order, so
// that source is left where the stretch's end stands for. Returns how the
// comparison came out.
CMatch CompareRange(CStream& source, CStream& destination, uint64_t destOffset, uint64_t count,
                    const CCopyLayout& layout, CCompareBuffers& buffers) {
  while (count > 0) {
    uint64_t piece = std::min(count, kTailCheckBytes);
    // A stretch that crosses the end of the header comes from two places.
    if (destOffset < layout.header) piece = std::min(piece, layout.header - destOffset);
    const auto wanted = static_cast<size_t>(piece);

    if (source.Seek(static_cast<int64_t>(layout.SourceOffset(destOffset)), SeekOrigin::kSet) != 0)
      return CMatch::kSourceUnreadable;
    const size_t fromSource = source.Read(buffers.Source(), wanted);
    if (source.Error()) {
      source.ClearErr();
      return CMatch::kSourceUnreadable;
    }
    if (destination.Seek(static_cast<int64_t>(destOffset), SeekOrigin::kSet) != 0)
      return CMatch::kDestinationUnreadable;
    const size_t fromDestination = destination.Read(buffers.Destination(), wanted);
    if (destination.Error()) return CMatch::kDestinationUnreadable;

    if (fromSource != wanted || fromDestination != wanted ||
        std::memcmp(buffers.Source(), buffers.Destination(), wanted) != 0)
      return CMatch::kDiffers;
    destOffset += piece;
    count -= piece;
  }
  return CMatch::kSame;
}

// One stretch of a destination to compare: where it begins and how long it is.
struct CStretch {
  uint64_t offset;
  uint64_t count;
};

// Opens the destination at path for reading and compares the stretches in
// their order. Returns kSame when every stretch is equal, else the first
// other outcome.
CMatch CompareStretches(CStream& source, const std::string& path, const std::vector<CStretch>& stretches,
                        const CCopyLayout& layout) {
  std::unique_ptr<CStream> destination = FileOpen(path, OpenMode::kRead);
  if (!destination) return CMatch::kDestinationUnreadable;
  CCompareBuffers buffers;
  for (const CStretch& stretch : stretches) {
    const CMatch match = CompareRange(source, *destination, stretch.offset, stretch.count, layout, buffers);
    if (match != CMatch::kSame) return match;
  }
  return CMatch::kSame;
}

}  // namespace

CMatch CompareTail(CStream& source, const std::string& path, uint64_t length, const CCopyLayout& layout) {
  if (length == 0) return CMatch::kSame;
  const uint64_t count = std::min(kTailCheckBytes, length);
  const uint64_t start = length - count;
  std::vector<CStretch> stretches;
  if (layout.header > 0 && start >= layout.header)
    stretches.push_back({0, std::min(kCheckPageBytes, layout.header)});
  stretches.push_back({start, count});
  return CompareStretches(source, path, stretches, layout);
}

CMatch CompareSamples(CStream& source, const std::string& path, uint64_t size) {
  // Pages far apart: what the source would read ahead after the first one
  // would be thrown away at the next.
  source.DropCache(0, static_cast<int64_t>(size));
  std::vector<CStretch> stretches;
  if (size <= 3 * kCheckPageBytes) {
    stretches.push_back({0, size});
  } else {
    const uint64_t middle = size / 2 / kCheckPageBytes * kCheckPageBytes;
    stretches.push_back({0, kCheckPageBytes});
    stretches.push_back({middle, kCheckPageBytes});
    stretches.push_back({size - kCheckPageBytes, kCheckPageBytes});
  }
  return CompareStretches(source, path, stretches, CCopyLayout{});
}

bool MayHoldTheSource(CStream& source, const std::string& path, uint64_t length, int64_t writeTime,
                      const CFindData& listing) {
  if (length != listing.size || writeTime != listing.time_write) return false;
  const uint64_t page = std::min(kCheckPageBytes, length);
  const std::vector<CStretch> stretches{{0, page}, {length - page, page}};
  // A page that cannot be read shows no difference: the file is kept.
  return CompareStretches(source, path, stretches, CCopyLayout{}) != CMatch::kDiffers;
}

bool SourceEndsWithItsCopy(CStream& source, const std::string& path, uint64_t length,
                           const CCopyLayout& layout) {
  source.ClearErr();
  if (source.Seek(0, SeekOrigin::kEnd) != 0) return false;
  const int64_t told = source.Tell();
  if (told < 0) return false;
  const auto end = static_cast<uint64_t>(told);
  if (length > layout.header) {
    if (end != layout.partStart + (length - layout.header)) return false;
  } else if (length == layout.header && layout.header > 0) {
    // A copy that holds the header and nothing of its part: the part lies
    // at or beyond the source's end.
    if (end < layout.header || end > layout.partStart) return false;
  } else if (end != length) {
    return false;
  }
  const uint64_t page = std::min(kCheckPageBytes, length);
  return CompareStretches(source, path, {{length - page, page}}, layout) == CMatch::kSame;
}

uint32_t ReportMatch(CMatch match, const std::string& path, const std::string& name) {
  switch (match) {
    case CMatch::kSame:
      return kResultOk;
    case CMatch::kSourceUnreadable:
      // As a failed block read says it.
      LogPrintf("error %d reading %s", 32, name.c_str());
      return kResultReadFailure;
    case CMatch::kDestinationUnreadable:
      LogUnreadableDestination(path, errno);
      return kResultWriteFailure;
    case CMatch::kDiffers:
      break;
  }
  LogForeignDestination(path);
  return kResultWriteFailure;
}

void LogUnreadableDestination(const std::string& path, int error) {
  LogPrintf("\r\neror opening destination %s\r\n", path.c_str());
  LogFailureCause(path, error);
  NoteFailureCause("the destination cannot be read: " + ErrorText(error));
}

void LogForeignDestination(const std::string& path) {
  LogPrintf("\r\n%s differs from its source, left alone\r\n", path.c_str());
  NoteFailureCause("the destination differs from its source");
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DestinationState.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "engine/PassedPages.h"

CWholeFileStep WholeFileStep(const CFindData& existing, const CFindData& source) {
  const uint64_t size = source.size;
  const bool stamped = existing.time_write == source.time_write;
  if (existing.size == size && (stamped || size == 0)) return CWholeFileStep::kComplete;
  if (existing.size >= size) return CWholeFileStep::kCheckComplete;
  if (existing.size > 0 && !stamped) return CWholeFileStep::kCheckContinue;
  return CWholeFileStep::kContinue;
}

CPartPlan PartPlanOf(uint64_t header, uint32_t partNumber, uint64_t partSize, uint64_t size, bool reget) {
  CPartPlan plan;
  plan.header = header;
  plan.partStart = header + (partNumber > 0 ? partNumber - 1 : 0) * partSize;
  plan.partEnd = std::min<uint64_t>(header + static_cast<uint64_t>(partNumber) * partSize, size);
  plan.reget = reget;
  return plan;
}

namespace {

// Returns the verdict of a comparison that came out as match: state when
// the bytes compared are equal.
CDestinationVerdict AfterComparison(CMatch match, CDestinationState state, uint64_t bytesToRead) {
  CDestinationVerdict verdict;
  verdict.match = match;
  verdict.error = match == CMatch::kSame ? 0 : errno;
  switch (match) {
    case CMatch::kSame:
      verdict.state = state;
      verdict.bytesToRead = bytesToRead;
      break;
    case CMatch::kSourceUnreadable:
      verdict.state = CDestinationState::kUnchecked;
      break;
    case CMatch::kDestinationUnreadable:
    case CMatch::kDiffers:
      // A run leaves a destination it cannot read alone, as one that differs.
      verdict.state = CDestinationState::kDiffers;
      break;
  }
  return verdict;
}

// Returns a verdict that needs no comparison.
CDestinationVerdict Plain(CDestinationState state, uint64_t bytesToRead) {
  CDestinationVerdict verdict;
  verdict.state = state;
  verdict.bytesToRead = bytesToRead;
  return verdict;
}

// Compares with the source at path through compare, which gets the open
// source; returns its verdict as AfterComparison does, or kUnchecked when
// the source does not open.
template <class Compare>
CDestinationVerdict Compared(const std::string& path, CDestinationState state, uint64_t bytesToRead,
                             const Compare& compare) {
  std::unique_ptr<CStream> source = FileOpen(path, OpenMode::kRead);
  if (!source) return AfterComparison(CMatch::kSourceUnreadable, state, bytesToRead);
  return AfterComparison(compare(*source), state, bytesToRead);
}

// The part file's rules (CopyFilePart): without ReGet an existing part file
// is written again from its start; under ReGet one that holds at least the
// header is compared before its end and continued there (complete once it
// reaches the part's end), a shorter one is written again.
CDestinationVerdict ClassifyPartFile(const std::string& source, const CFindData& listing,
                                     const std::string& destination, const CFindData& existing,
                                     const CPartPlan& plan) {
  const uint64_t partLength = plan.partEnd > plan.partStart ? plan.partEnd - plan.partStart : 0;
  const uint64_t whole = std::min(plan.header, listing.size) + partLength;
  const uint64_t length = existing.size;
  if (!plan.reget || length < plan.header) {
    if (whole == 0 && length == 0) return Plain(CDestinationState::kComplete, 0);
    return Plain(CDestinationState::kPartial, whole);
  }
  const CCopyLayout layout{plan.header, plan.partStart};
  const uint64_t offset = layout.SourceOffset(length);
  const uint64_t left = plan.partEnd > offset ? plan.partEnd - offset : 0;
  const CDestinationState state = left == 0 ? CDestinationState::kComplete : CDestinationState::kPartial;
  if (length == 0) return Plain(state, left);
  return Compared(source, state, left,
                  [&](CStream& stream) { return CompareTail(stream, destination, length, layout); });
}

}  // namespace

CDestinationVerdict ClassifyDestination(const std::string& source, const CFindData& listing,
                                        const std::string& destination, const CPartPlan* parts) {
  CFindData existing;
  if (!FindFirst(destination, existing)) {
    if (!parts) return Plain(CDestinationState::kMissing, listing.size);
    const uint64_t partLength = parts->partEnd > parts->partStart ? parts->partEnd - parts->partStart : 0;
    return Plain(CDestinationState::kMissing, std::min(parts->header, listing.size) + partLength);
  }
  // A folder or anything else is no copy at all: a run cannot open it.
  if ((existing.attrib & (kAttribSubdir | kAttribSpecial)) != 0) return Plain(CDestinationState::kDiffers, 0);
  // A copy with a record of pages passed as zeros is partial: a run reads
  // the recorded pages inside it again, then whatever it lacks at its end.
  CPassedPages passed;
  if (LoadPassedRecord(PassedRecordPath(destination), passed) == CRecordFound::kRecord) {
    const CCopyLayout layout = parts ? CCopyLayout{parts->header, parts->partStart} : CCopyLayout{};
    if (!passed.Describes(listing, layout)) return Plain(CDestinationState::kDiffers, 0);
    uint64_t bytes = 0;
    for (const CPassedRun& run : passed.runs)
      if (run.offset < existing.size) bytes += std::min(run.length, existing.size - run.offset);
    const uint64_t end = parts ? parts->partEnd : listing.size;
    const uint64_t reached = layout.SourceOffset(existing.size);
    return Plain(CDestinationState::kPartial, bytes + (end > reached ? end - reached : 0));
  }
  if (parts) return ClassifyPartFile(source, listing, destination, existing, *parts);

  const uint64_t size = listing.size;
  switch (WholeFileStep(existing, listing)) {
    case CWholeFileStep::kComplete:
      return Plain(CDestinationState::kComplete, 0);
    case CWholeFileStep::kCheckComplete:
      if (existing.size != size) return AfterComparison(CMatch::kDiffers, CDestinationState::kComplete, 0);
      return Compared(source, CDestinationState::kComplete, 0,
                      [&](CStream& stream) { return CompareSamples(stream, destination, size); });
    case CWholeFileStep::kCheckContinue:
      return Compared(source, CDestinationState::kPartial, size - existing.size, [&](CStream& stream) {
        return CompareTail(stream, destination, existing.size, CCopyLayout{});
      });
    case CWholeFileStep::kContinue:
      break;
  }
  return Plain(CDestinationState::kPartial, size - existing.size);
}

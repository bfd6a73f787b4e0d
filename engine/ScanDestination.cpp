// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ScanDestination.h"

#include "engine/CopyProgress.h"
#include "engine/DestinationState.h"
#include "engine/LogPrintf.h"
#include "engine/MainForm.h"
#include "engine/PathHelpers.h"
#include "engine/RunState.h"
#include "engine/UpdateProgress.h"

ResultFlags ScanDestinationFile(const CFileNode& node, const std::string& source,
                                const std::string& destFolder, CMainForm* form, CScanCounts& counts) {
  RunState& run = g_RunState;
  const std::string destination = DestinationPath(destFolder, node.m_data.name);
  CPartPlan plan;
  const bool byParts = form && form->CopyByParts();
  if (byParts)
    plan = PartPlanOf(form->Header(), form->PartNumber(), form->PartSize(), node.m_data.size, form->ReGet());
  const CDestinationVerdict verdict =
      ClassifyDestination(source, node.m_data, destination, byParts ? &plan : nullptr);

  ResultFlags result = kResultOk;
  switch (verdict.state) {
    case CDestinationState::kMissing:
      ++counts.missing;
      break;
    case CDestinationState::kComplete:
      ++counts.complete;
      break;
    case CDestinationState::kPartial:
      ++counts.partial;
      break;
    case CDestinationState::kDiffers:
      ++counts.differing;
      LogPrintf("\r\n%s differs from its source, a run leaves it alone\r\n", destination.c_str());
      break;
    case CDestinationState::kUnchecked:
      ++counts.unchecked;
      LogPrintf("\r\n%s : cannot be read to compare it with its copy (%s)\r\n", source.c_str(),
                ErrorText(verdict.error).c_str());
      result = kResultReadFailure;
      break;
  }
  counts.bytesToCopy += verdict.bytesToRead;

  ++run.currentFileNumber;
  run.fileProgress = 1000;
  run.bytesDone += node.m_data.size;
  UpdateProgress();
  return result;
}

ResultFlags ScanDestinationFolder(const CFileNode& node, const std::string& source,
                                  const std::string& destFolder, CMainForm* form, CScanCounts& counts) {
  const RunState& run = g_RunState;
  const std::string folderDestination = DestinationPath(destFolder, node.m_data.name);
  const std::string prefix = WithBackslash(source);
  ResultFlags result = kResultOk;
  for (const std::unique_ptr<CFileNode>& child : node.m_children) {
    if (!run.runFlag) break;
    const std::string childSource = prefix + child->m_data.name;
    if (child->IsFolder())
      result |= ScanDestinationFolder(*child, childSource, folderDestination, form, counts);
    else
      result |= ScanDestinationFile(*child, childSource, folderDestination, form, counts);
  }
  return result;
}

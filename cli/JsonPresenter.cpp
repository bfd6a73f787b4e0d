// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/JsonPresenter.h"

#include <charconv>
#include <cstdio>

#include "cli/JsonText.h"
#include "engine/RunState.h"

namespace {

// Appends the decimal digits of number.
template <class T>
void AppendNumber(std::string& out, T number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

}  // namespace

void CJsonPresenter::BeginEvent(const char* event) {
  m_line.assign("{\"event\":");
  AppendJsonString(m_line, event);
}

void CJsonPresenter::EndEvent(CSteadyTime now) {
  m_line += "}\n";
  m_out.Append(m_line);
  m_out.FlushIfDue(now);
}

void CJsonPresenter::Key(const char* key) {
  m_line += ",\"";
  m_line += key;
  m_line += "\":";
}

void CJsonPresenter::Member(const char* key, std::string_view text) {
  Key(key);
  AppendJsonString(m_line, text);
}

void CJsonPresenter::Member(const char* key, uint64_t number) {
  Key(key);
  AppendNumber(m_line, number);
}

void CJsonPresenter::Member(const char* key, int64_t number) {
  Key(key);
  AppendNumber(m_line, number);
}

void CJsonPresenter::Member(const char* key, bool value) {
  Key(key);
  m_line += value ? "true" : "false";
}

void CJsonPresenter::OnLog(std::string_view message, CSteadyTime now) {
  if (m_ended) return;
  BeginEvent("log");
  Member("text", message);
  EndEvent(now);
}

void CJsonPresenter::OnProgress(const RunState& state, CSteadyTime now) {
  if (m_ended) return;
  ComputeProgress(state, m_display);
  BeginEvent("progress");
  Member("file_label", m_display.fileLabel);
  Member("file_bar", int64_t{m_display.fileBar});
  Member("total_label", m_display.totalLabel);
  Member("total_bar", int64_t{m_display.totalBar});
  Member("caption", m_display.caption);
  Member("file_number", int64_t{state.currentFileNumber});
  Member("file_count", int64_t{state.fileCount});
  Member("file_permille", uint64_t{state.fileProgress});
  Member("bytes_done", state.bytesDone);
  Member("total_bytes", state.totalBytes);
  EndEvent(now);
}

void CJsonPresenter::OnSourceDone(const CSourceSummary& summary, CSteadyTime now) {
  if (m_ended) return;
  char crc[16];
  std::snprintf(crc, sizeof crc, "0x%08x", summary.crc32);
  // What the source left out comes before how it ended, one event each.
  for (const CLeftOutEntry& entry : summary.leftOut) {
    BeginEvent("left_out");
    Member("index", uint64_t{summary.index});
    Member("path", entry.path);
    Member("cause", entry.cause);
    Member("folder", entry.folder);
    EndEvent(now);
  }
  BeginEvent("source");
  Member("index", uint64_t{summary.index});
  Member("path", summary.path);
  Member("result", uint64_t{summary.result});
  Member("crc32", std::string_view(crc));
  Member("errors_fixed", int64_t{summary.errorsFixed});
  Member("canceled", summary.canceled);
  EndEvent(now);
}

void CJsonPresenter::OnScanDone(const CScanSummary& summary, CSteadyTime now) {
  if (m_ended) return;
  BeginEvent("scan");
  Member("index", uint64_t{summary.index});
  Member("path", summary.path);
  Member("files", summary.files);
  Member("folders", summary.folders);
  Member("bytes", summary.bytes);
  Member("complete_files", summary.completeFiles);
  Member("partial_files", summary.partialFiles);
  Member("missing_files", summary.missingFiles);
  Member("differing_files", summary.differingFiles);
  Member("bytes_to_copy", summary.bytesToCopy);
  EndEvent(now);
}

void CJsonPresenter::OnPause(bool paused, CSteadyTime now) {
  if (m_ended) return;
  BeginEvent(paused ? "paused" : "continued");
  EndEvent(now);
}

void CJsonPresenter::OnStop(CSteadyTime /*now*/) {
  if (!m_ended) m_out.Flush();
}

void CJsonPresenter::OnTick(CSteadyTime now) {
  if (!m_ended) m_out.FlushIfDue(now);
}

void CJsonPresenter::OnEnd(ResultFlags result, int exitStatus) {
  if (m_ended) return;
  m_ended = true;
  BeginEvent("end");
  Member("result", uint64_t{result});
  Member("exit", int64_t{exitStatus});
  m_line += "}\n";
  m_out.Append(m_line);
  m_out.Flush();
}

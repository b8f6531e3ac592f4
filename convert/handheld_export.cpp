// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "handheld_export.h"

#include "export_book_reader.h"

namespace ql {

HandheldExport::HandheldExport() : iReader(std::make_unique<ExportBookReader>()) {}
HandheldExport::~HandheldExport() = default;

void HandheldExport::SetMessageSink(MessageSink* messages) {
  iReader->SetMessageSink(messages);
}

void HandheldExport::SetExportTime(int64_t unixTime) {
  iReader->SetExportTime(unixTime);
}

bool HandheldExport::Open(const std::string& book) {
  const SourceResult opened = iReader->OpenSource(book);
  if (opened == SourceResult::kOk) {
    iSubjects = iReader->GetSourceSubjectCount();
    return true;
  }
  iFailure = book + ": " + ExportOpenFailureText(opened);
  return false;
}

int64_t HandheldExport::ProgressEnd() const {
  return 2 * iSubjects + 3;
}

bool HandheldExport::Write(const std::string& pdbPath, const std::string& name, ProgressSink* bar) {
  iResult = iReader->ExportToHandheld(pdbPath.c_str(), name.c_str(), bar);
  iReader->CloseSource();
  if (iResult == HandheldResult::kOk) return true;
  iFailure = pdbPath + ": " + QLPResultText(iReader->LastFailure());
  return false;
}

const HandheldFailure& HandheldExport::LastFailure() const {
  return iReader->LastFailure();
}

bool HandheldExport::EntriesOverlap() const {
  return iReader->EntriesOverlap();
}

int HandheldExport::UnreadableRecordCount() const {
  return iReader->UnreadableRecordCount();
}

const std::vector<std::string>& HandheldExport::UnreadableSubjects() const {
  return iReader->UnreadableSubjects();
}

int64_t HandheldExport::ReplacedCharacters() const {
  return iReader->ReplacedCharacters();
}

const std::vector<std::string>& HandheldExport::ReplacedSubjects() const {
  return iReader->ReplacedSubjects();
}

}  // namespace ql

// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "export_flow.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "book_reader.h"
#include "handheld_export.h"
#include "make_flows.h"
#include "qlp_writer.h"
#include "same_file.h"
#include "text_case.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr std::string_view kBookSuffix = ".ql";
constexpr const char* kExportFailed = QL_TEXT("messages", "Export failed");

// The HotSync User dialog over the aide's users, listed sorted as the dialog
// shows them, and the queuing with its message.
void InstallOnHandheld(Desktop& desktop, InstallAide& aide, const std::string& pdbPath) {
  std::vector<std::string> users;
  const int count = aide.UserCount();
  for (int i = 0; i < count; ++i) users.push_back(aide.UserName(i));
  std::stable_sort(users.begin(), users.end(), [](const std::string& a, const std::string& b) {
    return CompareSubjects(a, b) < 0;
  });
  const std::optional<int> chosen = desktop.ChooseHotSyncUser(users);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= users.size()) return;
  const std::string& user = users[static_cast<size_t>(*chosen)];
  if (user.empty()) return;
  desktop.ShowMessage(
      translate("messages", aide.QueueFile(user, pdbPath) == 0 ? kInstallQueued : kInstallProblem),
      kDefaultCaption);
}

}  // namespace

std::string DefaultPdbFileName(const std::string& title) {
  if (EndsWithFolded(title, kBookSuffix)) return title.substr(0, title.size() - kBookSuffix.size());
  return title;
}

std::string DefaultDatabaseName(const std::string& pdbPath) {
  return std::filesystem::path(pdbPath).stem().string();
}

void RunExportToHandheld(Document& doc, Desktop& desktop, InstallAide& aide, BookFiles& files) {
  if (!doc.IsOpen()) return;
  FileDialogSpec dialog;
  dialog.save = true;
  dialog.filter = translate("messages", kPdbFilter);
  dialog.defaultExtension = kPdbExtension;
  dialog.initialName = DefaultPdbFileName(doc.Title());
  const std::optional<ChosenFile> chosen = desktop.ChooseFile(dialog);
  if (!chosen) return;
  const std::string& pdbPath = chosen->path;
  PalmImportValues values;
  values.hotSync = true;
  values.name = DefaultDatabaseName(pdbPath);
  if (!desktop.EditPalmImport(values)) return;

  // Refused before the book is closed: nothing changes.
  if (values.name.empty()) {
    desktop.ShowMessage(translate("messages", kExportFailed) + ":\n" + pdbPath + ": " +
                            QLPResultText(HandheldResult::kMissingArgument),
                        kDefaultCaption);
    return;
  }
  if (IsSameFile(pdbPath, doc.Path())) {
    desktop.ShowMessage(translate("messages", kExportFailed) + ":\n" + OpenBookTargetText(pdbPath),
                        kDefaultCaption);
    return;
  }

  const std::optional<ClosedBook> closed = CloseBook(doc, desktop);
  if (!closed) return;
  {
    HandheldExport exporter;
    exporter.SetMessageSink(&desktop);
    bool written = exporter.Open(closed->path);
    if (written) {
      WaitCursorOn wait(desktop);
      std::unique_ptr<ProgressSink> bar = desktop.StartProgress(exporter.ProgressEnd(), true);
      written = exporter.Write(pdbPath, values.name, bar.get());
    }
    if (!written)
      desktop.ShowMessage(translate("messages", kExportFailed) + ":\n" + exporter.Failure(),
                          kDefaultCaption);
    else if (values.hotSync)
      InstallOnHandheld(desktop, aide, pdbPath);
  }
  ReopenBook(doc, desktop, *closed, files);
}

}  // namespace ql

#include "export_flow.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "book_reader.h"
#include "export_book_reader.h"
#include "make_flows.h"
#include "same_file.h"
#include "text_case.h"

namespace ql {

namespace {

constexpr std::string_view kBookSuffix = ".ql";
constexpr std::string_view kExportFailed = "Export failed";

// Why the export run failed, with the system's reason when a file failed.
std::string ExportFailureText(const std::string& pdbPath, int result, int error) {
  return pdbPath + ": " + QLPResultText(result, error);
}

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
  desktop.ShowMessage(aide.QueueFile(user, pdbPath) == 0 ? kInstallQueued : kInstallProblem,
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
  dialog.filter = kPdbFilter;
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
    desktop.ShowMessage(
        std::string(kExportFailed) + ":\n" + pdbPath + ": " + QLPResultText(kQLPMissingArgument),
        kDefaultCaption);
    return;
  }
  if (IsSameFile(pdbPath, doc.Path())) {
    desktop.ShowMessage(std::string(kExportFailed) + ":\n" + OpenBookTargetText(pdbPath),
                        kDefaultCaption);
    return;
  }

  const std::optional<ClosedBook> closed = CloseBook(doc, desktop);
  if (!closed) return;
  {
    ExportBookReader reader;
    reader.SetMessageSink(&desktop);
    std::string failure;
    const int opened = reader.OpenSource(closed->path);
    if (opened != kExportOk) {
      // An unreadable book would give a database without subjects.
      failure = closed->path + ": " + ExportOpenFailureText(opened);
    } else {
      const int64_t n = reader.GetSourceSubjectCount();
      int result;
      {
        WaitCursorOn wait(desktop);
        std::unique_ptr<ProgressSink> bar = desktop.StartProgress(2 * n + 3, true);
        result = reader.ExportToHandheld(pdbPath.c_str(), values.name.c_str(), bar.get());
      }
      if (result != kQLPOk) failure = ExportFailureText(pdbPath, result, reader.WriteError());
    }
    if (!failure.empty())
      desktop.ShowMessage(std::string(kExportFailed) + ":\n" + failure, kDefaultCaption);
    else if (values.hotSync)
      InstallOnHandheld(desktop, aide, pdbPath);
    reader.CloseSource();
  }
  ReopenBook(doc, desktop, *closed, files);
}

}  // namespace ql

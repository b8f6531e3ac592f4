// qlbook import, export-text and upgrade: the commands that make books.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "atomic_file.h"
#include "book_builder.h"
#include "byte_sink.h"
#include "cli_util.h"
#include "open_failure.h"
#include "text_encoding.h"
#include "upgrade.h"

namespace qlcli {

namespace {

constexpr const char* kFormatTagged = "tagged";
constexpr const char* kFormatTab = "tab";
constexpr const char* kEncodingUtf8 = "utf-8";
constexpr const char* kEncodingCp1252 = "cp1252";
// How much of the input decides whether it is UTF-8.
constexpr size_t kEncodingProbe = 64 * 1024;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

bool EndsWith(const std::string& text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  std::string lower = text.substr(text.size() - tail.size());
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
  return lower == tail;
}

// Tab-separated for .tab and .tsv, tagged text for anything else.
std::string FormatFromExtension(const std::string& path) {
  return EndsWith(path, ".tab") || EndsWith(path, ".tsv") ? kFormatTab : kFormatTagged;
}

std::string WriteFailure(const std::string& path, int code) {
  std::string why = code == ql::kBuildIoFailed && errno != 0 ? ql::SystemErrorText(errno)
                                                             : ql::UpgradeResultText(code);
  return path + ": cannot write the book: " + why + " (nothing was changed there)";
}

// The import results text: subject count and sorted status.
std::string ImportResults(const ql::BookBuilder& builder) {
  std::string text = "Number of subjects:   \t" + std::to_string(builder.iSubjectCount) +
                     "\nFile sorted status:       \t";
  if (builder.iSorted == 1)
    text += "Yes";
  else
    text += "No\nSorted check failed at subject: " + builder.iPreviousSubject;
  return text + "\n";
}

// Makes input a file that can be read again from its start: anything but a
// regular file (a pipe) is copied into a work file first. False (errno set)
// when that failed.
bool Rewindable(std::unique_ptr<std::FILE, FileCloser>& input) {
  struct stat st {};
  if (fstat(fileno(input.get()), &st) == 0 && S_ISREG(st.st_mode)) return true;
  std::unique_ptr<std::FILE, FileCloser> copy(ql::OpenWorkFile());
  if (!copy) return false;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, input.get())) > 0)
    if (std::fwrite(buffer, 1, got, copy.get()) != got) return false;
  if (std::ferror(input.get()) || std::fflush(copy.get()) != 0 ||
      std::fseek(copy.get(), 0, SEEK_SET) != 0)
    return false;
  input = std::move(copy);
  return true;
}

void RunImport(const std::string& source, const std::string& book, std::string format,
               const std::string& encoding) {
  if (format.empty()) format = FormatFromExtension(source);
  if (IsSameFile(source, book)) return;
  struct stat st {};
  if (stat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    Fail(source + ": is a directory");
    return;
  }
  std::unique_ptr<std::FILE, FileCloser> input(std::fopen(source.c_str(), "rb"));
  if (!input) {
    Fail(source + ": " + std::strerror(errno));
    return;
  }
  ql::BookBuilder builder;
  if (!builder.IsReady()) {
    Fail("cannot create the temporary files: " + ql::SystemErrorText(errno));
    return;
  }
  // Books store Windows-1252. UTF-8 text (asked for, with a byte-order mark,
  // or a start that is UTF-8 with characters beyond ASCII) is converted.
  bool utf8 = encoding == kEncodingUtf8;
  if (encoding.empty()) {
    std::string head(kEncodingProbe, '\0');
    if (!Rewindable(input)) {
      Fail(source + ": " + ql::SystemErrorText(errno));
      return;
    }
    head.resize(std::fread(head.data(), 1, head.size(), input.get()));
    if (std::ferror(input.get()) || std::fseek(input.get(), 0, SEEK_SET) != 0) {
      Fail(source + ": " + ql::SystemErrorText(errno));
      return;
    }
    const bool bom = head.compare(0, ql::kUtf8ByteOrderMark.size(), ql::kUtf8ByteOrderMark) == 0;
    utf8 = bom || ql::LooksLikeUtf8(head);
    if (utf8)
      std::fprintf(stderr,
                   "qlbook: %s: read as UTF-8 (%s) and stored as Windows-1252; give --encoding "
                   "cp1252 to keep its bytes as they are\n",
                   source.c_str(), bom ? "it begins with a byte-order mark" : "its start is UTF-8");
  }
  int64_t replaced = 0;
  if (utf8) {
    std::unique_ptr<std::FILE, FileCloser> converted(ql::OpenWorkFile());
    if (!converted || !ql::ConvertUtf8ToCp1252(input.get(), converted.get(), replaced) ||
        std::fseek(converted.get(), 0, SEEK_SET) != 0) {
      Fail(source + ": cannot convert the text: " + ql::SystemErrorText(errno));
      return;
    }
    input = std::move(converted);
  }
  int64_t size = fstat(fileno(input.get()), &st) == 0 ? int64_t(st.st_size) : 0;
  int r;
  {
    TerminalProgress progress("Importing");
    progress.SetRange(0, size + 1);
    r = format == kFormatTab ? builder.ImportTabText(input.get(), &progress, false)
                             : builder.ImportTaggedText(input.get(), &progress);
  }
  if (r != ql::kBuildOk) {
    Fail(source + ": the import failed: " + ql::BuildResultText(r) + "; no book was written");
    return;
  }
  std::string results = ImportResults(builder);
  if (utf8)
    results += "Characters without a Windows-1252 form (written as ?):\t" +
               std::to_string(replaced) + "\n";
  if (builder.iSubjectCount == 0 && stat(book.c_str(), &st) == 0) {
    // Most often the wrong format was taken; an empty book must not replace a good one.
    WriteOut(results);
    const bool tab = format == kFormatTab;
    Fail(source + ": no entry was found in it, read as " +
         (tab ? "tab-separated text (no line with a TAB and a text)"
              : "tagged text (no \"<new>\" tag)") +
         "; " + book + " was left as it was (if the file is " +
         (tab ? "tagged text, give --format tagged" : "tab-separated text, give --format tab") +
         ")");
    return;
  }
  errno = 0;
  r = builder.WriteBookFile(book);
  if (r != ql::kBuildOk) {
    Fail(WriteFailure(book, r));
    return;
  }
  if (!WriteOut(results)) Fail("cannot write the output");
}

void RunExportText(const std::string& bookPath, const std::string& out) {
  if (IsSameFile(bookPath, out)) return;
  ql::BookReader reader;
  if (!OpenBook(reader, bookPath, ql::kOpenReadOnly)) return;
  ql::AtomicFile file;
  if (!file.Open(out)) {
    Fail(out + ": " + std::strerror(errno));
    return;
  }
  ql::FileSink sink(file.Stream());
  int written;
  ql::TabTextReport report;
  {
    TerminalProgress progress("Exporting");
    progress.SetRange(0, reader.GetSubjectCount());
    written = reader.WriteTabText(sink, &progress, &report);
  }
  if (written != reader.GetSubjectCount()) {
    if (sink.Failed())
      Fail(out + ": cannot write the text: " + ql::SystemErrorText(errno));
    else if (report.overlapAt >= 0)
      Fail(bookPath + ": the book's entries overlap (entry " + std::to_string(report.overlapAt) +
           " starts inside one before it), so it is damaged; nothing was written");
    else
      Fail(bookPath + ": record " + std::to_string(written) +
           " cannot be read; nothing was written");
    return;
  }
  if (sink.Failed() || !file.Commit()) {
    Fail(out + ": cannot write the text: " + ql::SystemErrorText(errno));
    return;
  }
  // The text is kept, but what it lacks is said.
  if (report.damaged > 0)
    Fail(bookPath + ": " +
         CountAndNames(report.damaged, report.damagedSubjects, "record", "records") +
         " (damaged; written as far as they could be read)");
  if (report.notCarried > 0)
    Fail(out + ": " +
         CountAndNames(report.notCarried, report.notCarriedSubjects, "entry", "entries") +
         " (the tab-separated form cannot carry an empty subject or text, a TAB in a subject or "
         "a CR in a text, so these do not import back as they are)");
}

void RunUpgrade(const std::string& legacy, const std::string& out) {
  if (IsSameFile(legacy, out)) return;
  ql::BookReader reader;
  // Read-only, so the legacy file is not marked as opened or given a
  // bookmark block on the way.
  if (!OpenBook(reader, legacy, ql::kOpenReadOnly)) return;
  if (reader.IsVersion2()) {
    Fail(legacy + ": the book is already a version 2 book; there is nothing to upgrade");
    return;
  }
  int r;
  ql::UpgradeReport report;
  {
    TerminalProgress progress("Upgrading");
    progress.SetRange(0, reader.GetSubjectCount());
    errno = 0;
    r = ql::UpgradeBook(reader, out, &progress, &report);
  }
  if (r == ql::kUpgradeOk && report.damaged > 0)
    Fail(legacy + ": " +
         CountAndNames(report.damaged, report.damagedSubjects, "record", "records") +
         " (damaged; written as far as they could be read)");
  if (r == ql::kUpgradeRecordFailed || r == ql::kUpgradeEntriesOverlap)
    Fail(legacy + ": " + ql::UpgradeResultText(r) + "; no book was written");
  else if (r != ql::kUpgradeOk)
    Fail(WriteFailure(out, r));
}

}  // namespace

void AddMakeCommands(CLI::App& app) {
  {
    auto* cmd =
        app.add_subcommand("import", "Build a version 2 book from tagged or tab-separated text");
    auto source = std::make_shared<std::string>();
    auto book = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>();
    cmd->add_option("SOURCE", *source, "Text to import")->required();
    cmd->add_option("BOOK", *book, "Book to write")->required();
    cmd->add_option("--format", *format,
                    "tagged or tab (default: tab for .tab and .tsv, else tagged)")
        ->check(CLI::IsMember({kFormatTagged, kFormatTab}));
    auto encoding = std::make_shared<std::string>();
    cmd->add_option("--encoding", *encoding,
                    "utf-8 or cp1252 (default: utf-8 for text with a byte-order mark or that "
                    "starts as UTF-8, else cp1252); UTF-8 is stored as Windows-1252")
        ->check(CLI::IsMember({kEncodingUtf8, kEncodingCp1252}));
    cmd->callback([=] { RunImport(*source, *book, *format, *encoding); });
  }
  {
    auto* cmd = app.add_subcommand("export-text", "Write a book as tab-separated tagged text");
    auto book = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("BOOK", *book, "Book to read")->required();
    cmd->add_option("OUT", *out, "Text file to write")->required();
    cmd->callback([=] { RunExportText(*book, *out); });
  }
  {
    auto* cmd = app.add_subcommand("upgrade", "Write a legacy book as a new version 2 book");
    auto legacy = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("LEGACY", *legacy, "Legacy book to read")->required();
    cmd->add_option("OUT", *out, "Version 2 book to write")->required();
    cmd->callback([=] { RunUpgrade(*legacy, *out); });
  }
}

}  // namespace qlcli

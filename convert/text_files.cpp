#include "text_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "byte_sink.h"
#include "open_failure.h"
#include "text_encoding.h"
#include "upgrade.h"

namespace ql {

namespace {

// How much of the source decides whether it is UTF-8.
constexpr size_t kEncodingProbe = 64 * 1024;

}  // namespace

std::string ImportResultsText(const BookBuilder& builder) {
  std::string text = "Number of subjects:   \t" + std::to_string(builder.iSubjectCount) +
                     "\nFile sorted status:       \t";
  if (builder.iSorted == 1)
    text += "Yes";
  else
    text += "No\nSorted check failed at subject: " + builder.iPreviousSubject;
  return text;
}

std::string ReplacedCharactersText(int64_t replaced) {
  return "Characters without a Windows-1252 form (written as ?):\t" + std::to_string(replaced);
}

std::string SameFileText(const std::string& out, const std::string& in) {
  return out + ": is the same file as " + in + "; nothing was written";
}

std::string CountAndNames(int count, const std::vector<std::string>& names, std::string_view one,
                          std::string_view many) {
  std::string text = std::to_string(count) + " " + std::string(count == 1 ? one : many) + ": ";
  for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
  if (static_cast<size_t>(count) > names.size()) text += ", ...";
  return text;
}

std::string DamagedRecordsText(const std::string& bookPath, int count,
                               const std::vector<std::string>& subjects) {
  return bookPath + ": " + CountAndNames(count, subjects, "record", "records") +
         " (damaged; written as far as they could be read)";
}

bool BookImport::Fail(std::string reason) {
  iFailure = std::move(reason);
  return false;
}

bool BookImport::MakeBuilder() {
  iBuilder.emplace();
  if (!iBuilder->IsReady())
    return Fail("cannot create the temporary files: " + SystemErrorText(errno));
  return true;
}

bool TextImport::OpenSource(const std::string& source) {
  iSource = source;
  struct stat st {};
  // A directory opens for reading here and fails only at the first read.
  if (::stat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Fail(source + ": is a directory");
  iInput.reset(std::fopen(source.c_str(), "rb"));
  if (!iInput) return Fail(source + ": " + std::strerror(errno));
  return MakeBuilder();
}

bool TextImport::MakeRewindable() {
  struct stat st {};
  if (::fstat(::fileno(iInput.get()), &st) == 0 && S_ISREG(st.st_mode)) return true;
  OwnedFile copy(OpenWorkFile());
  if (!copy) return false;
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, iInput.get())) > 0)
    if (std::fwrite(buffer, 1, got, copy.get()) != got) return false;
  if (std::ferror(iInput.get()) || std::fflush(copy.get()) != 0 ||
      std::fseek(copy.get(), 0, SEEK_SET) != 0)
    return false;
  iInput = std::move(copy);
  return true;
}

bool TextImport::ChooseEncoding(TextEncoding encoding) {
  iSign = Utf8Sign::kNone;
  iUtf8 = encoding == TextEncoding::kUtf8;
  if (encoding != TextEncoding::kDetect) return true;
  if (!MakeRewindable()) return Fail(iSource + ": " + SystemErrorText(errno));
  std::string head(kEncodingProbe, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), iInput.get()));
  if (std::ferror(iInput.get()) || std::fseek(iInput.get(), 0, SEEK_SET) != 0)
    return Fail(iSource + ": " + SystemErrorText(errno));
  if (head.compare(0, kUtf8ByteOrderMark.size(), kUtf8ByteOrderMark) == 0)
    iSign = Utf8Sign::kByteOrderMark;
  else if (LooksLikeUtf8(head))
    iSign = Utf8Sign::kUtf8Start;
  iUtf8 = iSign != Utf8Sign::kNone;
  return true;
}

bool TextImport::Convert() {
  iReplaced = 0;
  if (!iUtf8) return true;
  OwnedFile converted(OpenWorkFile());
  if (!converted || !ConvertUtf8ToCp1252(iInput.get(), converted.get(), iReplaced) ||
      std::fseek(converted.get(), 0, SEEK_SET) != 0)
    return Fail(iSource + ": cannot convert the text: " + SystemErrorText(errno));
  iInput = std::move(converted);
  return true;
}

int64_t TextImport::SourceSize() const {
  struct stat st {};
  return iInput && ::fstat(::fileno(iInput.get()), &st) == 0 ? int64_t(st.st_size) : 0;
}

bool TextImport::Read(bool tabSeparated, ProgressSink* bar) {
  const int r = tabSeparated ? iBuilder->ImportTabText(iInput.get(), bar, false)
                             : iBuilder->ImportTaggedText(iInput.get(), bar);
  if (r != kBuildOk)
    return Fail(iSource + ": the import failed: " + BuildResultText(r) + "; no book was written");
  return true;
}

bool BookImport::KeepsTarget(const std::string& path) const {
  struct stat st {};
  return iBuilder->iSubjectCount == 0 && ::stat(path.c_str(), &st) == 0;
}

bool BookImport::WriteBook(const std::string& path, ProgressSink* bar) {
  errno = 0;
  iBuilder->SetWriteProgress(bar);
  const int r = iBuilder->WriteBookFile(path);
  const int error = errno;
  iBuilder->SetWriteProgress(nullptr);
  if (r != kBuildOk) return Fail(BookWriteFailureText(path, r, error));
  return true;
}

bool TextExport::Fail(std::string reason) {
  iFailure = std::move(reason);
  return false;
}

bool TextExport::Open(const std::string& out) {
  iOut = out;
  if (!iFile.Open(out)) return Fail(out + ": " + std::strerror(errno));
  return true;
}

bool TextExport::Write(BookReader& reader, const std::string& bookPath, ProgressSink* bar) {
  FileSink sink(iFile.Stream());
  iReport = TabTextReport();
  const int written = reader.WriteTabText(sink, bar, &iReport);
  if (written != reader.GetSubjectCount()) {
    if (sink.Failed()) return Fail(iOut + ": cannot write the text: " + SystemErrorText(errno));
    if (iReport.overlapAt >= 0)
      return Fail(bookPath + ": the book's entries overlap (entry " +
                  std::to_string(iReport.overlapAt) +
                  " starts inside one before it), so it is damaged; nothing was written");
    return Fail(bookPath + ": record " + std::to_string(written) +
                " cannot be read; nothing was written");
  }
  if (sink.Failed() || !iFile.Commit())
    return Fail(iOut + ": cannot write the text: " + SystemErrorText(errno));
  return true;
}

std::string TextExport::NotCarriedText() const {
  if (iReport.notCarried == 0) return {};
  return iOut + ": " +
         CountAndNames(iReport.notCarried, iReport.notCarriedSubjects, "entry", "entries") +
         " (the tab-separated form cannot carry an empty subject or text, a TAB in a subject or "
         "a CR in a text, so these do not import back as they are)";
}

}  // namespace ql

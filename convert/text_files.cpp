#include "text_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "byte_sink.h"
#include "upgrade.h"

namespace ql {

std::string ImportResultsText(const BookBuilder& builder) {
  std::string text = "Number of subjects:   \t" + std::to_string(builder.iSubjectCount) +
                     "\nFile sorted status:       \t";
  if (builder.iSorted == 1)
    text += "Yes";
  else
    text += "No\nSorted check failed at subject: " + builder.iPreviousSubject;
  return text;
}

bool TextImport::Fail(std::string reason) {
  iFailure = std::move(reason);
  return false;
}

bool TextImport::OpenSource(const std::string& source) {
  iSource = source;
  struct stat st {};
  // A directory opens for reading here and fails only at the first read.
  if (::stat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Fail(source + ": is a directory");
  iInput.reset(std::fopen(source.c_str(), "rb"));
  if (!iInput) return Fail(source + ": " + std::strerror(errno));
  iBuilder.emplace();
  if (!iBuilder->IsReady())
    return Fail(std::string("cannot create the temporary files: ") + std::strerror(errno));
  iSize = ::fstat(::fileno(iInput.get()), &st) == 0 ? int64_t(st.st_size) : 0;
  return true;
}

bool TextImport::Read(bool tabSeparated, ProgressSink* bar) {
  const int r = tabSeparated ? iBuilder->ImportTabText(iInput.get(), bar, false)
                             : iBuilder->ImportTaggedText(iInput.get(), bar);
  if (r != kBuildOk)
    return Fail(iSource + ": the import failed: " + BuildResultText(r) + "; no book was written");
  return true;
}

bool TextImport::WriteBook(const std::string& path, ProgressSink* bar) {
  errno = 0;
  iBuilder->SetWriteProgress(bar);
  const int r = iBuilder->WriteBookFile(path);
  iBuilder->SetWriteProgress(nullptr);
  if (r != kBuildOk) return Fail(BookWriteFailureText(path, r, errno));
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
  const int written = reader.WriteTabText(sink, bar);
  if (written != reader.GetSubjectCount()) {
    return Fail(sink.Failed() ? iOut + ": cannot write the text: " + std::strerror(errno)
                              : bookPath + ": record " + std::to_string(written) +
                                    " cannot be read; nothing was written");
  }
  if (sink.Failed() || !iFile.Commit())
    return Fail(iOut + ": cannot write the text: " + std::strerror(errno));
  return true;
}

}  // namespace ql

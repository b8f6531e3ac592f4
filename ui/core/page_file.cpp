#include "page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ql {

namespace {

constexpr const char* kRuntimeSubdirectory = "/quillary";
constexpr const char* kTempSubdirectoryPrefix = "/quillary-";
constexpr const char* kDefaultTempDirectory = "/tmp";
constexpr mode_t kPrivateMode = 0700;
constexpr mode_t kOthersBits = 077;

std::string ErrorText(int error) {
  return std::strerror(error != 0 ? error : EIO);
}

bool IsAbsoluteDirectory(const char* path) {
  struct stat st {};
  return path && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Where the private directory goes: the user's runtime directory when the
// session has one, else the temporary directory under a name with the uid.
std::string PrivateDirectoryPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (IsAbsoluteDirectory(runtime)) return std::string(runtime) + kRuntimeSubdirectory;
  const char* temp = std::getenv("TMPDIR");
  const std::string base = IsAbsoluteDirectory(temp) ? temp : kDefaultTempDirectory;
  return base + kTempSubdirectoryPrefix + std::to_string(::getuid());
}

}  // namespace

std::string PrivateDirectory(std::string& reason) {
  const std::string dir = PrivateDirectoryPath();
  if (::mkdir(dir.c_str(), kPrivateMode) != 0 && errno != EEXIST) {
    reason = "cannot create " + dir + ": " + ErrorText(errno);
    return {};
  }
  // Someone else may have made the name first: only a real directory of our
  // own that nobody else can enter will do.
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) {
    reason = dir + ": " + ErrorText(errno);
    return {};
  }
  if (S_ISLNK(st.st_mode)) {
    reason = dir + " is a symbolic link";
  } else if (!S_ISDIR(st.st_mode)) {
    reason = dir + " is not a directory";
  } else if (st.st_uid != ::getuid()) {
    reason = dir + " belongs to another user";
  } else if ((st.st_mode & kOthersBits) != 0) {
    reason = dir + " is open to other users";
  } else {
    return dir;
  }
  return {};
}

bool PageFile::Write(const std::function<void(ByteSink&)>& render, std::string& reason) {
  const std::string dir = PrivateDirectory(reason);
  if (dir.empty()) {
    reason = "Cannot write the page: " + reason;
    return false;
  }
  iPath = dir + "/" + iName;
  auto fail = [&](int error) {
    reason = "Cannot write the page " + iPath + ": " + ErrorText(error);
    return false;
  };

  // A new file of our own beside the page (mkstemp never opens an existing
  // name, so never follows a link), renamed over it once complete.
  std::string pattern = dir + "/." + iName + ".XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno);
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp.data());
    return fail(error);
  }
  FileSink sink(file);
  errno = 0;
  render(sink);
  int error = sink.Failed() ? errno : 0;
  if (error == 0 && std::fflush(file) != 0) error = errno;
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (sink.Failed() && error == 0) error = EIO;
  if (error == 0 && std::rename(temp.data(), iPath.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.data());
    return fail(error);
  }
  return true;
}

}  // namespace ql

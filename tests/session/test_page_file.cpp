// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The page file: the private directory it lives in, and writing a page beside
// the old one and renaming it over.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <tuple>

#include "open_document.h"
#include "page_file.h"
#include "test_helpers.h"

namespace {

using qltest::DirectoryNames;
using qltest::ScopedEnv;
using testing::ElementsAre;
using testing::HasSubstr;

// The directory a page was written in.
std::string DirectoryOf(const ql::PageFile& page) {
  return std::filesystem::path(page.Path()).parent_path().string();
}

class PageFileTest : public qltest::OpenDocumentTest {
 protected:
  PageFileTest() : runtime("XDG_RUNTIME_DIR", dir.Path().c_str()) {
    ::mkdir(privateDir.c_str(), 0700);
  }
  std::string Render(int index) {
    ql::StringSink sink;
    doc.Reader().RenderRecord(sink, doc.Options(), index, -1, -1);
    return sink.Data();
  }
  std::function<void(ql::ByteSink&)> Renderer(int index) {
    return [this, index](ql::ByteSink& sink) {
      doc.Reader().RenderRecord(sink, doc.Options(), index, 0, 3);
    };
  }

  ScopedEnv runtime;
  const std::string privateDir = dir.File("quillary");
  std::string reason;
};

TEST_F(PageFileTest, PrivateDirectoryIsMadeForTheUserAlone) {
  ASSERT_EQ(::rmdir(privateDir.c_str()), 0);
  EXPECT_EQ(ql::PrivateDirectory(reason), privateDir) << reason;
  struct stat st {};
  ASSERT_EQ(::lstat(privateDir.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(PageFileTest, WithoutARuntimeDirectoryTheTemporaryDirectoryServes) {
  ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
  ScopedEnv temp("TMPDIR", dir.Path().c_str());
  EXPECT_EQ(ql::PrivateDirectory(reason), dir.File("quillary-" + std::to_string(::getuid())))
      << reason;
}

TEST_F(PageFileTest, DirectoryOthersCouldReachIsRefused) {
  const std::string elsewhere = dir.File("elsewhere");
  ASSERT_EQ(::rmdir(privateDir.c_str()), 0);
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), privateDir.c_str()), 0);
  EXPECT_EQ(ql::PrivateDirectory(reason), "");
  EXPECT_THAT(reason, HasSubstr("symbolic link"));
  ASSERT_EQ(::unlink(privateDir.c_str()), 0);

  qltest::WriteFileBytes(privateDir, "a file");
  EXPECT_EQ(ql::PrivateDirectory(reason), "");
  EXPECT_THAT(reason, HasSubstr("not a directory"));
  ASSERT_EQ(::unlink(privateDir.c_str()), 0);

  ASSERT_EQ(::mkdir(privateDir.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(privateDir.c_str(), 0755), 0);
  EXPECT_EQ(ql::PrivateDirectory(reason), "");
  EXPECT_THAT(reason, HasSubstr(privateDir));
  EXPECT_THAT(reason, HasSubstr("open to other users"));

  ASSERT_EQ(::chmod(privateDir.c_str(), 0700), 0);
  if (::getuid() == 0) {  // only root can give a directory away
    ASSERT_EQ(::chown(privateDir.c_str(), 65534, 65534), 0);
    EXPECT_EQ(ql::PrivateDirectory(reason), "");
    EXPECT_THAT(reason, HasSubstr("another user"));
  }
}

TEST_F(PageFileTest, PageHoldsExactlyTheRenderedBytesAndIsReplacedWhole) {
  Open({{"alpha",
         "caf\xE9 \x93quoted\x94 \t\x01"
         "bold\t\x02"},
        {"beta", "second"}});
  ql::PageFile page;
  ASSERT_TRUE(page.Write(Renderer(0), reason)) << reason;
  EXPECT_EQ(std::filesystem::path(page.Path()).filename(), "qltempfi.htm");
  EXPECT_EQ(std::filesystem::path(DirectoryOf(page)).parent_path(), privateDir);
  ql::StringSink expected;
  doc.Reader().RenderRecord(expected, doc.Options(), 0, 0, 3);
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), expected.Data());

  // A reader of the old page keeps reading the old page: it is never rewritten in place.
  const int old = ::open(page.Path().c_str(), O_RDONLY);
  ASSERT_GE(old, 0);
  ASSERT_TRUE(page.Write(Renderer(1), reason)) << reason;
  std::string before(expected.Data().size(), '\0');
  EXPECT_EQ(::pread(old, before.data(), before.size(), 0), static_cast<ssize_t>(before.size()));
  ::close(old);
  EXPECT_EQ(before, expected.Data());
  ql::StringSink second;
  doc.Reader().RenderRecord(second, doc.Options(), 1, 0, 3);
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), second.Data());
  EXPECT_THAT(DirectoryNames(DirectoryOf(page)), ElementsAre("qltempfi.htm"));
}

TEST_F(PageFileTest, DamagedRecordsPageSaysSoInsteadOfItsText) {
  // The window's page for a record whose tail lies in a zeroed block.
  for (const qltest::DamagedBook& book : qltest::DamagedBooks()) {
    if (book.name != "record block zeroed") continue;
    path = dir.File("damaged.ql");
    qltest::WriteFileBytes(path, book.bytes);
    ASSERT_EQ(doc.Reader().Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    ql::PageFile page;
    const int index = book.damaged.front();
    ASSERT_TRUE(page.Write(Renderer(index), reason)) << reason;
    const std::string written = qltest::ReadFileBytes(page.Path());
    EXPECT_THAT(written, HasSubstr("This entry is damaged"));
    EXPECT_EQ(written.find(book.entries[static_cast<size_t>(index)].text.substr(0, 20)),
              std::string::npos);
    return;
  }
  FAIL() << "no zeroed record block among the damaged books";
}

TEST_F(PageFileTest, LinkAtThePageNameIsReplacedNotFollowed) {
  const std::string victim = dir.File("victim");
  qltest::WriteFileBytes(victim, "keep me");
  ql::PageFile page;
  ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("first"); }, reason)) << reason;
  ASSERT_EQ(::unlink(page.Path().c_str()), 0);
  ASSERT_EQ(::symlink(victim.c_str(), page.Path().c_str()), 0);
  ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("<html>"); }, reason)) << reason;
  EXPECT_EQ(qltest::ReadFileBytes(victim), "keep me");
  struct stat st {};
  ASSERT_EQ(::lstat(page.Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), "<html>");
}

TEST_F(PageFileTest, FailedWriteNamesThePathAndLeavesNothingBehind) {
  // A directory where the page should go cannot be renamed over.
  ql::PageFile page("page.htm");
  ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("first"); }, reason)) << reason;
  const std::string blocked = page.Path();
  ASSERT_EQ(::unlink(blocked.c_str()), 0);
  ASSERT_EQ(::mkdir(blocked.c_str(), 0700), 0);
  qltest::WriteFileBytes(blocked + "/inside", "x");
  EXPECT_FALSE(page.Write([](ql::ByteSink& sink) { sink.Write("<html>"); }, reason));
  EXPECT_THAT(reason, HasSubstr(blocked));
  EXPECT_THAT(reason, HasSubstr(std::strerror(EISDIR)));
  EXPECT_THAT(DirectoryNames(DirectoryOf(page)), ElementsAre("page.htm"));
  EXPECT_EQ(qltest::ReadFileBytes(blocked + "/inside"), "x");
}

// Another process: writes a page of its own, says where through a pipe, then
// waits for a byte from the test before it ends (normally, or killed: no
// clean-up at all).
class OtherProcess {
 public:
  explicit OtherProcess(std::string text) {
    int toParent[2], toChild[2];
    if (::pipe(toParent) != 0 || ::pipe(toChild) != 0) return;
    iPid = ::fork();
    if (iPid == 0) {
      ::close(toParent[0]);
      ::close(toChild[1]);
      ql::PageFile page;
      std::string reason;
      const bool ok = page.Write([&](ql::ByteSink& sink) { sink.Write(text); }, reason);
      const std::string said = ok ? page.Path() : "failed: " + reason;
      if (::write(toParent[1], said.data(), said.size()) < 0) ::_exit(3);
      ::close(toParent[1]);
      char end = 0;
      if (::read(toChild[0], &end, 1) != 1) ::_exit(4);
      if (end == 'k') ::_exit(0);  // as if killed: nothing runs
      std::exit(0);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    iToChild = toChild[1];
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(toParent[0], buffer, sizeof buffer)) > 0)
      iPagePath.append(buffer, static_cast<size_t>(n));
    ::close(toParent[0]);
  }
  ~OtherProcess() { End('x'); }
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;

  // Ends it normally ('x') or as if killed ('k'); its exit status.
  int End(char how) {
    if (iPid <= 0) return -1;
    if (::write(iToChild, &how, 1) != 1) ::kill(iPid, SIGKILL);
    ::close(iToChild);
    int status = 0;
    ::waitpid(iPid, &status, 0);
    iPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& PagePath() const { return iPagePath; }

 private:
  pid_t iPid = -1;
  int iToChild = -1;
  std::string iPagePath;
};

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

TEST_F(PageFileTest, EveryProcessShowsItsOwnPageAndRemovesItAtExit) {
  ql::PageFile page;
  ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("book A"); }, reason)) << reason;
  OtherProcess other("book B");
  ASSERT_EQ(other.PagePath().rfind('/', 0), 0u) << other.PagePath();
  EXPECT_NE(other.PagePath(), page.Path());
  EXPECT_EQ(qltest::ReadFileBytes(other.PagePath()), "book B");
  // A reload here shows this process's page, not the other's.
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), "book A");
  EXPECT_EQ(std::filesystem::path(page.Path()).filename(), "qltempfi.htm");
  for (const std::string& file : {page.Path(), other.PagePath()}) {
    const std::string own = std::filesystem::path(file).parent_path().string();
    EXPECT_EQ(std::filesystem::path(own).parent_path(), privateDir);
    struct stat st {};
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
  }

  const std::string otherDir = std::filesystem::path(other.PagePath()).parent_path().string();
  EXPECT_EQ(other.End('x'), 0);
  EXPECT_FALSE(Exists(otherDir));
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), "book A");
}

TEST_F(PageFileTest, PagesOfKilledProcessesAreClearedAndLiveOnesKept) {
  OtherProcess killed("killed");
  OtherProcess live("live");
  const std::string killedDir = std::filesystem::path(killed.PagePath()).parent_path().string();
  EXPECT_EQ(killed.End('k'), 0);
  ASSERT_TRUE(Exists(killed.PagePath()));

  // A new process (this one, first writing here) clears what the killed one left.
  ql::PageFile page;
  ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("mine"); }, reason)) << reason;
  EXPECT_FALSE(Exists(killedDir));
  EXPECT_EQ(qltest::ReadFileBytes(live.PagePath()), "live");
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), "mine");
}

// The name the private directory should have, taken by someone else: a link,
// a file, a directory open to others, another user's directory.
enum class Taken { kLink, kFile, kOpenToOthers, kOtherUser };

class TakenDirectoryTest : public PageFileTest,
                           public testing::WithParamInterface<std::tuple<bool, Taken>> {};

TEST_P(TakenDirectoryTest, PageGoesToAFreshPrivateDirectoryAndNothingOfTheirsIsTouched) {
  const auto [inRuntime, taken] = GetParam();
  if (taken == Taken::kOtherUser && ::getuid() != 0)
    GTEST_SKIP() << "only root can give a directory to another user";
  ScopedEnv runtimeDir("XDG_RUNTIME_DIR", inRuntime ? dir.Path().c_str() : nullptr);
  ScopedEnv temp("TMPDIR", dir.Path().c_str());
  const std::string name =
      inRuntime ? privateDir : dir.File("quillary-" + std::to_string(::getuid()));
  ::rmdir(privateDir.c_str());
  const std::string elsewhere = dir.File("elsewhere");
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
  switch (taken) {
    case Taken::kLink:
      ASSERT_EQ(::symlink(elsewhere.c_str(), name.c_str()), 0);
      break;
    case Taken::kFile:
      qltest::WriteFileBytes(name, "a file");
      break;
    case Taken::kOpenToOthers:
      ASSERT_EQ(::mkdir(name.c_str(), 0700), 0);
      ASSERT_EQ(::chmod(name.c_str(), 0750), 0);
      break;
    case Taken::kOtherUser:
      ASSERT_EQ(::mkdir(name.c_str(), 0700), 0);
      ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
      break;
  }

  ql::PageFile page;
  ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("<html>"); }, reason)) << reason;
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), "<html>");
  const std::string own = DirectoryOf(page);
  EXPECT_EQ(std::filesystem::path(own).parent_path(), dir.Path());
  EXPECT_NE(own, name);
  struct stat st {};
  ASSERT_EQ(::lstat(own.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, ::getuid());
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_TRUE(DirectoryNames(elsewhere).empty());
  if (taken != Taken::kFile) {
    EXPECT_TRUE(DirectoryNames(name).empty());
  } else {
    EXPECT_EQ(qltest::ReadFileBytes(name), "a file");
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, TakenDirectoryTest,
    testing::Combine(testing::Bool(), testing::Values(Taken::kLink, Taken::kFile,
                                                      Taken::kOpenToOthers, Taken::kOtherUser)));

}  // namespace

// The page file: the private directory it lives in, and writing a page beside
// the old one and renaming it over.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "open_document.h"
#include "page_file.h"
#include "test_helpers.h"

namespace {

using qltest::DirectoryNames;
using qltest::ScopedEnv;
using testing::ElementsAre;
using testing::HasSubstr;

class PageFileTest : public qltest::OpenDocumentTest {
 protected:
  PageFileTest() : runtime("XDG_RUNTIME_DIR", dir.Path().c_str()) {
    ::mkdir(privateDir.c_str(), 0700);
  }
  std::string Render(int index) {
    ql::StringSink sink;
    doc.Reader().RenderRecord(sink, index, -1, -1);
    return sink.Data();
  }
  std::function<void(ql::ByteSink&)> Renderer(int index) {
    return [this, index](ql::ByteSink& sink) { doc.Reader().RenderRecord(sink, index, 0, 3); };
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
  EXPECT_EQ(page.Path(), privateDir + "/qltempfi.htm");
  ql::StringSink expected;
  doc.Reader().RenderRecord(expected, 0, 0, 3);
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
  doc.Reader().RenderRecord(second, 1, 0, 3);
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), second.Data());
  EXPECT_THAT(DirectoryNames(privateDir), ElementsAre("qltempfi.htm"));
}

TEST_F(PageFileTest, DamagedRecordsPageSaysSoInsteadOfItsText) {
  // The window's page for a record whose tail lies in a zeroed block.
  for (const qltest::DamagedBook& book : qltest::DamagedBooks()) {
    if (book.name != "record block zeroed") continue;
    path = dir.File("damaged.ql");
    qltest::WriteFileBytes(path, book.bytes);
    ASSERT_EQ(doc.Reader().Open(path, ql::kOpenReadOnly), ql::kOpenOk);
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
  ASSERT_EQ(::symlink(victim.c_str(), (privateDir + "/qltempfi.htm").c_str()), 0);
  ql::PageFile page;
  ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("<html>"); }, reason)) << reason;
  EXPECT_EQ(qltest::ReadFileBytes(victim), "keep me");
  struct stat st {};
  ASSERT_EQ(::lstat(page.Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(qltest::ReadFileBytes(page.Path()), "<html>");
}

TEST_F(PageFileTest, FailedWriteNamesThePathAndLeavesNothingBehind) {
  // A directory where the page should go cannot be renamed over.
  const std::string blocked = privateDir + "/page.htm";
  ASSERT_EQ(::mkdir(blocked.c_str(), 0700), 0);
  qltest::WriteFileBytes(blocked + "/inside", "x");
  ql::PageFile page("page.htm");
  EXPECT_FALSE(page.Write([](ql::ByteSink& sink) { sink.Write("<html>"); }, reason));
  EXPECT_THAT(reason, HasSubstr(blocked));
  EXPECT_THAT(reason, HasSubstr(std::strerror(EISDIR)));
  EXPECT_THAT(DirectoryNames(privateDir), ElementsAre("page.htm"));
  EXPECT_EQ(qltest::ReadFileBytes(blocked + "/inside"), "x");
}

TEST_F(PageFileTest, RefusedDirectoryWritesNothing) {
  ASSERT_EQ(::chmod(privateDir.c_str(), 0750), 0);
  ql::PageFile page;
  bool rendered = false;
  EXPECT_FALSE(page.Write([&](ql::ByteSink&) { rendered = true; }, reason));
  EXPECT_FALSE(rendered);
  EXPECT_THAT(reason, HasSubstr(privateDir));
}

}  // namespace

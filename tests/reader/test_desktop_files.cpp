#include <gtest/gtest.h>

#include <filesystem>

#include "book_fixture.h"
#include "desktop_files.h"

namespace {

TEST(ClaimDefault, TakesBooksOnlyWhenNobodyHasThem) {
  // Nothing yet: the group is made.
  EXPECT_EQ(ql::ClaimDefault(""),
            "[Default Applications]\napplication/x-quillary=quillary.desktop\n");
  // Another group only: ours follows it, the rest is kept.
  EXPECT_EQ(ql::ClaimDefault("[Added Associations]\ntext/plain=ed.desktop;\n"),
            "[Added Associations]\ntext/plain=ed.desktop;\n"
            "[Default Applications]\napplication/x-quillary=quillary.desktop\n");
  // A default group without books: the line goes inside it, not after the next group.
  EXPECT_EQ(ql::ClaimDefault("[Default Applications]\ntext/html=web.desktop\n"
                             "[Removed Associations]\nimage/png=x.desktop\n"),
            "[Default Applications]\ntext/html=web.desktop\n"
            "application/x-quillary=quillary.desktop\n"
            "[Removed Associations]\nimage/png=x.desktop\n");
}

TEST(ClaimDefault, LeavesAnExistingDefaultAlone) {
  const std::string other =
      "[Default Applications]\napplication/x-quillary = other-reader.desktop\n";
  EXPECT_EQ(ql::ClaimDefault(other), other);
  const std::string ours = "[Default Applications]\napplication/x-quillary=quillary.desktop\n";
  EXPECT_EQ(ql::ClaimDefault(ours), ours);
  // The same key in another group is not a default.
  EXPECT_EQ(ql::ClaimDefault("[Added Associations]\napplication/x-quillary=a.desktop;\n"),
            "[Added Associations]\napplication/x-quillary=a.desktop;\n"
            "[Default Applications]\napplication/x-quillary=quillary.desktop\n");
}

TEST(UserFiles, WritesWhatIsMissingAndKeepsWhatIsThere) {
  qltest::TempDir dir;
  const ql::UserDirectories dirs{dir.File("data"), dir.File("config")};
  std::filesystem::create_directories(dir.File("data/applications"));
  qltest::WriteFileBytes(dir.File("data/applications/quillary.desktop"), "mine\n");
  const ql::IntegrationFiles files{"<mime-info/>", "[Desktop Entry]\nExec=quillary %f\nName=Q\n",
                                   "PNG"};
  const auto written = ql::InstallUserFiles(dirs, files, "/opt/q/bin/quillary");
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("data/mime/packages/quillary.xml")), "<mime-info/>");
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("data/icons/hicolor/64x64/apps/quillary.png")), "PNG");
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("data/applications/quillary.desktop")), "mine\n");
  EXPECT_TRUE(ql::InstallUserFiles(dirs, files, "/opt/q/bin/quillary").empty());

  EXPECT_TRUE(ql::ClaimDefaultApplication(dirs));
  EXPECT_FALSE(ql::ClaimDefaultApplication(dirs));
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("config/mimeapps.list")),
            "[Default Applications]\napplication/x-quillary=quillary.desktop\n");
}

TEST(UserFiles, DesktopEntryRunsThisProgram) {
  EXPECT_EQ(ql::DesktopEntryFor("[Desktop Entry]\nExec=quillary %f\nIcon=quillary\n",
                                "/home/a b/quillary"),
            "[Desktop Entry]\nExec=\"/home/a b/quillary\" %f\nIcon=quillary\n");
}

}  // namespace

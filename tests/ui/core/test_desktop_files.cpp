// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "book_fixture.h"
#include "desktop_files.h"
#include "test_helpers.h"

namespace {

TEST(ClaimDefault, TakesBooksOnlyWhenNobodyHasThem) {
  // Nothing yet: the group is made.
  EXPECT_EQ(ql::ClaimDefault(""),
            "[Default Applications]\napplication/x-quillary=org.quillary.Quillary.desktop\n");
  // Another group only: ours follows it, the rest is kept.
  EXPECT_EQ(ql::ClaimDefault("[Added Associations]\ntext/plain=ed.desktop;\n"),
            "[Added Associations]\ntext/plain=ed.desktop;\n"
            "[Default Applications]\napplication/x-quillary=org.quillary.Quillary.desktop\n");
  // A default group without books: the line goes inside it, not after the next group.
  EXPECT_EQ(ql::ClaimDefault("[Default Applications]\ntext/html=web.desktop\n"
                             "[Removed Associations]\nimage/png=x.desktop\n"),
            "[Default Applications]\ntext/html=web.desktop\n"
            "application/x-quillary=org.quillary.Quillary.desktop\n"
            "[Removed Associations]\nimage/png=x.desktop\n");
}

TEST(ClaimDefault, LeavesAnExistingDefaultAlone) {
  const std::string other =
      "[Default Applications]\napplication/x-quillary = other-reader.desktop\n";
  EXPECT_EQ(ql::ClaimDefault(other), other);
  const std::string ours =
      "[Default Applications]\napplication/x-quillary=org.quillary.Quillary.desktop\n";
  EXPECT_EQ(ql::ClaimDefault(ours), ours);
  // The same key in another group is not a default.
  EXPECT_EQ(ql::ClaimDefault("[Added Associations]\napplication/x-quillary=a.desktop;\n"),
            "[Added Associations]\napplication/x-quillary=a.desktop;\n"
            "[Default Applications]\napplication/x-quillary=org.quillary.Quillary.desktop\n");
}

// A default under the entry's old name is ours: the id takes its place in
// the list, where it stood.
TEST(ClaimDefault, MovesTheDefaultOfTheOldNameToTheId) {
  const struct {
    const char* value;
    const char* claimed;
  } cases[] = {
      {"quillary.desktop", "org.quillary.Quillary.desktop"},
      {"a.desktop;quillary.desktop;", "a.desktop;org.quillary.Quillary.desktop;"},
      {"quillary.desktop;org.quillary.Quillary.desktop;", "org.quillary.Quillary.desktop;"},
      {"my-quillary.desktop", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string before = std::string("[Default Applications]\napplication/x-quillary=") +
                               c.value + "\ntext/html=web.desktop\n";
    EXPECT_EQ(ql::ClaimDefault(before),
              c.claimed ? std::string("[Default Applications]\napplication/x-quillary=") +
                              c.claimed + "\ntext/html=web.desktop\n"
                        : before);
  }
}

TEST(UserFiles, WritesWhatIsMissingAndKeepsWhatIsThere) {
  qltest::TempDir dir;
  const ql::UserDirectories dirs{dir.File("data"), dir.File("config"), {}};
  std::filesystem::create_directories(dir.File("data/applications"));
  qltest::WriteFileBytes(dir.File("data/applications/org.quillary.Quillary.desktop"), "mine\n");
  const ql::IntegrationFiles files{"<mime-info/>", "[Desktop Entry]\nExec=quillary %F\nName=Q\n",
                                   "PNG"};
  const auto written = ql::InstallUserFiles(dirs, files, "/opt/q/bin/quillary");
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("data/mime/packages/quillary.xml")), "<mime-info/>");
  EXPECT_EQ(
      qltest::ReadFileBytes(dir.File("data/icons/hicolor/64x64/apps/org.quillary.Quillary.png")),
      "PNG");
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("data/applications/org.quillary.Quillary.desktop")),
            "mine\n");
  EXPECT_TRUE(ql::InstallUserFiles(dirs, files, "/opt/q/bin/quillary").empty());

  EXPECT_TRUE(ql::ClaimDefaultApplication(dirs));
  EXPECT_FALSE(ql::ClaimDefaultApplication(dirs));
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("config/mimeapps.list")),
            "[Default Applications]\napplication/x-quillary=org.quillary.Quillary.desktop\n");
}

TEST(UserFiles, DesktopEntryRunsThisProgram) {
  EXPECT_EQ(ql::DesktopEntryFor("[Desktop Entry]\nExec=quillary %f\nIcon=quillary\n",
                                "/home/a b/quillary"),
            "[Desktop Entry]\nExec=\"/home/a b/quillary\" %F\nIcon=quillary\n");
}

// Exec values as the desktop entry format wants them: the program quoted,
// with '"', '`', '$' and '\' escaped inside the quotes, '%' doubled, and the
// string escapes (a backslash doubled, a newline as \n) on top.
TEST(DesktopExec, ProgramIsQuotedAndEscapedAndReadsBack) {
  const struct {
    const char* program;
    const char* exec;
  } cases[] = {
      {"/usr/bin/quillary", R"("/usr/bin/quillary" %F)"},
      {"/home/a b/quillary", R"("/home/a b/quillary" %F)"},
      {"/opt/$HOME/quillary", R"("/opt/\\$HOME/quillary" %F)"},
      {"/opt/100%/quillary", R"("/opt/100%%/quillary" %F)"},
      {"/opt/say \"hi\"/quillary", R"("/opt/say \\"hi\\"/quillary" %F)"},
      {"/opt/back\\slash/quillary", R"("/opt/back\\\\slash/quillary" %F)"},
      {"/opt/`tick`/quillary", R"("/opt/\\`tick\\`/quillary" %F)"},
      {"/opt/it's;&|<>*?#()~/quillary", R"("/opt/it's;&|<>*?#()~/quillary" %F)"},
      {"/opt/new\nline\ttab/quillary", R"("/opt/new\nline\ttab/quillary" %F)"},
      {"/opt/$%\"\\`/quillary", R"("/opt/\\$%%\\"\\\\\\`/quillary" %F)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(ql::DesktopExecFor(c.program), c.exec);
    EXPECT_EQ(ql::DesktopExecProgram(c.exec), c.program);
    EXPECT_EQ(ql::DesktopEntryFor("[Desktop Entry]\nExec=x\n", c.program),
              std::string("[Desktop Entry]\nExec=") + c.exec + "\n");
  }
}

TEST(DesktopExec, ProgramOfValuesWrittenByHandOrByOthers) {
  const struct {
    const char* exec;
    const char* program;
  } cases[] = {
      {"quillary %f", "quillary"},
      {"/usr/bin/quillary", "/usr/bin/quillary"},
      {"  \"/a b/quillary\" --new %f", "/a b/quillary"},
      // The string escapes come first: \s is a space, and a space parts arguments.
      {R"(/a\sb/quillary %f)", "/a"},
      {"\"/unterminated %f", ""},
      {R"("/bad\escape" %f)", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exec);
    EXPECT_EQ(ql::DesktopExecProgram(c.exec), c.program);
  }
}

constexpr const char* kProgram = "/opt/new place/bin/quillary";
const ql::IntegrationFiles kFiles{"<mime-info/>", "[Desktop Entry]\nExec=quillary %F\nName=Q\n",
                                  "PNG"};

// What the user's desktop entry holds before a start, and whether the start
// writes it again.
TEST(UserFiles, DesktopEntryIsWrittenAgainOnlyWhenItRunsAnotherProgram) {
  const std::string ours = ql::DesktopEntryFor(kFiles.desktopEntry, kProgram);
  const struct {
    const char* name;
    std::string before;  // empty: no file
    bool link;           // the entry is a link to a file holding before
    bool rewritten;
  } cases[] = {
      {"missing", "", false, true},
      {"moved program", ql::DesktopEntryFor(kFiles.desktopEntry, "/opt/old/bin/quillary"), false,
       true},
      {"bare name", "[Desktop Entry]\nExec=quillary %f\n", false, true},
      {"this program, one book a start",
       "[Desktop Entry]\nName=Q\nExec=\"" + std::string(kProgram) + "\" %f\n", false, true},
      {"this program, all books a start",
       "[Desktop Entry]\nName=Mine\nExec=\"" + std::string(kProgram) + "\" %F\n", false, false},
      {"this program, edited",
       "[Desktop Entry]\nName=Mine\nExec=\"" + std::string(kProgram) + "\" --x %f\n", false, false},
      {"no Exec line", "mine\n", false, false},
      {"unreadable Exec", "[Desktop Entry]\nExec=\"/opt/old\n", false, false},
      {"a link of the user's", "[Desktop Entry]\nExec=/elsewhere/quillary\n", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qltest::TempDir dir;
    const ql::UserDirectories dirs{dir.File("data"), dir.File("config"), {}};
    const std::string entry = dir.File("data/applications/org.quillary.Quillary.desktop");
    std::filesystem::create_directories(dir.File("data/applications"));
    if (c.link) {
      qltest::WriteFileBytes(dir.File("kept.desktop"), c.before);
      std::filesystem::create_symlink(dir.File("kept.desktop"), entry);
    } else if (!c.before.empty()) {
      qltest::WriteFileBytes(entry, c.before);
    }
    const std::vector<std::string> written = ql::InstallUserFiles(dirs, kFiles, kProgram);
    EXPECT_EQ(std::count(written.begin(), written.end(), entry), c.rewritten ? 1 : 0);
    EXPECT_EQ(qltest::ReadFileBytes(entry), c.rewritten ? ours : c.before);
    if (c.link) {
      EXPECT_TRUE(std::filesystem::is_symlink(entry));
    }
    // Written once, it stays.
    EXPECT_TRUE(ql::InstallUserFiles(dirs, kFiles, kProgram).empty());
  }
}

// The system's copies: none of ours when it has the type and the entry, and
// never an entry that would hide the system's.
TEST(UserFiles, NoUserCopiesOfWhatIsInstalledSystemWide) {
  const struct {
    const char* name;
    bool mimeInFirst, entryInFirst, mimeInSecond, entryInSecond;
    bool userCopies;  // the type and the icon
    bool userEntry;
  } cases[] = {
      {"both in one", true, true, false, false, false, false},
      {"both in the second", false, false, true, true, false, false},
      {"one in each", true, false, false, true, false, false},
      {"only the type", true, false, true, false, true, true},
      {"only the entry", false, true, false, false, true, false},
      {"only the entry, in the second", false, false, false, true, true, false},
      {"neither", false, false, false, false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qltest::TempDir dir;
    const ql::UserDirectories dirs{
        dir.File("data"), dir.File("config"), {dir.File("first"), dir.File("second")}};
    auto put = [&](const std::string& path, const std::string& bytes = "installed") {
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      qltest::WriteFileBytes(path, bytes);
    };
    if (c.mimeInFirst) put(dir.File("first/mime/packages/quillary.xml"));
    if (c.entryInFirst) put(dir.File("first/applications/org.quillary.Quillary.desktop"));
    if (c.mimeInSecond) put(dir.File("second/mime/packages/quillary.xml"));
    if (c.entryInSecond) put(dir.File("second/applications/org.quillary.Quillary.desktop"));
    // A user entry for a program gone elsewhere is not written again either.
    put(dir.File("data/applications/org.quillary.Quillary.desktop"),
        ql::DesktopEntryFor(kFiles.desktopEntry, "/gone/quillary"));
    EXPECT_EQ(ql::InstalledSystemWide(dirs), !c.userCopies);
    EXPECT_EQ(ql::EntryInstalledSystemWide(dirs), !c.userEntry);
    const std::vector<std::string> written = ql::InstallUserFiles(dirs, kFiles, kProgram);
    EXPECT_EQ(written.size(), (c.userCopies ? 2u : 0u) + (c.userEntry ? 1u : 0u));
    EXPECT_EQ(std::filesystem::exists(dir.File("data/mime/packages/quillary.xml")), c.userCopies);
    const std::string entry = dir.File("data/applications/org.quillary.Quillary.desktop");
    EXPECT_EQ(std::count(written.begin(), written.end(), entry), c.userEntry ? 1 : 0);
  }
}

// The entry under the old name, which earlier builds wrote: taken away when
// it is theirs, whether or not the system has the reader.
TEST(UserFiles, TheOldEntryOfEarlierBuildsGoes) {
  const struct {
    const char* name;
    std::string before;
    bool link;
    bool removed;
  } cases[] = {
      {"written by an earlier build",
       ql::DesktopEntryFor("[Desktop Entry]\nExec=quillary %f\nMimeType=application/x-quillary;\n",
                           "/opt/old/bin/quillary"),
       false, true},
      {"the bare name, among other types",
       "[Desktop Entry]\nExec=quillary %F\nMimeType=text/x-a;application/x-quillary;\n", false,
       true},
      {"another program", "[Desktop Entry]\nExec=reader %f\nMimeType=application/x-quillary;\n",
       false, false},
      {"not for books", "[Desktop Entry]\nExec=quillary --lookup-selection\n", false, false},
      {"a link of the user's",
       "[Desktop Entry]\nExec=quillary %f\nMimeType=application/x-quillary;\n", true, false},
  };
  for (const bool system : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (system ? ", installed for the system" : ""));
      qltest::TempDir dir;
      const ql::UserDirectories dirs{dir.File("data"), dir.File("config"), {dir.File("system")}};
      const std::string old = dir.File("data/applications/quillary.desktop");
      std::filesystem::create_directories(dir.File("data/applications"));
      if (c.link) {
        qltest::WriteFileBytes(dir.File("kept.desktop"), c.before);
        std::filesystem::create_symlink(dir.File("kept.desktop"), old);
      } else {
        qltest::WriteFileBytes(old, c.before);
      }
      if (system) {
        std::filesystem::create_directories(dir.File("system/mime/packages"));
        std::filesystem::create_directories(dir.File("system/applications"));
        qltest::WriteFileBytes(dir.File("system/mime/packages/quillary.xml"), "installed");
        qltest::WriteFileBytes(dir.File("system/applications/org.quillary.Quillary.desktop"), "");
      }
      const std::vector<std::string> written = ql::InstallUserFiles(dirs, kFiles, kProgram);
      EXPECT_EQ(std::count(written.begin(), written.end(), old), c.removed ? 1 : 0);
      EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(old)), !c.removed);
      EXPECT_EQ(ql::CacheRefreshCommands(dirs, written).empty(), system && !c.removed);
    }
  }
}

TEST(UserFiles, DataDirectoriesComeFromTheEnvironment) {
  const struct {
    const char* value;  // nullptr: unset
    std::vector<std::string> dirs;
  } cases[] = {
      {nullptr, {"/usr/local/share", "/usr/share"}},
      {"", {"/usr/local/share", "/usr/share"}},
      {"/opt/share:/usr/share", {"/opt/share", "/usr/share"}},
      {"relative::/x/", {"/x/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "unset");
    qltest::ScopedEnv env("XDG_DATA_DIRS", c.value);
    EXPECT_EQ(ql::UserDirectoriesFromEnvironment().dataDirs, c.dirs);
  }
}

TEST(UserFiles, CachesAreRebuiltForWhatWasWritten) {
  const ql::UserDirectories dirs{"/d", "/c", {}};
  using Commands = std::vector<std::vector<std::string>>;
  EXPECT_EQ(ql::CacheRefreshCommands(dirs, {}), Commands{});
  EXPECT_EQ(
      ql::CacheRefreshCommands(dirs, {"/d/icons/hicolor/64x64/apps/org.quillary.Quillary.png"}),
      Commands{});
  EXPECT_EQ(ql::CacheRefreshCommands(dirs, {"/d/mime/packages/quillary.xml"}),
            (Commands{{"update-mime-database", "/d/mime"}}));
  EXPECT_EQ(ql::CacheRefreshCommands(dirs, {"/d/mime/packages/quillary.xml",
                                            "/d/applications/org.quillary.Quillary.desktop"}),
            (Commands{{"update-mime-database", "/d/mime"},
                      {"update-desktop-database", "-q", "/d/applications"}}));
}

TEST(UserFiles, CacheToolsRunWithoutBeingWaitedForAndMayBeMissing) {
  qltest::TempDir dir;
  const std::string tool = dir.File("slow-tool");
  // The tool waits until the test lets it go: a start that waited for it
  // would never return.
  qltest::WriteFileBytes(tool,
                         "#!/bin/sh\nwhile [ ! -e \"$0.go\" ]; do sleep 0.05; done\n"
                         "echo \"$@\" > \"$0.out\"\n");
  ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
  qltest::ScopedEnv path("PATH", (dir.Path() + ":/usr/bin:/bin").c_str());

  EXPECT_FALSE(ql::StartDetached({"no-such-cache-tool-here", "x"}));
  EXPECT_TRUE(ql::StartDetached({"slow-tool", "a b", "c"}));
  qltest::WriteFileBytes(tool + ".go", "");
  for (int i = 0; i < 100 && qltest::ReadFileBytes(tool + ".out").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(qltest::ReadFileBytes(tool + ".out"), "a b c\n");
}

}  // namespace

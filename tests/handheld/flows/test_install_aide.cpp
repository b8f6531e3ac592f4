// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The HotSync queue's two backends in a temporary home: J-Pilot's files and
// the spool of our own, which of them the environment picks, and how each
// lists its users and queues a file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "book_fixture.h"
#include "install_aide.h"
#include "test_helpers.h"

namespace {

namespace fs = std::filesystem;
using qltest::DirectoryNames;
using qltest::ScopedEnv;
using testing::ElementsAre;

class InstallAideTest : public testing::Test {
 protected:
  InstallAideTest() {
    jpilot = dir.File("home/.jpilot");
    fs::create_directories(jpilot);
    pdb = dir.File("Atlas.pdb");
    qltest::WriteFileBytes(pdb, "a handheld database");
  }
  void WriteRc(const std::string& text) { qltest::WriteFileBytes(jpilot + "/jpilot.rc", text); }
  std::string Queue() { return qltest::ReadFileBytes(jpilot + "/jpilot.install"); }

  qltest::TempDir dir;
  std::string jpilot;
  std::string pdb;
};

TEST_F(InstallAideTest, JPilotsUserIsTheValueOfTheUserLine) {
  ql::JPilotInstallAide aide(jpilot);
  EXPECT_EQ(aide.UserCount(), 0);  // no jpilot.rc
  WriteRc("username Nobody\r\nuser Jane  Doe\r\nport /dev/ttyUSB0\r\n");
  ASSERT_EQ(aide.UserCount(), 1);
  EXPECT_EQ(aide.UserName(0), "Jane  Doe");
  EXPECT_EQ(aide.UserName(1), "");
  WriteRc("user \nusers Many\n");
  EXPECT_EQ(aide.UserCount(), 0);
}

TEST_F(InstallAideTest, JPilotQueuesTheAbsolutePathOnce) {
  WriteRc("user Jane\n");
  qltest::WriteFileBytes(jpilot + "/jpilot.install", "/data/other.pdb");  // no line end
  ql::JPilotInstallAide aide(jpilot);
  ASSERT_EQ(aide.UserCount(), 1);
  EXPECT_EQ(aide.QueueFile("Jane", dir.File("home/../Atlas.pdb")), 0);
  EXPECT_EQ(aide.QueueFile("Jane", pdb), 0);
  EXPECT_EQ(Queue(), "/data/other.pdb\n" + pdb + "\n");

  // A relative path is queued as the full path it names.
  const fs::path before = fs::current_path();
  fs::current_path(dir.Path());
  qltest::WriteFileBytes(dir.File("second.pdb"), "another");
  const int queued = aide.QueueFile("Jane", "second.pdb");
  fs::current_path(before);
  EXPECT_EQ(queued, 0);
  EXPECT_EQ(Queue(), "/data/other.pdb\n" + pdb + "\n" + dir.File("second.pdb") + "\n");
}

// The path given may pass through links; what is queued is the file the
// system opens for it, never a lexical reading of the path ("link/.." is not
// the link's directory). A decoy stands where the lexical reading points.
class QueuedFileTest : public InstallAideTest {
 protected:
  QueuedFileTest() {
    fs::create_directories(dir.File("a/b"));
    written = dir.File("a/x.pdb");
    qltest::WriteFileBytes(written, "the file written");
    qltest::WriteFileBytes(dir.File("x.pdb"), "a decoy");
    fs::create_directory_symlink("a/b", dir.File("link"));
    fs::create_symlink("a/x.pdb", dir.File("current.pdb"));
    written = fs::canonical(written).string();
  }
  const std::vector<std::string> kGiven = {"link/../x.pdb", "current.pdb", "a/b/../x.pdb"};
  std::string written;
};

TEST_F(QueuedFileTest, JPilotQueuesTheFileTheSystemOpens) {
  for (const std::string& given : kGiven) {
    WriteRc("user Jane\n");
    std::filesystem::remove(jpilot + "/jpilot.install");
    ql::JPilotInstallAide aide(jpilot);
    ASSERT_EQ(aide.UserCount(), 1);
    EXPECT_EQ(aide.QueueFile("Jane", dir.File(given)), 0) << given;
    EXPECT_EQ(Queue(), written + "\n") << given;
  }
}

TEST_F(QueuedFileTest, SpoolCopiesTheFileTheSystemOpensUnderItsName) {
  for (size_t k = 0; k < kGiven.size(); ++k) {
    const std::string& given = kGiven[k];
    const std::string spool = dir.File("spool" + std::to_string(k));
    ql::SpoolInstallAide aide(spool, "alice");
    ASSERT_EQ(aide.UserCount(), 1);
    EXPECT_EQ(aide.QueueFile("alice", dir.File(given)), 0) << given;
    EXPECT_THAT(DirectoryNames(spool + "/alice"), ElementsAre("x.pdb")) << given;
    EXPECT_EQ(qltest::ReadFileBytes(spool + "/alice/x.pdb"), "the file written") << given;
  }
}

TEST_F(InstallAideTest, JPilotQueueFailures) {
  WriteRc("user Jane\n");
  ql::JPilotInstallAide aide(jpilot);
  EXPECT_NE(aide.QueueFile("John", pdb), 0);
  EXPECT_EQ(aide.QueueFile("Jane", dir.File("missing.pdb")), ENOENT);
  EXPECT_THAT(DirectoryNames(jpilot), ElementsAre("jpilot.rc"));
  fs::create_directory(jpilot + "/jpilot.install");  // cannot be appended to
  EXPECT_EQ(aide.QueueFile("Jane", pdb), EISDIR);
}

TEST_F(InstallAideTest, SpoolMakesTheLoginsUserOnFirstUse) {
  const std::string spool = dir.File("data/quillary/hotsync");
  ql::SpoolInstallAide aide(spool, "alice");
  ASSERT_EQ(aide.UserCount(), 1);
  EXPECT_EQ(aide.UserName(0), "alice");
  EXPECT_TRUE(fs::is_directory(spool + "/alice"));

  fs::create_directory(spool + "/Bob");
  qltest::WriteFileBytes(spool + "/notes.txt", "a file is no user");
  ASSERT_EQ(aide.UserCount(), 2);
  EXPECT_EQ(aide.UserName(0), "Bob");
  EXPECT_EQ(aide.UserName(1), "alice");
}

TEST_F(InstallAideTest, SpoolQueueCopiesTheFileIntoTheUsersDirectory) {
  const std::string spool = dir.File("spool");
  ql::SpoolInstallAide aide(spool, "alice");
  ASSERT_EQ(aide.UserCount(), 1);
  qltest::WriteFileBytes(spool + "/alice/Atlas.pdb", "an older copy");
  EXPECT_EQ(aide.QueueFile("alice", pdb), 0);
  EXPECT_EQ(qltest::ReadFileBytes(spool + "/alice/Atlas.pdb"), "a handheld database");
  EXPECT_THAT(DirectoryNames(spool + "/alice"), ElementsAre("Atlas.pdb"));
}

TEST_F(InstallAideTest, SpoolQueueFailures) {
  const std::string spool = dir.File("spool");
  ql::SpoolInstallAide aide(spool, "alice");
  ASSERT_EQ(aide.UserCount(), 1);
  EXPECT_EQ(aide.QueueFile("bob", pdb), ENOENT);
  EXPECT_EQ(aide.QueueFile("..", pdb), EINVAL);
  EXPECT_EQ(aide.QueueFile("alice/..", pdb), EINVAL);
  EXPECT_EQ(aide.QueueFile("alice", dir.File("missing.pdb")), ENOENT);
  EXPECT_THAT(DirectoryNames(spool + "/alice"), ElementsAre());

  // A spool that cannot be made has no users.
  ql::SpoolInstallAide blocked(pdb + "/spool", "alice");
  EXPECT_EQ(blocked.UserCount(), 0);
}

TEST_F(InstallAideTest, TheEnvironmentPicksTheBackend) {
  const std::string home = dir.File("home");
  ScopedEnv homeEnv("HOME", home);
  ScopedEnv jpilotEnv("JPILOT_HOME", std::nullopt);
  ScopedEnv dataEnv("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(ql::JPilotDirectory(), home + "/.jpilot");
  EXPECT_EQ(ql::SpoolDirectory(), home + "/.local/share/quillary/hotsync");
  WriteRc("user Jane\n");
  std::unique_ptr<ql::InstallAide> aide = ql::MakeInstallAide();
  ASSERT_EQ(aide->UserCount(), 1);
  EXPECT_EQ(aide->UserName(0), "Jane");

  // JPILOT_HOME names a home without J-Pilot's directory: the spool is used,
  // under XDG_DATA_HOME when that is absolute.
  ScopedEnv jpilotHere("JPILOT_HOME", dir.File("elsewhere"));
  ScopedEnv relativeData("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(ql::JPilotDirectory(), dir.File("elsewhere/.jpilot"));
  EXPECT_EQ(ql::SpoolDirectory(), home + "/.local/share/quillary/hotsync");
  ScopedEnv data("XDG_DATA_HOME", dir.File("data"));
  EXPECT_EQ(ql::SpoolDirectory(), dir.File("data/quillary/hotsync"));
  aide = ql::MakeInstallAide();
  ASSERT_EQ(aide->UserCount(), 1);
  EXPECT_EQ(aide->UserName(0), ql::LoginName());
  EXPECT_TRUE(fs::is_directory(dir.File("data/quillary/hotsync/" + ql::LoginName())));
}

}  // namespace

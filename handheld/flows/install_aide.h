// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Queuing a file for a handheld's next HotSync: the three operations the
// export asks for (how many users, the name of one, queue a file for one)
// behind one interface, with two ways of keeping the queue.
//
// J-Pilot's files, when its directory exists: the one user named by the
// "user NAME" line of jpilot.rc, and jpilot.install, which lists the files to
// install, one absolute path a line. Otherwise a spool of our own: one
// directory per user, the queued files copied into it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace ql {

class InstallAide {
 public:
  virtual ~InstallAide() = default;
  // The number of users known on this desktop.
  virtual int UserCount() = 0;
  // The name of user index (0-based), as counted last; empty when there is none.
  virtual std::string UserName(int index) = 0;
  // Queues the file at path for the user's next HotSync: 0 when queued, else
  // the errno of the failure.
  virtual int QueueFile(const std::string& user, const std::string& path) = 0;
};

class JPilotInstallAide final : public InstallAide {
 public:
  // directory: the one holding jpilot.rc and jpilot.install.
  explicit JPilotInstallAide(std::string directory);
  int UserCount() override;
  std::string UserName(int index) override;
  int QueueFile(const std::string& user, const std::string& path) override;

 private:
  std::string iDirectory;
  std::vector<std::string> iUsers;
};

class SpoolInstallAide final : public InstallAide {
 public:
  // directory: the spool, whose directories are the users; login: the user
  // made when there is none yet.
  SpoolInstallAide(std::string directory, std::string login);
  int UserCount() override;
  std::string UserName(int index) override;
  int QueueFile(const std::string& user, const std::string& path) override;

 private:
  void ListUsers();

  std::string iDirectory;
  std::string iLogin;
  std::vector<std::string> iUsers;
};

// $JPILOT_HOME/.jpilot, else ~/.jpilot.
std::string JPilotDirectory();
// $XDG_DATA_HOME/quillary/hotsync, else ~/.local/share/quillary/hotsync.
std::string SpoolDirectory();
// The name the user logged in with.
std::string LoginName();
// J-Pilot's files when its directory exists, else the spool.
std::unique_ptr<InstallAide> MakeInstallAide();

}  // namespace ql

// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The user's directories from the environment: absolute values only, and the
// home's fallbacks under it.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>

#include "test_helpers.h"
#include "user_dirs.h"

namespace {

using qltest::ScopedEnv;

TEST(UserDirs, AbsoluteValuesCountAndOthersFallBackUnderTheHome) {
  ScopedEnv home("HOME", "/home/ann");
  struct Case {
    const char* value;  // nullptr: unset
    std::string want;
  };
  const Case cases[] = {
      {"/data/share", "/data/share"},        {nullptr, "/home/ann/.local/share"},
      {"", "/home/ann/.local/share"},        {"relative/share", "/home/ann/.local/share"},
      {"~/share", "/home/ann/.local/share"},
  };
  for (const Case& c : cases) {
    ScopedEnv data("XDG_DATA_HOME", c.value);
    EXPECT_EQ(ql::UserDataDirectory(), c.want) << (c.value ? c.value : "(unset)");
    ScopedEnv config("XDG_CONFIG_HOME", c.value);
    std::string configWant = c.want;
    if (configWant.starts_with("/home/ann")) configWant = "/home/ann/.config";
    EXPECT_EQ(ql::BaseDirectory("XDG_CONFIG_HOME", "/.config"), configWant);
  }
}

TEST(UserDirs, WithoutHomeTheUserDatabaseSays) {
  const passwd* pw = ::getpwuid(::geteuid());
  if (!pw || !pw->pw_dir) GTEST_SKIP() << "no entry for this user";
  const std::string dir = pw->pw_dir;
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    ScopedEnv home("HOME", value);
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(ql::HomeDirectory(), dir);
    EXPECT_EQ(ql::UserDataDirectory(), dir + "/.local/share");
  }
}

}  // namespace

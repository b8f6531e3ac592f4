// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include <gtest/gtest.h>

#include <filesystem>

#include "book_fixture.h"
#include "lock_keys.h"

namespace {

void AddLed(const qltest::TempDir& dir, const std::string& name, const char* brightness) {
  std::filesystem::create_directories(dir.File(name));
  qltest::WriteFileBytes(dir.File(name) + "/brightness", brightness);
}

TEST(LockKeys, AnyLitKeyboardLedSetsTheLock) {
  qltest::TempDir dir;
  AddLed(dir, "input3::capslock", "0\n");
  AddLed(dir, "input9::capslock", "1\n");  // a second keyboard
  AddLed(dir, "input3::numlock", "1\n");
  AddLed(dir, "input3::scrolllock", "0\n");
  AddLed(dir, "phy0-led", "1\n");
  const auto states = ql::ReadLockStates(dir.Path());
  ASSERT_TRUE(states.has_value());
  EXPECT_TRUE(states->caps);
  EXPECT_TRUE(states->num);
  EXPECT_FALSE(states->scroll);
}

TEST(LockKeys, NoKeyboardLedsMeansNothingIsKnown) {
  qltest::TempDir dir;
  AddLed(dir, "mmc0::", "1\n");
  EXPECT_FALSE(ql::ReadLockStates(dir.Path()).has_value());
  EXPECT_FALSE(ql::ReadLockStates(dir.File("missing")).has_value());
}

}  // namespace

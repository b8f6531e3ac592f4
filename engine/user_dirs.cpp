// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "user_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace ql {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string BaseDirectory(const char* variable, std::string_view underHome) {
  if (const char* value = std::getenv(variable); value && *value == '/') return value;
  return HomeDirectory() + std::string(underHome);
}

std::string UserDataDirectory() {
  return BaseDirectory("XDG_DATA_HOME", "/.local/share");
}

}  // namespace ql

// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The user's home and base directories, from the environment as the desktop
// base directory rules give them. Plain C and POSIX only: the association
// refresher, which links nothing else of ours, uses it too.
#pragma once

#include <string>
#include <string_view>

namespace ql {

// $HOME, else the home the user database gives; "" when neither says.
std::string HomeDirectory();

// The base directory a variable names ($XDG_DATA_HOME, $XDG_CONFIG_HOME)
// when it holds an absolute path (any other value is invalid and ignored),
// else underHome (such as "/.local/share") appended to the home directory.
std::string BaseDirectory(const char* variable, std::string_view underHome);

// $XDG_DATA_HOME, else ~/.local/share.
std::string UserDataDirectory();

}  // namespace ql

// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The desktop's list of recently used files ($XDG_DATA_HOME/recently-used.xbel,
// the freedesktop bookmark format), which file choosers and launchers show.
// A book opened is added there, or its entry brought up to date. The file is
// shared with every other program: what is there is read and written back as
// it was, our entry added or changed, and the whole replaces the old file
// only once it is written. A file that does not parse, or is too large to be
// a list of recent files, is left alone.
#pragma once

#include <QDateTime>
#include <QString>

namespace qlui {

// The largest list read; beyond it the file is left as it is.
inline constexpr qint64 kMaxRecentListBytes = 16 * 1024 * 1024;

enum class RecentListResult { kWritten, kUnreadable, kWriteFailed };

// $XDG_DATA_HOME/recently-used.xbel.
QString DesktopRecentListPath();

// Adds path (absolute) to the list at listPath as used by Quillary at now.
RecentListResult AddToDesktopRecentList(const QString& listPath, const QString& path,
                                        const QDateTime& now);

}  // namespace qlui

// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The reader's settings, all in one store (Qt's for "Quillary"): the recent
// files, the view the user chose (face, size, zoom, theme) and the group. A value left at
// its default is removed rather than written.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fonts.h"

namespace qlui {

enum class Theme;

class Settings {
 public:
  // The recent files, newest first, as many as the list keeps ("" where a
  // place is empty).
  static std::vector<std::string> RecentFiles();
  // Replaces the stored list and writes it out at once.
  static void SetRecentFiles(const std::vector<std::string>& paths);

  // What the View group holds; absent values are left out.
  static ql::StoredFontChoice Fonts();
  static Theme StoredTheme();

  static void SetFace(std::string_view face);
  static void SetSize(std::string_view size);
  static void SetZoom(int percent);   // 100% is the default
  static void SetTheme(Theme theme);  // the desktop's is the default

  // The group chosen beside the lookup line; "" when none was stored.
  static std::string Group();
  static void SetGroup(std::string_view name);  // "All books" is the default

  // The window's size and place as Qt saves them (empty when none is stored),
  // and the upper pane's share of the split, between 0 and 1.
  static QByteArray WindowGeometry();
  static void SetWindowGeometry(const QByteArray& geometry);
  static std::optional<double> SplitShare();
  static void SetSplitShare(double share);
};

}  // namespace qlui

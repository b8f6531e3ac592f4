// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "settings.h"

#include <QSettings>
#include <QVariant>

#include "library.h"
#include "qt_text.h"
#include "recent_files.h"
#include "theme.h"

namespace qlui {

namespace {

constexpr int kDefaultZoomPercent = 100;

// The keys of the View group.
const QString kViewGroup = QStringLiteral("View");
const QString kFaceKey = QStringLiteral("Face");
const QString kSizeKey = QStringLiteral("Size");
const QString kZoomKey = QStringLiteral("Zoom");
const QString kThemeKey = QStringLiteral("Theme");
// The window's size, place and split.
const QString kGeometryKey = QStringLiteral("Window/Geometry");
const QString kSplitKey = QStringLiteral("Window/Split");
// The key of the group chosen for lookups.
const QString kGroupKey = QStringLiteral("Library/Group");

// One store for every setting: the organisation and the program are both
// "Quillary".
QSettings Store() {
  return QSettings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
}

QString RecentFileKey(size_t place) {
  return QStringLiteral("File%1").arg(place + 1);
}

// Writes a View value, or removes it when value is null (the default).
void SetView(const QString& key, const QVariant& value) {
  QSettings settings = Store();
  settings.beginGroup(kViewGroup);
  if (value.isValid())
    settings.setValue(key, value);
  else
    settings.remove(key);
  settings.endGroup();
}

}  // namespace

std::vector<std::string> Settings::RecentFiles() {
  QSettings settings = Store();
  settings.beginGroup(QLatin1String(ql::kRecentFileSection));
  std::vector<std::string> paths;
  for (size_t i = 0; i < static_cast<size_t>(ql::kRecentFileCount); ++i)
    paths.push_back(PathFromQString(settings.value(RecentFileKey(i)).toString()));
  settings.endGroup();
  return paths;
}

void Settings::SetRecentFiles(const std::vector<std::string>& paths) {
  QSettings settings = Store();
  settings.beginGroup(QLatin1String(ql::kRecentFileSection));
  settings.remove(QString());
  for (size_t i = 0; i < paths.size(); ++i)
    settings.setValue(RecentFileKey(i), PathToQString(paths[i]));
  settings.endGroup();
  settings.sync();
}

ql::StoredFontChoice Settings::Fonts() {
  QSettings settings = Store();
  settings.beginGroup(kViewGroup);
  ql::StoredFontChoice stored;
  if (settings.contains(kFaceKey)) stored.face = FromQString(settings.value(kFaceKey).toString());
  if (settings.contains(kSizeKey)) stored.size = FromQString(settings.value(kSizeKey).toString());
  bool isNumber = false;
  const int zoom = settings.value(kZoomKey).toInt(&isNumber);
  if (isNumber) stored.zoomPercent = zoom;
  settings.endGroup();
  return stored;
}

Theme Settings::StoredTheme() {
  QSettings settings = Store();
  settings.beginGroup(kViewGroup);
  const Theme theme = ThemeFromName(settings.value(kThemeKey).toString());
  settings.endGroup();
  return theme;
}

void Settings::SetFace(std::string_view face) {
  SetView(kFaceKey, ToQString(face));
}

void Settings::SetSize(std::string_view size) {
  SetView(kSizeKey, ToQString(size));
}

void Settings::SetZoom(int percent) {
  SetView(kZoomKey, percent == kDefaultZoomPercent ? QVariant() : QVariant(percent));
}

void Settings::SetTheme(Theme theme) {
  SetView(kThemeKey, theme == Theme::kDesktop ? QVariant() : QVariant(ThemeName(theme)));
}

std::string Settings::Group() {
  return Store().value(kGroupKey).toString().toStdString();
}

void Settings::SetGroup(std::string_view name) {
  QSettings settings = Store();
  if (name.empty() || name == ql::kAllBooks)
    settings.remove(kGroupKey);
  else
    settings.setValue(kGroupKey,
                      QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
}

QByteArray Settings::WindowGeometry() {
  return Store().value(kGeometryKey).toByteArray();
}

void Settings::SetWindowGeometry(const QByteArray& geometry) {
  Store().setValue(kGeometryKey, geometry);
}

std::optional<double> Settings::SplitShare() {
  bool isNumber = false;
  const double share = Store().value(kSplitKey).toDouble(&isNumber);
  // A share outside the window is someone else's edit, and ignored.
  if (!isNumber || !(share >= 0.0 && share <= 1.0)) return std::nullopt;
  return share;
}

void Settings::SetSplitShare(double share) {
  Store().setValue(kSplitKey, share);
}

}  // namespace qlui

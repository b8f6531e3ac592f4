// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "theme.h"

#include <QApplication>
#include <QStyle>
#include <optional>

#include "record_markup.h"
#include "shelf.h"

namespace qlui {

namespace {

std::optional<QPalette>& DesktopPalette() {
  static std::optional<QPalette> palette;
  return palette;
}

QPalette DarkPalette() {
  QPalette p;
  const QColor window(0x2b, 0x2b, 0x2e);
  const QColor base(0x1e, 0x1e, 0x20);
  const QColor text(0xe6, 0xe6, 0xe6);
  const QColor disabled(0x80, 0x80, 0x80);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, disabled);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, window);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, QColor(0xff, 0x80, 0x80));
  p.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4e));
  p.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3e));
  p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x33));
  p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
  p.setColor(QPalette::Shadow, Qt::black);
  p.setColor(QPalette::Highlight, QColor(0x3d, 0x6e, 0xa8));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
  p.setColor(QPalette::LinkVisited, QColor(0xc5, 0x8a, 0xf9));
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, disabled);
  return p;
}

}  // namespace

QString ThemeName(Theme theme) {
  switch (theme) {
    case Theme::kLight:
      return QStringLiteral("light");
    case Theme::kDark:
      return QStringLiteral("dark");
    case Theme::kDesktop:
      break;
  }
  return QStringLiteral("desktop");
}

Theme ThemeFromName(const QString& name) {
  if (name == QLatin1String("light")) return Theme::kLight;
  if (name == QLatin1String("dark")) return Theme::kDark;
  return Theme::kDesktop;
}

void ApplyTheme(Theme theme) {
  if (!DesktopPalette()) DesktopPalette() = QApplication::palette();
  switch (theme) {
    case Theme::kDesktop:
      QApplication::setPalette(*DesktopPalette());
      break;
    case Theme::kLight:
      QApplication::setPalette(QApplication::style()->standardPalette());
      break;
    case Theme::kDark:
      QApplication::setPalette(DarkPalette());
      break;
  }
}

bool IsDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::Base).lightness() < palette.color(QPalette::Text).lightness();
}

QString AdaptPageToPalette(QString page, const QPalette& palette) {
  if (!IsDarkPalette(palette)) return page;
  static const QString marker = QString::fromLatin1(
      ql::kFoundTextOpen.data(), static_cast<qsizetype>(ql::kFoundTextOpen.size()));
  static const QString lighter =
      QString(marker).replace(QStringLiteral("\"red\""), QStringLiteral("\"#ff8a80\""));
  page.replace(marker, lighter);
  // The band over each book's section darkens with the page.
  static const QString band = QString::fromLatin1(
      ql::kSectionBandOpen.data(), static_cast<qsizetype>(ql::kSectionBandOpen.size()));
  static const QString darkBand = QString(band).replace(
      QString::fromLatin1(ql::kSectionBandColor.data(),
                          static_cast<qsizetype>(ql::kSectionBandColor.size())),
      QStringLiteral("#3b3f46"));
  page.replace(band, darkBand);
  return page;
}

QString AdaptStartPageToPalette(QString page, const QPalette& palette) {
  if (!IsDarkPalette(palette)) return page;
  page.replace(QStringLiteral("background=\"qrc:/background.png\" bgcolor=\"#fbf6e8\""),
               QStringLiteral("bgcolor=\"%1\"").arg(palette.color(QPalette::Base).name()));
  page.replace(QStringLiteral("#4a2f14"), QStringLiteral("#ecd9b4"));
  page.replace(QStringLiteral("#6b5434"), QStringLiteral("#cdb992"));
  return page;
}

}  // namespace qlui

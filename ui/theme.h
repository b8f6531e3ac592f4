// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Light and dark: the palette the window uses and what pages do to stay
// readable on it. The desktop's own palette is the default; the View menu
// can choose a light or a dark one instead.
#pragma once

#include <QByteArray>
#include <QPalette>
#include <QString>

namespace qlui {

enum class Theme { kDesktop, kLight, kDark };

// The settings' name of a theme and back ("desktop" for anything unknown).
QString ThemeName(Theme theme);
Theme ThemeFromName(const QString& name);

// Sets the application's palette. The desktop's palette is the one the
// program started with, kept at the first call.
void ApplyTheme(Theme theme);

// True when text is lighter than the background it is written on.
bool IsDarkPalette(const QPalette& palette);

// A record page made readable on a dark palette: the found-text marker's red
// is lightened. Pages carry no other colours of their own.
QString AdaptPageToPalette(QString page, const QPalette& palette);
// The start page on a dark palette: the parchment gives way to the palette's
// background, and the writing takes light tints of its browns.
QString AdaptStartPageToPalette(QString page, const QPalette& palette);

}  // namespace qlui

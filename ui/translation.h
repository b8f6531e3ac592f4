// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The program's texts in the user's language: the first language the
// environment asks for (LANGUAGE, then the locale's, as QLocale gives them)
// that Quillary has a translation for, up to English, its own.
#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace qlui {

// The languages asked for, most wanted first: $LANGUAGE's list (the GNU
// extension, honoured even when the locale is C), then the system locale's.
QStringList WantedLanguages();

// Loads and installs Quillary's translation (and Qt's own, for its standard
// buttons and dialogs) for the first of languages it has; returns the
// language chosen, or "" for English.
QString InstallTranslation(QCoreApplication& app, const QStringList& languages);

}  // namespace qlui

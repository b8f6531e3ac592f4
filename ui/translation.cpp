// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace qlui {

namespace {

const QString kCatalogue = QStringLiteral("quillary");
// Built into the program; a catalogue installed beside the data comes first,
// so that one can be replaced without building anew.
const QString kBuiltIn = QStringLiteral(":/i18n");
const QString kInstalled = QStringLiteral("/../share/quillary/translations");

bool IsEnglish(const QString& language) {
  return language == QLatin1String("C") || language == QLatin1String("POSIX") ||
         language.startsWith(QLatin1String("en"));
}

bool LoadCatalogue(QTranslator& translator, const QString& language) {
  const QString name = kCatalogue + QLatin1Char('_') + language;
  return translator.load(name, QCoreApplication::applicationDirPath() + kInstalled) ||
         translator.load(name, kBuiltIn);
}

}  // namespace

QStringList WantedLanguages() {
  QStringList languages;
  const QString wanted = qEnvironmentVariable("LANGUAGE");
  for (const QString& language : wanted.split(QLatin1Char(':'), Qt::SkipEmptyParts))
    languages << language;
  for (const QString& language : QLocale::system().uiLanguages())
    languages << QString(language).replace(QLatin1Char('-'), QLatin1Char('_'));
  return languages;
}

QString InstallTranslation(QCoreApplication& app, const QStringList& languages) {
  for (const QString& language : languages) {
    if (IsEnglish(language)) return {};
    auto* ours = new QTranslator(&app);
    if (!LoadCatalogue(*ours, language)) {
      delete ours;
      continue;
    }
    QCoreApplication::installTranslator(ours);
    auto* qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qtbase_") + language,
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QCoreApplication::installTranslator(qt);
    else
      delete qt;
    return language;
  }
  return {};
}

}  // namespace qlui

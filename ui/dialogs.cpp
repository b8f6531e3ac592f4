// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "open_failure.h"
#include "ql_version.h"
#include "qt_text.h"
#include "record_view.h"
#include "show_record.h"
#include "subject_view.h"

namespace qlui {

CFindDialog::CFindDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Find"));
  setObjectName(QStringLiteral("findDialog"));
  auto* grid = new QGridLayout(this);
  auto addTerm = [&](int row, const QString& label, const QString& name) {
    auto* edit = new QLineEdit(this);
    auto* caption = new QLabel(label, this);
    caption->setBuddy(edit);
    edit->setAccessibleName(name);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
  };
  iTerm1 = addTerm(0, tr("Find what:"), tr("Find what"));
  iTerm2 = addTerm(1, tr("AND"), tr("AND, second term"));
  iTerm3 = addTerm(2, tr("AND"), tr("AND, third term"));
  iExclude2 = new QCheckBox(tr("Exclude"), this);
  iExclude2->setAccessibleName(tr("Exclude the second term"));
  iExclude3 = new QCheckBox(tr("Exclude"), this);
  iExclude3->setAccessibleName(tr("Exclude the third term"));
  grid->addWidget(iExclude2, 1, 2);
  grid->addWidget(iExclude3, 2, 2);
  iWholeWords = new QCheckBox(tr("Match whole words only"), this);
  iSubjectOnly = new QCheckBox(tr("Only search in subject text"), this);
  grid->addWidget(iWholeWords, 3, 0, 1, 2);
  grid->addWidget(iSubjectOnly, 4, 0, 1, 2);
  auto* note = new QLabel(tr("Select exclude to find records that don't contain the "
                             "word/phrase in the associated text box."),
                          this);
  note->setWordWrap(true);
  grid->addWidget(note, 5, 0, 1, 3);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* findNext = buttons->addButton(tr("Find Next"), QDialogButtonBox::AcceptRole);
  findNext->setDefault(true);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 0, 3, 3, 1, Qt::AlignTop);
  buttons->setOrientation(Qt::Vertical);
  iWholeWords->setChecked(true);
}

void CFindDialog::SetValues(const ql::FindDialogValues& values, ql::TextForm form) {
  iForm = form;
  iTerm1->setText(ToQString(values.term1, form));
  iTerm2->setText(ToQString(values.term2, form));
  iTerm3->setText(ToQString(values.term3, form));
  iExclude2->setChecked(values.exclude2);
  iExclude3->setChecked(values.exclude3);
  iWholeWords->setChecked(values.wholeWords);
  iSubjectOnly->setChecked(values.subjectOnly);
}

ql::FindDialogValues CFindDialog::Values() const {
  ql::FindDialogValues values;
  values.term1 = FromQString(iTerm1->text(), iForm);
  values.term2 = FromQString(iTerm2->text(), iForm);
  values.term3 = FromQString(iTerm3->text(), iForm);
  values.exclude2 = iExclude2->isChecked();
  values.exclude3 = iExclude3->isChecked();
  values.wholeWords = iWholeWords->isChecked();
  values.subjectOnly = iSubjectOnly->isChecked();
  return values;
}

RemoveBookmarkDialog::RemoveBookmarkDialog(const std::vector<ql::BookmarkItem>& items,
                                           ql::TextForm form, QWidget* parent)
    : QDialog(parent), iList(new QListWidget(this)) {
  setWindowTitle(tr("Remove bookmark"));
  setObjectName(QStringLiteral("removeBookmarkDialog"));
  iList->setAccessibleName(tr("Bookmarks"));
  iList->setSelectionMode(QAbstractItemView::SingleSelection);
  for (const ql::BookmarkItem& item : items) {
    auto* entry = new QListWidgetItem(BookmarkText(item.text, form), iList);
    entry->setData(Qt::UserRole, item.slot);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(iList);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* remove = buttons->addButton(tr("Remove"), QDialogButtonBox::AcceptRole);
  remove->setDefault(true);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(iList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  layout->addWidget(buttons);
}

int RemoveBookmarkDialog::Result() const {
  const QList<QListWidgetItem*> chosen = iList->selectedItems();
  if (chosen.isEmpty()) return -1;
  return chosen.front()->data(Qt::UserRole).toInt();
}

PalmImportDialog::PalmImportDialog(bool hotSync, const QString& name, QWidget* parent)
    : QDialog(parent),
      iHotSync(new QCheckBox(tr("HotSync to Palm"), this)),
      iName(new QLineEdit(name, this)) {
  setWindowTitle(tr("Palm Import"));
  setObjectName(QStringLiteral("palmImportDialog"));
  iHotSync->setChecked(hotSync);
  auto* label = new QLabel(tr("Palm database name"), this);
  label->setBuddy(iName);
  iName->setAccessibleName(tr("Palm database name"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(iHotSync);
  layout->addWidget(label);
  layout->addWidget(iName);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

bool PalmImportDialog::HotSync() const {
  return iHotSync->isChecked();
}

QString PalmImportDialog::Name() const {
  return iName->text();
}

HotSyncUserDialog::HotSyncUserDialog(const std::vector<std::string>& users, QWidget* parent)
    : QDialog(parent), iList(new QListWidget(this)) {
  setWindowTitle(tr("HotSync User"));
  setObjectName(QStringLiteral("hotSyncUserDialog"));
  iList->setAccessibleName(tr("HotSync users"));
  iList->setSelectionMode(QAbstractItemView::SingleSelection);
  for (size_t i = 0; i < users.size(); ++i) {
    auto* entry = new QListWidgetItem(QString::fromLocal8Bit(users[i]), iList);
    entry->setData(Qt::UserRole, static_cast<int>(i));
  }
  // Listed in the order given: the flow sorts the names.
  if (iList->count() > 0) iList->setCurrentRow(0);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(iList);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(iList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  layout->addWidget(buttons);
}

int HotSyncUserDialog::Chosen() const {
  const QList<QListWidgetItem*> chosen = iList->selectedItems();
  return chosen.isEmpty() ? -1 : chosen.front()->data(Qt::UserRole).toInt();
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About Quillary"));
  setObjectName(QStringLiteral("aboutDialog"));
  auto* layout = new QVBoxLayout(this);
  auto* picture = new QLabel(this);
  picture->setPixmap(QPixmap(QStringLiteral(":/about.png")));
  picture->setAccessibleName(QStringLiteral("Quillary"));
  layout->addWidget(picture);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(tr("Version %1").arg(QStringLiteral(QL_VERSION)), this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  row->addWidget(buttons);
  layout->addLayout(row);
}

ProgressWindow::ProgressWindow(int64_t maximum, QWidget* parent)
    : QDialog(parent), iBar(new QProgressBar(this)) {
  setObjectName(QStringLiteral("progressWindow"));
  setWindowTitle(QStringLiteral("Quillary"));
  setModal(false);
  iBar->setAccessibleName(tr("Progress"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(iBar);
  resize(420, 50);
  SetRange(0, maximum);
  show();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  iSincePaint.start();
}

// The bar's steps at most: finer than the bar is wide. The work may report
// every entry of a book, and each new value costs the bar a measure of its
// text (QProgressBar::setValue asks the style whether to repaint), so a
// value only changes when the bar can show it.
constexpr int64_t kBarSteps = 1024;

void ProgressWindow::SetRange(int64_t lower, int64_t upper) {
  iLower = lower;
  iUpper = upper < lower ? lower : upper;
  iShift = 0;
  while (((iUpper - iLower) >> iShift) > kBarSteps) ++iShift;
  iBar->setRange(0, static_cast<int>((iUpper - iLower) >> iShift));
  SetPos(lower);
}

void ProgressWindow::SetPos(int64_t pos) {
  iPos = pos;
  Update();
}

void ProgressWindow::Step() {
  ++iPos;
  Update();
}

void ProgressWindow::Update() {
  const int64_t clamped = std::clamp(iPos, iLower, iUpper);
  const int value = static_cast<int>((clamped - iLower) >> iShift);
  if (value != iBar->value()) iBar->setValue(value);
  // Paint ten times a second: often enough to look alive, seldom enough that
  // painting costs the work nothing to speak of (it runs on this thread).
  constexpr qint64 kPaintIntervalMs = 100;
  if (iSincePaint.elapsed() >= kPaintIntervalMs) {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    iSincePaint.restart();
  }
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Quillary Help"));
  setObjectName(QStringLiteral("helpWindow"));
  iList = new CQuillaryView(
      iDoc, [this](int index) { ShowRecord(index, -1, -1, false); }, this);
  iList->setAccessibleName(tr("Help topics"));
  iView = new CQuillaryHtmlView(
      [this](const std::string& address) { ql::FollowLink(iDoc, *this, address); }, this);
  iView->setAccessibleName(tr("Help text"));
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(iList);
  split->addWidget(iView);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(640, 560);
}

bool HelpWindow::OpenManual(const std::string& path, std::string& reason) {
  // The help reads its own copy: the manual may be open in the main window,
  // which holds its file exclusively. The copy is this process's, as its
  // pages are.
  const std::string dir = ql::ProcessDirectory(reason);
  if (dir.empty()) return false;
  const QString copy = PathToQString(dir + "/qlhelp.ql");
  QFile source(PathToQString(path));
  QSaveFile target(copy);
  if (!source.open(QIODevice::ReadOnly)) {
    reason = source.errorString().toStdString();
    return false;
  }
  if (!target.open(QIODevice::WriteOnly) || target.write(source.readAll()) < 0 ||
      !target.commit()) {
    reason = PathFromQString(copy) + ": " + target.errorString().toStdString();
    return false;
  }
  // The document knows the manual by its own path; the reader has the copy.
  if (iDoc.Open(PathFromQString(copy), ql::kOpenReadOnly, path) != ql::OpenResult::kOk) {
    reason = ql::OpenFailureReason(iDoc.Reader().LastOpenFailure());
    return false;
  }
  DocumentOpened();
  iList->SetInitialised(true);
  if (iDoc.RowCount() > 0) {
    iList->SelectRow(0);
    ShowRecord(0, -1, -1, false);
  }
  return true;
}

void HelpWindow::EmptyList() {
  iList->Empty();
}

void HelpWindow::DocumentOpened() {
  iList->InitialUpdate();
}

int HelpWindow::SelectionMark() {
  return iList->SelectionMark();
}

void HelpWindow::SelectRow(int index) {
  iList->SelectRow(index);
}

void HelpWindow::ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) {
  ql::ShowRecord(iDoc, *this, *this, {index, foundPos, foundLength, scrollToFound});
}

void HelpWindow::ShowPage(const std::string& path, bool scrollToFound) {
  iView->ShowPage(PathToQString(path), scrollToFound, ql::FormOf(iDoc.Reader()));
}

void HelpWindow::SetListFont(std::string_view face, int pixelHeight) {
  iList->ApplyFont(ToQString(face), pixelHeight);
}

void HelpWindow::ShowMessageIcon(std::string_view text, std::string_view caption, ql::Icon) {
  QMessageBox::warning(this, ToQString(caption), PathToQString(std::string(text)));
}

void HelpWindow::ShowStatus(std::string_view text) {
  ShowMessageIcon(text, ql::kAppTitle, ql::Icon::kWarning);
}

}  // namespace qlui

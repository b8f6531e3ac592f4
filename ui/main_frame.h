// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The main window: menus, tool bars, status bar, the subject list above the
// record view, and the desktop side of every command flow.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <memory>
#include <vector>

#include "desktop.h"
#include "dictionary_finder.h"
#include "document.h"
#include "find.h"
#include "fonts.h"
#include "index_queue.h"
#include "lasting_history.h"
#include "library.h"
#include "one_instance.h"
#include "recent_files.h"
#include "shelf.h"

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QTimer;
class QMenu;
class QPrinter;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolBar;

namespace ql {
class ShelfAnswers;
class RepaintPacer;
class ShelfSpelling;
class DictionaryImportJob;
}  // namespace ql

namespace qlui {

class CQuillaryView;
class CQuillaryHtmlView;
class CLookupLine;
class QuickPeeker;
class HistoryDialog;
class LibraryWindow;
class SearchAllBooksDialog;
class ThreadedSearchRunner;
struct FtsRow;
enum class Theme;
struct ActionRow;

class CMainFrame final : public QMainWindow, public ql::Desktop {
  Q_OBJECT
 public:
  explicit CMainFrame(ql::Document& doc, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Opens a book the way File Open does; false when none is open afterwards.
  bool OpenBook(const QString& path);
  // Start-up is over: resizes re-divide the panes, the menu follows the book.
  void SetInitialised();

  CQuillaryView* SubjectList() const { return iList; }
  CQuillaryHtmlView* RecordView() const { return iRecordView; }
  QSplitter* Splitter() const { return iSplitter; }
  QComboBox* FaceList() const { return iFaceList; }
  QComboBox* SizeList() const { return iSizeList; }
  QMenu* BookmarksMenu() const { return iBookmarksMenu; }
  // The tray's menu (made even where the desktop has no tray) and its icon
  // (null without a tray).
  QMenu* TrayMenu() const { return iTrayMenu; }
  QSystemTrayIcon* TrayIcon() const { return iTray; }
  // QuickPeek: the lookup window, modal, with text looked up at once. While
  // it is open it is brought to the front instead, text looked up in it.
  void OnQuickPeek(const QString& text = QString());
  QuickPeeker* Peeker() const { return iPeeker; }
  // What a start of Quillary asked for, here or handed over from another:
  // the books join the library's opened books and the first is opened
  // (unless openFirst is false: it is already), the word is looked up as
  // the lookup line would, the selection in QuickPeek; the window comes to
  // the front.
  void TakeRequest(const ql::InstanceRequest& request, bool openFirst = true);
  // Looks text up as if it were typed in the lookup line, as a step of its own.
  void LookUpWord(const QString& text);
  // Looks the selected text up in QuickPeek (the primary selection where the
  // desktop has one, else the clipboard); nothing selected, it opens empty.
  void PeekSelection(const ql::SelectionSource& source);
  const ql::FindState& Find() const { return iFind; }
  const ql::RecentFileList& RecentFiles() const { return iRecent; }
  const ql::PageFile& Page() const { return iDoc.Page(); }
  // Back and Forward over the lasting history, across books.
  void GoBack();
  void GoForward();
  // View > History: the steps newest first; choosing one goes there as a
  // step of its own.
  void OnHistory();
  HistoryDialog* HistoryList() const { return iHistoryDialog; }
  // Clear History: the steps and the file go, with no question.
  void ClearHistory();
  // Shows step: its book opened the way File Open does when another is on
  // show, then its subject as FindSubject finds it. retrace: Back or
  // Forward, which make no step.
  void GoToStep(const ql::HistoryEntry& step, bool retrace);
  // Writes the lasting history now when it changed.
  void SaveLastingHistory();
  QAction* BackAction() const { return iBackAction; }
  QAction* ForwardAction() const { return iForwardAction; }
  CLookupLine* LookupLine() const { return iLookup; }
  ThreadedSearchRunner* Searcher() const { return iSearcher; }
  const ql::FontChoice& Fonts() const { return iFonts; }
  // Zoom in, out or back to 100%, for the list and the page.
  void Zoom(ql::Zoom zoom);
  // Light, dark or the desktop's palette; remembered.
  void ChooseTheme(Theme theme);

  // The books the lookup line looks words up in, in library order; with
  // more than one, typing shows the page of sections and the "Found in" list.
  void SetShelfBooks(std::vector<ql::ShelfBook> books);
  ql::Shelf& BookShelf() { return *iShelf; }
  QListWidget* FoundIn() const { return iFoundIn; }
  // The sections of the lookup on show (empty while one record is shown).
  const ql::ShelfAnswers& Answers() const { return *iAnswers; }
  bool SectionsShown() const { return iSectionsShown; }
  // The library, as loaded at start and changed since (saved at each change).
  ql::Library& Library() { return iLibrary; }
  const std::string& LibraryFile() const { return iLibraryFile; }
  // View > Library: the window, made the first time.
  void ShowLibrary();
  LibraryWindow* LibraryView() const { return iLibraryWindow; }
  // The group drop-down beside the lookup line, and the group it shows.
  QComboBox* GroupList() const { return iGroupList; }
  std::string CurrentGroup() const;
  // Library > Find Dictionaries...: the question, then the imports in the
  // background. quiet: nothing is said when none are found.
  void FindDictionaries(bool quiet = false);
  // At the first start (no library file yet), after the window is shown.
  void OfferDictionariesAtFirstStart();
  // Where Find Dictionaries looks (the standard places unless set).
  void SetDictionaryRoots(ql::DictionaryRoots roots) { iDictionaryRoots = std::move(roots); }
  // Edit > Search All Books: the dialog, made the first time.
  void OnSearchAllBooks();
  SearchAllBooksDialog* SearchAll() const { return iSearchAll; }
  // Shows a hit of Search All Books: its book opened as File Open does when
  // another is on show, its entry with the hit's word marked as Find marks.
  void OpenSearchHit(const FtsRow& row);
  // The word indexes of the library's books, made in the background, and
  // the status bar's line of it.
  ql::BackgroundIndexer* Indexer() const { return iIndexer.get(); }
  QLabel* IndexingLabel() const { return iIndexLabel; }
  // The imports running in the background, or null.
  ql::DictionaryImportJob* DictionaryImport() const { return iImport.get(); }
  void StopDictionaryImport();

  // ql::Desktop: the desktop's services and the book view in this window
  void ShowMessage(std::string_view text, std::string_view caption) override;
  void ShowMessageIcon(std::string_view text, std::string_view caption, ql::Icon icon) override;
  ql::Answer Ask(std::string_view text, std::string_view caption, ql::Buttons buttons,
                 ql::Icon icon, bool owned) override;
  void ShowStatus(std::string_view text) override;
  std::optional<ql::ChosenFile> ChooseFile(const ql::FileDialogSpec& request) override;
  std::unique_ptr<ql::ProgressSink> StartProgress(int64_t maximum, bool owned) override;
  void WaitCursor(bool on) override;
  void EmptyList() override;
  void ShowStartPage() override;
  void DocumentOpened() override;
  void RebuildBookmarkMenu() override;
  int SelectionMark() override;
  void SelectRow(int index) override;
  void ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) override;
  void ShowPage(const std::string& path, bool scrollToFound) override;
  void SetListFont(std::string_view face, int pixelHeight) override;
  std::optional<int> ChooseBookmarkToRemove(const std::vector<ql::BookmarkItem>& items) override;
  bool EditFind(ql::FindDialogValues& values) override;
  bool EditPalmImport(ql::PalmImportValues& values) override;
  std::optional<int> ChooseHotSyncUser(const std::vector<std::string>& users) override;

 signals:
  // The library was changed (in the Library window, by an import).
  void libraryChanged();
  // Another group was chosen beside the lookup line.
  void groupChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Every menu item, toolbar button and key of the window, in menu order.
  std::vector<ActionRow> ActionTable();
  // The menus and the toolbar, from the table.
  void CreateMenus();
  // An item of the table (not a separator, submenu or the recent files).
  QAction* MakeAction(const ActionRow& row, QMenu* menu);
  void AddRecentFiles(QMenu* menu);
  void CreateToolBars();
  void CreateStatusBar();
  void CreateTray();
  void UpdateTitle();
  void UpdateLockIndicators();
  void UpdateRecentMenu();
  void LoadRecentFiles();
  void SaveRecentFiles();
  void OnFileOpen();
  void OnOpenRecent(int i);
  void OnPrint();
  void OnPrintSetup();
  void OnHelpContents();
  void OnAbout();
  void OnFontChanged();
  void LoadViewSettings();
  void OnLookedUp(int record, bool typing);
  void OnFollowLink(const std::string& address);
  void SwitchPane();
  void SplitEvenly();
  void SaveWindowSettings();
  void LoadLastingHistory();
  void RememberOpenedBooks(const std::vector<std::string>& books);
  void BringToFront();
  void UpdateHistoryActions();
  QPrinter& Printer();
  // Looking up across the group.
  QWidget* CreateLowerPane();
  QWidget* MakeFoundIn(QWidget* parent);  // the "Found in" list and its label
  void RefreshShelf();
  void LookUpEverywhere(const QString& text);
  void OnSection(uint64_t generation, ql::LookupSection section);
  void OnSectionsDone(uint64_t generation);
  void SectionsChanged();
  void PaintSections();
  void LeaveSections();
  void JumpToSection(int row);
  bool FollowLinkAcrossBooks(const std::string& address);
  int OpenBookOnShelf() const;
  void ShowShelfPage(const std::string& html, bool keepScroll);
  void OfferGroupSpellings(const QString& text);
  // The library and its group drop-down.
  void LoadLibrary();
  QWidget* MakeGroupList(QWidget* parent);
  void RefreshGroupList();
  void LibraryChanged();
  void GroupChanged();
  void PollDictionaryImport();
  // Tells the indexing which books the library has, and looks at it.
  void IndexLibrary();
  void PollIndexing();
  bool StopImportOnEscape(QObject* watched, QEvent* event);

  ql::Document& iDoc;
  ql::FindState iFind;
  ql::FontChoice iFonts;
  ql::RecentFileList iRecent;
  QSplitter* iSplitter = nullptr;
  CQuillaryView* iList = nullptr;
  CQuillaryHtmlView* iRecordView = nullptr;
  QToolBar* iToolBar = nullptr;
  QAction* iToolBarAction = nullptr;  // View > Toolbar
  QToolBar* iFontBar = nullptr;
  QComboBox* iFaceList = nullptr;
  QComboBox* iSizeList = nullptr;
  QMenu* iFileMenu = nullptr;
  QMenu* iBookmarksMenu = nullptr;
  QAction* iRecentPlaceholder = nullptr;
  QAction* iRecentActions[ql::kRecentFileCount] = {};
  QLabel* iReady = nullptr;
  QLabel* iLockLabels[3] = {};  // CAP, NUM, SCRL
  std::unique_ptr<QPrinter> iPrinter;
  bool iRetracing = false;  // a record shown by Back or Forward is no new step
  QAction* iBackAction = nullptr;
  QAction* iForwardAction = nullptr;
  ql::LastingHistory iLasting;
  QTimer* iHistorySave = nullptr;  // coalesces the writes of a changing history
  HistoryDialog* iHistoryDialog = nullptr;
  CLookupLine* iLookup = nullptr;
  ThreadedSearchRunner* iSearcher = nullptr;
  bool iLookupTyping = false;    // the record comes from typing in the lookup line
  bool iLookupStepOpen = false;  // the last history step was made by that typing
  QAction* iThemeActions[3] = {};
  QMenu* iTrayMenu = nullptr;
  QSystemTrayIcon* iTray = nullptr;
  QuickPeeker* iPeeker = nullptr;  // while QuickPeek is open
  bool iSplitDone = false;
  // The upper pane's share of the two, once the user moved the splitter (or
  // a share was stored); until then the panes split evenly.
  std::optional<double> iSplitShare;
  std::unique_ptr<ql::Shelf> iShelf;
  std::unique_ptr<ql::ShelfAnswers> iAnswers;
  std::unique_ptr<ql::RepaintPacer> iPacer;
  bool iSectionsDirty = false;  // sections came that the page on show lacks
  ql::PageFile iShelfPage{"qlshelf.htm"};
  QWidget* iFoundInPane = nullptr;  // the list under its label
  QListWidget* iFoundIn = nullptr;
  QTimer* iPaintTimer = nullptr;
  QElapsedTimer iClock;
  bool iSectionsShown = false;
  std::unique_ptr<ql::ShelfSpelling> iGroupSpelling;
  uint64_t iGroupSpellingSerial = 0;
  int iWaitDepth = 0;
  ql::Library iLibrary;
  std::string iLibraryFile;
  LibraryWindow* iLibraryWindow = nullptr;
  QComboBox* iGroupList = nullptr;
  std::optional<ql::DictionaryRoots> iDictionaryRoots;
  std::unique_ptr<ql::DictionaryImportJob> iImport;
  QTimer* iImportPoll = nullptr;
  QAction* iStopImportAction = nullptr;
  std::unique_ptr<ql::BackgroundIndexer> iIndexer;
  QTimer* iIndexPoll = nullptr;
  QLabel* iIndexLabel = nullptr;
  uint64_t iIndexSeen = 0;
  SearchAllBooksDialog* iSearchAll = nullptr;
};

}  // namespace qlui

// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "bookmarks.h"
#include "desktop_recent.h"
#include "dialogs.h"
#include "dictionary_offer.h"
#include "export_flow.h"
#include "history_dialog.h"
#include "install_aide.h"
#include "instance.h"
#include "library.h"
#include "library_search.h"
#include "library_window.h"
#include "links.h"
#include "local_files.h"
#include "lock_keys.h"
#include "lookup_line.h"
#include "make_flows.h"
#include "open_flow.h"
#include "qt_text.h"
#include "quick_peek.h"
#include "record_view.h"
#include "search_all_dialog.h"
#include "search_runner.h"
#include "settings.h"
#include "shelf_page.h"
#include "show_record.h"
#include "subject_list.h"
#include "subject_view.h"
#include "theme.h"

namespace qlui {

// Where an action stands: a menu of the bar, the theme menu inside View, or
// the window itself (keys without a menu item).
enum class Menu { kFile, kEdit, kBookmarks, kView, kTheme, kLibrary, kHelp, kWindow };

// One row of the window's actions. A row without text is a separator; one
// with recentFiles is where the recent files stand; one with a submenu opens
// that menu there. The others are items: run when chosen, or toggle for an
// item checked at first and told each change.
struct ActionRow {
  Menu menu;
  const char* text = nullptr;  // with its mnemonic
  QList<QKeySequence> keys = {};
  const char* tip = nullptr;  // the status bar's tip
  QIcon icon = {};
  const char* themeIcon = nullptr;  // the desktop theme's icon, taken once the window shows
  const char* name = nullptr;       // the object name
  int toolGroup = 0;                // on the toolbar, in this group (1 first); 0 not
  std::optional<Menu> submenu = std::nullopt;
  bool recentFiles = false;
  bool choice = false;  // one of the menu's checkable choices
  std::function<void()> run = {};
  std::function<void(bool)> toggle = {};
  QAction** keep = nullptr;  // where the frame keeps the action
};

namespace {

// How long after start the first look at the library's indexes waits.
constexpr int kIndexingDelayMs = 2000;

// "Name (*.a)|*.a|Other (*.b)|*.b||" as Qt's name filters: the names, which
// carry their patterns in brackets.
QStringList NameFilters(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList names;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    names << parts[i];
  }
  return names;
}

// The font sizes' names (ql::kFontSizes), for the catalogue.
[[maybe_unused]] constexpr const char* kFontSizeNames[] = {
    QT_TRANSLATE_NOOP("qlui::CMainFrame", "Small"), QT_TRANSLATE_NOOP("qlui::CMainFrame", "Medium"),
    QT_TRANSLATE_NOOP("qlui::CMainFrame", "Large")};

// Our own keys first, then the desktop's for the same command, each once.
QList<QKeySequence> WithStandard(QList<QKeySequence> keys, QKeySequence::StandardKey standard) {
  for (const QKeySequence& key : QKeySequence::keyBindings(standard))
    if (!key.isEmpty() && !keys.contains(key)) keys.append(key);
  return keys;
}

QMessageBox::Icon ToQtIcon(ql::Icon icon) {
  switch (icon) {
    case ql::Icon::kQuestion:
      return QMessageBox::Question;
    case ql::Icon::kInformation:
      return QMessageBox::Information;
    case ql::Icon::kWarning:
      return QMessageBox::Warning;
    case ql::Icon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

// The desktop theme's icons, looked up after the window is shown: the
// lookup walks the installed themes file by file, which start-up need not
// wait for. Until then the actions carry our own icons.
struct ThemedAction {
  QAction* action;
  const char* themeName;
};

// The menus along the bar, in order; the theme menu hangs in the View menu.
struct MenuTitle {
  Menu menu;
  const char* text;
};
constexpr MenuTitle kMenuBar[] = {
    {Menu::kFile, QT_TRANSLATE_NOOP("qlui::CMainFrame", "&File")},
    {Menu::kEdit, QT_TRANSLATE_NOOP("qlui::CMainFrame", "&Edit")},
    {Menu::kBookmarks, QT_TRANSLATE_NOOP("qlui::CMainFrame", "&Bookmarks")},
    {Menu::kView, QT_TRANSLATE_NOOP("qlui::CMainFrame", "&View")},
    {Menu::kLibrary, QT_TRANSLATE_NOOP("qlui::CMainFrame", "&Library")},
    {Menu::kHelp, QT_TRANSLATE_NOOP("qlui::CMainFrame", "&Help")}};
constexpr size_t kMenuCount = static_cast<size_t>(Menu::kWindow) + 1;

// The manual: beside the build's programs, else where the install put it.
QString ManualPath() {
  const QString bin = QCoreApplication::applicationDirPath();
  const QStringList candidates = {
      bin + QStringLiteral("/../manual.ql"),
      bin + QStringLiteral("/../share/quillary/manual.ql"),
      QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                             QStringLiteral("quillary/manual.ql")),
  };
  for (const QString& path : candidates)
    if (!path.isEmpty() && QFileInfo(path).isFile()) return QFileInfo(path).canonicalFilePath();
  return {};
}

}  // namespace

CMainFrame::CMainFrame(ql::Document& doc, QWidget* parent) : QMainWindow(parent), iDoc(doc) {
  setObjectName(QStringLiteral("mainFrame"));
  setAccessibleName(QStringLiteral("Quillary"));
  iSplitter = new QSplitter(Qt::Vertical, this);
  iSplitter->setObjectName(QStringLiteral("splitter"));
  iSplitter->setChildrenCollapsible(true);
  // The upper pane: the lookup line over the subject list.
  auto* upper = new QWidget(iSplitter);
  upper->setObjectName(QStringLiteral("subjectPane"));
  iLookup = new CLookupLine(iDoc, upper);
  LoadLibrary();
  QWidget* lookupRow = MakeGroupList(upper);
  iList = new CQuillaryView(
      iDoc, [this](int index) { ShowRecord(index, -1, -1, false); }, upper);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(0, 0, 0, 0);
  upperLayout->setSpacing(2);
  upperLayout->addWidget(lookupRow);
  upperLayout->addWidget(iList, 1);
  connect(iLookup, &CLookupLine::lookedUp, this, &CMainFrame::OnLookedUp);
  connect(iLookup, &QLineEdit::textEdited, this, &CMainFrame::LookUpEverywhere);
  connect(iLookup, &CLookupLine::leaveToList, this,
          [this] { iList->setFocus(Qt::OtherFocusReason); });
  iSplitter->addWidget(upper);
  iSplitter->addWidget(CreateLowerPane());
  setCentralWidget(iSplitter);

  iSearcher = new ThreadedSearchRunner(
      [this](const QString& text) {
        if (text.isEmpty())
          statusBar()->clearMessage();
        else
          statusBar()->showMessage(text);
      },
      this);
  CreateMenus();
  CreateToolBars();
  CreateStatusBar();
  CreateTray();
  LoadLastingHistory();
  iStopImportAction->setEnabled(false);
  setAcceptDrops(true);

  // The start values: Arial at Medium and 100% for the list and the page
  // alike, unless the user chose otherwise before.
  LoadViewSettings();

  LoadRecentFiles();
  iList->InitialUpdate();
  UpdateTitle();
  // The size and place the window had when it was last closed.
  if (!restoreGeometry(Settings::WindowGeometry())) resize(900, 700);
  iSplitShare = Settings::SplitShare();
  connect(iSplitter, &QSplitter::splitterMoved, this, [this] {
    const QList<int> sizes = iSplitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (total > 0) iSplitShare = static_cast<double>(sizes.value(0)) / total;
  });
  RefreshShelf();
  iIndexer = std::make_unique<ql::BackgroundIndexer>();
  iIndexPoll = new QTimer(this);
  iIndexPoll->setInterval(200);
  connect(iIndexPoll, &QTimer::timeout, this, &CMainFrame::PollIndexing);
  // A while after the window is up: neither start-up nor the first lookups
  // share the disk and the cores with the first look at the indexes.
  QTimer::singleShot(kIndexingDelayMs, this, &CMainFrame::IndexLibrary);
}

CMainFrame::~CMainFrame() {
  // A build under way stops at once; its runs are kept for the next start.
  iIndexer.reset();
  // No answer of the shelf's workers comes after this.
  iGroupSpelling.reset();
  iShelf.reset();
  // A search still running ends with the window, while the window can still
  // take back the wait cursor the search holds.
  delete iSearcher;
  iSearcher = nullptr;
  // An import still running stops; the book it was writing is dropped.
  iImport.reset();
}

std::vector<ActionRow> CMainFrame::ActionTable() {
  const QIcon back = style()->standardIcon(QStyle::SP_ArrowBack);
  const QIcon forward = style()->standardIcon(QStyle::SP_ArrowForward);
  return {
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("&Open..."),
       .keys = {Qt::CTRL | Qt::Key_O},
       .tip = QT_TR_NOOP("Open a book"),
       .icon = QIcon(QStringLiteral(":/open.png")),
       .themeIcon = "document-open",
       .name = "actionOpen",
       .toolGroup = 2,
       .run = [this] { OnFileOpen(); }},
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("Import..."),
       .tip = QT_TR_NOOP("Make a book from tagged or tab-separated text"),
       .run = [this] { ql::RunImport(iDoc, *this); }},
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("Export to Palm..."),
       .tip = QT_TR_NOOP("Write the book as a handheld database"),
       .run =
           [this] {
             const std::unique_ptr<ql::InstallAide> aide = ql::MakeInstallAide();
             ql::RunExportToHandheld(iDoc, *this, *aide);
           }},
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("Upgrade..."),
       .tip = QT_TR_NOOP("Write an older-format book as a new book"),
       .run = [this] { ql::RunUpgradeCommand(iDoc, *this); }},
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("Export as Text..."),
       .tip = QT_TR_NOOP("Write the book as tab-separated tagged text"),
       .run = [this] { ql::RunTextExport(iDoc, *this); }},
      {.menu = Menu::kFile},
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("&Print..."),
       .keys = {Qt::CTRL | Qt::Key_P},
       .tip = QT_TR_NOOP("Print the record on show"),
       .icon = QIcon(QStringLiteral(":/print.png")),
       .themeIcon = "document-print",
       .name = "actionPrint",
       .toolGroup = 3,
       .run = [this] { OnPrint(); }},
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("P&rint Setup..."),
       .tip = QT_TR_NOOP("Choose the printer and the page"),
       .run = [this] { OnPrintSetup(); }},
      {.menu = Menu::kFile},
      {.menu = Menu::kFile, .recentFiles = true},
      {.menu = Menu::kFile},
      {.menu = Menu::kFile,
       .text = QT_TR_NOOP("E&xit"),
       .keys = WithStandard({}, QKeySequence::Quit),
       .tip = QT_TR_NOOP("Quit Quillary"),
       .run = [this] { close(); }},

      {.menu = Menu::kEdit,
       .text = QT_TR_NOOP("&Find..."),
       .keys = {Qt::CTRL | Qt::Key_F},
       .tip = QT_TR_NOOP("Search the book for up to three terms"),
       .run = [this] { ql::RunFind(iDoc, *this, iFind, *iSearcher); }},
      {.menu = Menu::kEdit,
       .text = QT_TR_NOOP("&Look Up"),
       .keys = {Qt::CTRL | Qt::Key_L},
       .tip = QT_TR_NOOP("Type the start of a subject to show it"),
       .run =
           [this] {
             iLookup->setFocus(Qt::ShortcutFocusReason);
             iLookup->selectAll();
           }},
      {.menu = Menu::kEdit,
       .text = QT_TR_NOOP("Find Next"),
       .keys = WithStandard({Qt::Key_F3}, QKeySequence::FindNext),
       .tip = QT_TR_NOOP("Find the next match"),
       .run = [this] { ql::RunFindNext(iDoc, *this, iFind, *iSearcher); }},
      {.menu = Menu::kEdit,
       .text = QT_TR_NOOP("Search &All Books..."),
       .keys = {Qt::CTRL | Qt::SHIFT | Qt::Key_F},
       .tip = QT_TR_NOOP("Search the text of every entry of the books for words"),
       .run = [this] { OnSearchAllBooks(); }},

      // The book's bookmarks follow the separator.
      {.menu = Menu::kBookmarks,
       .text = QT_TR_NOOP("New bookmark"),
       .run = [this] { ql::NewBookmark(iDoc, *this); }},
      {.menu = Menu::kBookmarks,
       .text = QT_TR_NOOP("Remove bookmark..."),
       .run = [this] { ql::RemoveBookmark(iDoc, *this); }},
      {.menu = Menu::kBookmarks},

      {.menu = Menu::kView,
       .text = QT_TR_NOOP("&Back"),
       .keys = {Qt::ALT | Qt::Key_Left},
       .tip = QT_TR_NOOP("Show the record shown before"),
       .icon = back,
       .toolGroup = 1,
       .run = [this] { GoBack(); },
       .keep = &iBackAction},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("&Forward"),
       .keys = {Qt::ALT | Qt::Key_Right},
       .tip = QT_TR_NOOP("Show the record shown after"),
       .icon = forward,
       .toolGroup = 1,
       .run = [this] { GoForward(); },
       .keep = &iForwardAction},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("&History..."),
       .keys = {Qt::CTRL | Qt::Key_H},
       .tip = QT_TR_NOOP("List the records shown, newest first"),
       .run = [this] { OnHistory(); }},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("Clear History"),
       .tip = QT_TR_NOOP("Forget the records shown"),
       .run = [this] { ClearHistory(); }},
      {.menu = Menu::kView},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("Zoom &In"),
       .keys =
           WithStandard({Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal}, QKeySequence::ZoomIn),
       .tip = QT_TR_NOOP("Make the list and the page larger"),
       .run = [this] { Zoom(ql::Zoom::kIn); }},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("Zoom &Out"),
       .keys = WithStandard({Qt::CTRL | Qt::Key_Minus}, QKeySequence::ZoomOut),
       .tip = QT_TR_NOOP("Make the list and the page smaller"),
       .run = [this] { Zoom(ql::Zoom::kOut); }},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("&Actual Size"),
       .keys = {Qt::CTRL | Qt::Key_0},
       .tip = QT_TR_NOOP("Show the list and the page at 100%"),
       .run = [this] { Zoom(ql::Zoom::kReset); }},
      {.menu = Menu::kView, .text = QT_TR_NOOP("T&heme"), .submenu = Menu::kTheme},
      // One of the three, in the order of Theme.
      {.menu = Menu::kTheme,
       .text = QT_TR_NOOP("Follow the &Desktop"),
       .choice = true,
       .run = [this] { ChooseTheme(Theme::kDesktop); },
       .keep = &iThemeActions[static_cast<int>(Theme::kDesktop)]},
      {.menu = Menu::kTheme,
       .text = QT_TR_NOOP("&Light"),
       .choice = true,
       .run = [this] { ChooseTheme(Theme::kLight); },
       .keep = &iThemeActions[static_cast<int>(Theme::kLight)]},
      {.menu = Menu::kTheme,
       .text = QT_TR_NOOP("Dar&k"),
       .choice = true,
       .run = [this] { ChooseTheme(Theme::kDark); },
       .keep = &iThemeActions[static_cast<int>(Theme::kDark)]},
      {.menu = Menu::kView},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("&Toolbar"),
       .toggle = [this](bool on) { iToolBar->setVisible(on); },
       .keep = &iToolBarAction},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("&Status Bar"),
       .toggle = [this](bool on) { statusBar()->setVisible(on); }},
      {.menu = Menu::kView},
      {.menu = Menu::kView,
       .text = QT_TR_NOOP("&Library..."),
       .keys = {Qt::CTRL | Qt::SHIFT | Qt::Key_L},
       .tip = QT_TR_NOOP("List the books of the library, their folders and groups"),
       .run = [this] { ShowLibrary(); }},

      {.menu = Menu::kLibrary,
       .text = QT_TR_NOOP("Find &Dictionaries..."),
       .tip = QT_TR_NOOP("Add the dictionaries already on this computer to the library"),
       .run = [this] { FindDictionaries(); }},
      {.menu = Menu::kLibrary,
       .text = QT_TR_NOOP("&Stop Importing"),
       .tip = QT_TR_NOOP("Stop importing dictionaries (Esc)"),
       .run = [this] { StopDictionaryImport(); },
       .keep = &iStopImportAction},

      {.menu = Menu::kHelp,
       .text = QT_TR_NOOP("Contents..."),
       .keys = WithStandard({}, QKeySequence::HelpContents),
       .tip = QT_TR_NOOP("Read the manual"),
       .run = [this] { OnHelpContents(); }},
      {.menu = Menu::kHelp,
       .text = QT_TR_NOOP("&About Quillary..."),
       .icon = QIcon(QStringLiteral(":/about-icon.png")),
       .themeIcon = "help-about",
       .name = "actionAbout",
       .toolGroup = 4,
       .run = [this] { OnAbout(); }},

      // F6 and Shift+F6 move between the two panes.
      {.menu = Menu::kWindow,
       .text = QT_TR_NOOP("Next pane"),
       .keys = {Qt::Key_F6},
       .run = [this] { SwitchPane(); }},
      {.menu = Menu::kWindow,
       .text = QT_TR_NOOP("Previous pane"),
       .keys = {Qt::SHIFT | Qt::Key_F6},
       .run = [this] { SwitchPane(); }},
      // The desktop's key for closing a window closes this one.
      {.menu = Menu::kWindow,
       .text = QT_TR_NOOP("Close"),
       .keys = WithStandard({}, QKeySequence::Close),
       .run = [this] { close(); }},
  };
}

QAction* CMainFrame::MakeAction(const ActionRow& row, QMenu* menu) {
  const QString text = tr(row.text);
  QAction* action = nullptr;
  if (row.menu == Menu::kWindow) {
    action = new QAction(text, this);
    addAction(action);
  } else {
    action = menu->addAction(row.icon, text);
  }
  if (!row.keys.isEmpty()) action->setShortcuts(row.keys);
  if (row.tip) action->setStatusTip(tr(row.tip));
  if (row.name) action->setObjectName(QLatin1String(row.name));
  if (row.toggle) {
    action->setCheckable(true);
    action->setChecked(true);
    connect(action, &QAction::toggled, this, row.toggle);
  } else {
    connect(action, &QAction::triggered, this, row.run);
  }
  if (row.keep) *row.keep = action;
  return action;
}

void CMainFrame::AddRecentFiles(QMenu* menu) {
  iRecentPlaceholder = menu->addAction(tr("Recent File"));
  iRecentPlaceholder->setEnabled(false);
  for (int i = 0; i < ql::kRecentFileCount; ++i) {
    iRecentActions[i] = menu->addAction(QString(), this, [this, i] { OnOpenRecent(i); });
    iRecentActions[i]->setVisible(false);
  }
}

void CMainFrame::CreateMenus() {
  std::array<QMenu*, kMenuCount> menus = {};
  for (const MenuTitle& title : kMenuBar)
    menus[static_cast<size_t>(title.menu)] = menuBar()->addMenu(tr(title.text));
  iFileMenu = menus[static_cast<size_t>(Menu::kFile)];
  iBookmarksMenu = menus[static_cast<size_t>(Menu::kBookmarks)];
  std::array<QActionGroup*, kMenuCount> choices = {};
  std::vector<std::pair<int, QAction*>> tools;
  std::vector<ThemedAction> themed;

  for (const ActionRow& row : ActionTable()) {
    QMenu* menu = menus[static_cast<size_t>(row.menu)];
    if (row.recentFiles) {
      AddRecentFiles(menu);
    } else if (!row.text) {
      menu->addSeparator();
    } else if (row.submenu) {
      menus[static_cast<size_t>(*row.submenu)] = menu->addMenu(tr(row.text));
    } else {
      QAction* action = MakeAction(row, menu);
      if (row.choice) {
        QActionGroup*& group = choices[static_cast<size_t>(row.menu)];
        if (!group) group = new QActionGroup(this);
        action->setCheckable(true);
        group->addAction(action);
      }
      if (row.themeIcon) themed.push_back({action, row.themeIcon});
      if (row.toolGroup) tools.emplace_back(row.toolGroup, action);
    }
  }

  // The toolbar: its groups in order, each in menu order, separated.
  iToolBar = new QToolBar(tr("Toolbar"), this);
  iToolBar->setObjectName(QStringLiteral("toolBar"));
  iToolBar->setAccessibleName(tr("Toolbar"));
  std::stable_sort(tools.begin(), tools.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < tools.size(); ++i) {
    if (i > 0 && tools[i].first != tools[i - 1].first) iToolBar->addSeparator();
    iToolBar->addAction(tools[i].second);
  }
  connect(iToolBar, &QToolBar::visibilityChanged, iToolBarAction, &QAction::setChecked);

  QTimer::singleShot(0, this, [this, themed] {
    // Its icon comes from the theme as well.
    iLookup->setClearButtonEnabled(true);
    for (const ThemedAction& item : themed) {
      const QIcon icon = QIcon::fromTheme(QLatin1String(item.themeName));
      if (!icon.isNull()) item.action->setIcon(icon);
    }
  });
}

void CMainFrame::CreateToolBars() {
  iToolBar->setIconSize(QSize(16, 16));
  addToolBar(Qt::TopToolBarArea, iToolBar);
  iFontBar = new QToolBar(tr("Font bar"), this);
  iFontBar->setObjectName(QStringLiteral("fontBar"));
  iFontBar->setAccessibleName(tr("Font bar"));
  auto* faceLabel = new QLabel(tr("Font:"), iFontBar);
  iFaceList = new QComboBox(iFontBar);
  iFaceList->setAccessibleName(tr("Font"));
  for (std::string_view face : ql::kFontFaces) iFaceList->addItem(ToQString(face));
  faceLabel->setBuddy(iFaceList);
  auto* sizeLabel = new QLabel(tr("Size:"), iFontBar);
  iSizeList = new QComboBox(iFontBar);
  iSizeList->setAccessibleName(tr("Size"));
  // The sizes by their names in the user's language; the choice is kept by
  // its place in the list.
  for (std::string_view size : ql::kFontSizes) iSizeList->addItem(tr(std::string(size).c_str()));
  sizeLabel->setBuddy(iSizeList);
  faceLabel->setContentsMargins(4, 0, 4, 0);
  sizeLabel->setContentsMargins(10, 0, 4, 0);
  iFontBar->addWidget(faceLabel);
  iFontBar->addWidget(iFaceList);
  iFontBar->addWidget(sizeLabel);
  iFontBar->addWidget(iSizeList);
  addToolBar(Qt::TopToolBarArea, iFontBar);
  // activated, not currentIndexChanged: choosing the size already selected
  // still makes the font again and shows the record again.
  connect(iFaceList, &QComboBox::activated, this, [this](int) { OnFontChanged(); });
  connect(iSizeList, &QComboBox::activated, this, [this](int) { OnFontChanged(); });
}

void CMainFrame::CreateStatusBar() {
  iReady = new QLabel(tr("Ready"), this);
  iReady->setAccessibleName(tr("Status"));
  statusBar()->addWidget(iReady, 1);
  statusBar()->setAccessibleName(tr("Status bar"));
  // The background indexing's line, small, there only while a book is built.
  iIndexLabel = new QLabel(this);
  iIndexLabel->setObjectName(QStringLiteral("indexingStatus"));
  iIndexLabel->setAccessibleName(tr("Indexing"));
  QFont small = iIndexLabel->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  iIndexLabel->setFont(small);
  iIndexLabel->hide();
  statusBar()->addPermanentWidget(iIndexLabel);
  const QString names[] = {tr("CAP"), tr("NUM"), tr("SCRL")};
  for (int i = 0; i < 3; ++i) {
    iLockLabels[i] = new QLabel(names[i], this);
    iLockLabels[i]->setAccessibleName(names[i]);
    iLockLabels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addPermanentWidget(iLockLabels[i]);
  }
  UpdateLockIndicators();
  // The lock keys change with key presses anywhere in the program.
  qApp->installEventFilter(this);
}

void CMainFrame::UpdateLockIndicators() {
  const std::optional<ql::LockStates> states = ql::ReadLockStates();
  const bool on[] = {states && states->caps, states && states->num, states && states->scroll};
  for (int i = 0; i < 3; ++i) {
    iLockLabels[i]->setVisible(states.has_value());
    // As on a keyboard: the name shows while the lock is on.
    iLockLabels[i]->setEnabled(on[i]);
  }
}

void CMainFrame::GoBack() {
  if (const std::optional<ql::HistoryEntry> step = iDoc.History().Back()) GoToStep(*step, true);
  UpdateHistoryActions();
}

void CMainFrame::GoForward() {
  if (const std::optional<ql::HistoryEntry> step = iDoc.History().Forward()) GoToStep(*step, true);
  UpdateHistoryActions();
}

void CMainFrame::GoToStep(const ql::HistoryEntry& step, bool retrace) {
  iRetracing = retrace;
  iLookupStepOpen = false;
  if (step.path.empty()) {
    // A lookup over the group: the lookup line looks it up again.
    iLookup->LookUp(LenientToQString(step.subject));
  } else {
    const ql::StepTarget target = ql::FindStep(
        iDoc, step, [this](const std::string& path) { return OpenBook(PathToQString(path)); });
    if (target.found == ql::StepFound::kFound) {
      ShowRecord(target.index, -1, -1, false);
      SelectRow(target.index);
    } else if (target.found == ql::StepFound::kGone) {
      statusBar()->showMessage(tr("\u201c%1\u201d is no longer in %2")
                                   .arg(ToQString(step.subject, ql::FormOf(iDoc.Reader())),
                                        PathToQString(iDoc.Title())));
    }
  }
  iRetracing = false;
  iLookupStepOpen = false;
  UpdateHistoryActions();
}

void CMainFrame::LoadLastingHistory() {
  iLasting.Load(iDoc.History());
  iHistorySave = new QTimer(this);
  iHistorySave->setSingleShot(true);
  iHistorySave->setInterval(2000);
  connect(iHistorySave, &QTimer::timeout, this, &CMainFrame::SaveLastingHistory);
  UpdateHistoryActions();
}

void CMainFrame::SaveLastingHistory() {
  if (iHistorySave) iHistorySave->stop();
  std::string reason;
  // Not worth a message: the history stays in memory and the next change
  // tries again.
  if (!iLasting.Save(iDoc.History(), reason))
    statusBar()->showMessage(tr("The history was not saved: %1").arg(PathToQString(reason)));
}

void CMainFrame::OnHistory() {
  if (!iHistoryDialog)
    iHistoryDialog =
        new HistoryDialog([this](const ql::HistoryEntry& step) { GoToStep(step, false); }, this);
  iHistoryDialog->Fill(iDoc.History());
  iHistoryDialog->show();
  iHistoryDialog->raise();
  iHistoryDialog->activateWindow();
}

void CMainFrame::ClearHistory() {
  iDoc.History().Clear();
  iLookupStepOpen = false;
  SaveLastingHistory();
  UpdateHistoryActions();
}

void CMainFrame::UpdateHistoryActions() {
  iBackAction->setEnabled(iDoc.History().CanGoBack());
  iForwardAction->setEnabled(iDoc.History().CanGoForward());
  if (iHistoryDialog && iHistoryDialog->isVisible()) iHistoryDialog->Fill(iDoc.History());
  if (iHistorySave && iLasting.Unsaved(iDoc.History()) && !iHistorySave->isActive())
    iHistorySave->start();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  // The mouse's back and forward buttons, anywhere in this window.
  if (event->type() == QEvent::MouseButtonPress) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
    if (widget && widget->window() == this &&
        (button == Qt::BackButton || button == Qt::ForwardButton)) {
      if (button == Qt::BackButton)
        GoBack();
      else
        GoForward();
      return true;
    }
  }
  // Esc stops a search, wherever the focus is in this window.
  if (event->type() == QEvent::KeyPress && iSearcher && iSearcher->Running() &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
      iSearcher->Cancel();
      return true;
    }
  }
  if (StopImportOnEscape(watched, event)) return true;
  // Ctrl with the wheel zooms, over the list and the page alike.
  if (event->type() == QEvent::Wheel) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const auto* wheel = static_cast<QWheelEvent*>(event);
    if (widget && widget->window() == this && (wheel->modifiers() & Qt::ControlModifier) &&
        wheel->angleDelta().y() != 0) {
      Zoom(wheel->angleDelta().y() > 0 ? ql::Zoom::kIn : ql::Zoom::kOut);
      return true;
    }
  }
  if (event->type() == QEvent::KeyRelease &&
      (static_cast<QKeyEvent*>(event)->key() == Qt::Key_CapsLock ||
       static_cast<QKeyEvent*>(event)->key() == Qt::Key_NumLock ||
       static_cast<QKeyEvent*>(event)->key() == Qt::Key_ScrollLock))
    UpdateLockIndicators();
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::CreateTray() {
  iTrayMenu = new QMenu(tr("QuickPeek"), this);
  QAction* peek = iTrayMenu->addAction(tr("QuickPeek"), this, [this] { OnQuickPeek(); });
  iTrayMenu->addAction(tr("QuickPeek Clipboard"), this, [this] {
    // The clipboard's first line is the word to look up.
    OnQuickPeek(QString::fromStdString(
        ql::FirstLineToLookUp(QGuiApplication::clipboard()->text().toStdString())));
  });
  iTrayMenu->addAction(QStringLiteral("Quillary"), this, [this] { BringToFront(); });
  iTrayMenu->addAction(tr("Close"), this, [this] {
    if (iTray) iTray->hide();
  });
  iTrayMenu->setDefaultAction(peek);
  // Without a tray the entry point cannot be reached, so no icon is made.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  iTray = new QSystemTrayIcon(QIcon(QStringLiteral(":/quillary.png")), this);
  iTray->setToolTip(tr("Quillary QuickPeek"));
  iTray->setContextMenu(iTrayMenu);
  connect(iTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    // Desktops of the current tray protocol send one activate, never a
    // double-click; where both come, the second finds QuickPeek open.
    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) OnQuickPeek();
  });
  iTray->show();
}

void CMainFrame::OnQuickPeek(const QString& text) {
  if (iPeeker) {
    if (!text.isEmpty()) iPeeker->LookUp(text);
    iPeeker->raise();
    iPeeker->activateWindow();
    return;
  }
  QuickPeeker peeker(iDoc, this, iShelf.get());
  iPeeker = &peeker;
  if (!text.isEmpty()) peeker.LookUp(text);
  peeker.exec();
  iPeeker = nullptr;
}

void CMainFrame::TakeRequest(const ql::InstanceRequest& request, bool openFirst) {
  BringToFront();
  if (!request.books.empty()) {
    RememberOpenedBooks(request.books);
    // A book that fails is told as File Open tells it.
    if (openFirst) OpenBook(PathToQString(request.books.front()));
  }
  if (request.lookup) LookUpWord(QString::fromStdString(*request.lookup));
  if (request.lookupSelection) PeekSelection(QtSelectionSource());
}

void CMainFrame::LookUpWord(const QString& text) {
  iLookupStepOpen = false;
  iLookup->LookUp(text);
  LookUpEverywhere(text);
}

void CMainFrame::PeekSelection(const ql::SelectionSource& source) {
  OnQuickPeek(QString::fromStdString(ql::TextToLookUp(source)));
}

void CMainFrame::RememberOpenedBooks(const std::vector<std::string>& books) {
  for (const std::string& book : books) iLibrary.AddOpened(book);
  std::string reason;
  if (!iLibrary.Save(iLibraryFile, reason))
    statusBar()->showMessage(tr("The library was not saved: %1").arg(PathToQString(reason)));
  if (iLibraryWindow) iLibraryWindow->Reload();
  LibraryChanged();
}

void CMainFrame::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void CMainFrame::SetInitialised() {
  iDoc.SetInitialised();
  iList->SetInitialised(true);
  ql::RebuildBookmarkMenu(iDoc, *this);
}

bool CMainFrame::OpenBook(const QString& path) {
  // The recent-file list and the title keep the whole path, wherever the
  // program was started.
  const QString absolute = path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
  const bool ok = ql::OpenDocument(iDoc, *this, PathFromQString(absolute));
  UpdateTitle();
  return ok;
}

void CMainFrame::UpdateTitle() {
  // Without a book the title is the program's own text, in the user's language.
  setWindowTitle(iDoc.IsOpen() ? PathToQString(iDoc.WindowTitle()) : tr("Untitled - Quillary"));
}

void CMainFrame::OnFileOpen() {
  QFileDialog dialog(this, tr("Open"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({tr("Quillary Files (*.ql)"), tr("All Files (*)")});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  OpenBook(dialog.selectedFiles().front());
}

void CMainFrame::OnOpenRecent(int i) {
  const auto& paths = iRecent.Paths();
  if (i < 0 || static_cast<size_t>(i) >= paths.size()) return;
  const std::string path = paths[static_cast<size_t>(i)];
  if (!OpenBook(PathToQString(path))) {
    // A book that is gone or broken leaves the list.
    iRecent.Remove(path);
    UpdateRecentMenu();
    SaveRecentFiles();
  }
}

void CMainFrame::LoadRecentFiles() {
  iRecent.SetPaths(Settings::RecentFiles());
  UpdateRecentMenu();
}

void CMainFrame::SaveRecentFiles() {
  Settings::SetRecentFiles(iRecent.Paths());
}

void CMainFrame::UpdateRecentMenu() {
  const auto& paths = iRecent.Paths();
  for (int i = 0; i < ql::kRecentFileCount; ++i) {
    const bool used = static_cast<size_t>(i) < paths.size();
    iRecentActions[i]->setVisible(used);
    if (used)
      iRecentActions[i]->setText(
          PathToQString(ql::RecentFileList::MenuLabel(i, paths[static_cast<size_t>(i)])));
  }
  iRecentPlaceholder->setVisible(paths.empty());
}

QPrinter& CMainFrame::Printer() {
  if (!iPrinter) iPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *iPrinter;
}

void CMainFrame::OnPrint() {
  QPrintDialog dialog(&Printer(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  iRecordView->document()->print(&Printer());
}

void CMainFrame::OnPrintSetup() {
  QPageSetupDialog dialog(&Printer(), this);
  dialog.exec();
}

void CMainFrame::OnHelpContents() {
  const QString path = ManualPath();
  if (path.isEmpty()) {
    ShowMessage(tr("The manual (manual.ql) is not installed beside the program.").toStdString(),
                ql::kAppTitle);
    return;
  }
  auto* help = new HelpWindow(this);
  help->setAttribute(Qt::WA_DeleteOnClose);
  std::string reason;
  if (!help->OpenManual(PathFromQString(path), reason)) {
    delete help;
    ShowMessage(PathFromQString(path) + ": " + reason, ql::kAppTitle);
    return;
  }
  help->show();
}

void CMainFrame::OnAbout() {
  AboutDialog about(this);
  about.exec();
}

void CMainFrame::OnFontChanged() {
  const ql::FontChoice before = iFonts;
  ql::ChangeFont(iDoc, *this, iFonts, iFaceList->currentIndex(), iSizeList->currentIndex());
  // Only what the user changed is remembered.
  if (iFonts.iFontFaceIndex != before.iFontFaceIndex)
    Settings::SetFace(ql::kFontFaces[static_cast<size_t>(iFonts.iFontFaceIndex)]);
  if (iFonts.iFontSizeIndex != before.iFontSizeIndex)
    Settings::SetSize(ql::kFontSizes[static_cast<size_t>(iFonts.iFontSizeIndex)]);
}

void CMainFrame::Zoom(ql::Zoom zoom) {
  if (!ql::ChangeZoom(*this, iFonts, zoom)) return;
  const int percent = ql::ZoomPercent(iFonts);
  iRecordView->SetZoom(percent);
  Settings::SetZoom(percent);
  ShowStatus(tr("Zoom %1%").arg(percent).toStdString());
}

void CMainFrame::ChooseTheme(Theme theme) {
  ApplyTheme(theme);
  for (QAction* action : iThemeActions)
    action->setChecked(action == iThemeActions[static_cast<int>(theme)]);
  Settings::SetTheme(theme);
}

void CMainFrame::LoadViewSettings() {
  const ql::FontChoice restored = ql::RestoreFontChoice(Settings::Fonts());
  const Theme theme = Settings::StoredTheme();
  iFonts.iZoomStep = restored.iZoomStep;
  iFaceList->setCurrentIndex(restored.iFontFaceIndex);
  iSizeList->setCurrentIndex(restored.iFontSizeIndex);
  // Sets the list font and the reader's page font.
  ql::ChangeFont(iDoc, *this, iFonts, restored.iFontFaceIndex, restored.iFontSizeIndex);
  iRecordView->SetZoom(ql::ZoomPercent(iFonts));
  if (theme != Theme::kDesktop) ApplyTheme(theme);
  iThemeActions[static_cast<int>(theme)]->setChecked(true);
}

void CMainFrame::OnLookedUp(int record, bool typing) {
  if (!iDoc.IsOpen() || record < 0 || record >= iDoc.RowCount()) return;
  // Enter on the word whose page of sections is on show (or coming): the
  // page is the answer and stays; the lookup's step is done.
  if (!typing && record == iList->SelectionMark() && iAnswers && iAnswers->Generation() != 0) {
    iLookupStepOpen = false;
    return;
  }
  iLookupTyping = typing;
  ShowRecord(record, -1, -1, false);
  SelectRow(record);
  iLookupTyping = false;
}

void CMainFrame::OnFollowLink(const std::string& address) {
  if (FollowLinkAcrossBooks(address)) return;
  ql::FollowLink(iDoc, *this, address);
}

void CMainFrame::SwitchPane() {
  if (iList->hasFocus())
    iRecordView->setFocus(Qt::ShortcutFocusReason);
  else
    iList->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::SplitEvenly() {
  if (iSplitShare) {
    const int height = iSplitter->height();
    const int top = static_cast<int>(height * *iSplitShare + 0.5);
    iSplitter->setSizes({top, height - top});
    return;
  }
  const auto [top, bottom] = ql::SplitHalves(iSplitter->height());
  iSplitter->setSizes({top, bottom});
}

void CMainFrame::SaveWindowSettings() {
  Settings::SetWindowGeometry(saveGeometry());
  if (iSplitShare) Settings::SetSplitShare(*iSplitShare);
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!iSplitDone) {
    iSplitDone = true;
    SplitEvenly();
    // The start page (its pictures, its fonts) comes once the window is on
    // the screen, rather than keeping it from getting there.
    QTimer::singleShot(0, this, [this] {
      if (iRecordView->source().isEmpty()) iRecordView->ShowStartPage();
    });
  }
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (iDoc.Initialised()) SplitEvenly();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  iSearcher->Cancel();
  // The window goes at once: the build under way stops where it is.
  if (iIndexer) iIndexer->Stop();
  if (iIndexPoll) iIndexPoll->stop();
  std::string reason;
  if (!iDoc.SaveBookmarks(reason))
    ShowMessageIcon(
        tr("The bookmarks could not be saved: %1").arg(LenientToQString(reason)).toStdString(),
        ql::kAppTitle, ql::Icon::kWarning);
  SaveRecentFiles();
  SaveLastingHistory();
  SaveWindowSettings();
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  // Each file opens in turn; with one document the last one stays open.
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) OpenBook(url.toLocalFile());
  event->acceptProposedAction();
}

// The desktop side of the flows.

void CMainFrame::ShowMessage(std::string_view text, std::string_view caption) {
  ShowMessageIcon(text, caption, ql::Icon::kNone);
}

void CMainFrame::ShowMessageIcon(std::string_view text, std::string_view caption, ql::Icon icon) {
  // Messages may name a file or a subject of either form.
  QMessageBox box(ToQtIcon(icon), LenientToQString(caption), LenientToQString(text),
                  QMessageBox::Ok, this);
  box.exec();
}

ql::Answer CMainFrame::Ask(std::string_view text, std::string_view caption, ql::Buttons buttons,
                           ql::Icon icon, bool owned) {
  const QMessageBox::StandardButtons choices =
      buttons == ql::Buttons::kYesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
  QMessageBox box(ToQtIcon(icon), LenientToQString(caption), LenientToQString(text), choices,
                  owned ? this : nullptr);
  if (!owned) box.setWindowModality(Qt::ApplicationModal);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return ql::Answer::kYes;
    case QMessageBox::No:
      return ql::Answer::kNo;
    case QMessageBox::Ok:
      return ql::Answer::kOk;
    default:
      return buttons == ql::Buttons::kYesNo ? ql::Answer::kNo : ql::Answer::kCancel;
  }
}

void CMainFrame::ShowStatus(std::string_view text) {
  if (text.empty())
    statusBar()->clearMessage();
  else
    statusBar()->showMessage(LenientToQString(text));
}

std::optional<ql::ChosenFile> CMainFrame::ChooseFile(const ql::FileDialogSpec& request) {
  QString title = QString::fromStdString(request.title);
  if (title.isEmpty()) title = request.save ? tr("Save As") : tr("Open");
  QFileDialog dialog(request.owned ? this : nullptr, title);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = NameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.defaultExtension.empty())
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  if (!request.initialName.empty()) dialog.selectFile(PathToQString(request.initialName));
  if (!request.owned) dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  ql::ChosenFile chosen;
  chosen.path = PathFromQString(dialog.selectedFiles().front());
  chosen.filterIndex = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
  return chosen;
}

std::unique_ptr<ql::ProgressSink> CMainFrame::StartProgress(int64_t maximum, bool owned) {
  return std::make_unique<ProgressWindow>(maximum, owned ? this : nullptr);
}

void CMainFrame::WaitCursor(bool on) {
  if (on) {
    if (iWaitDepth++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (iWaitDepth > 0 && --iWaitDepth == 0) {
    QApplication::restoreOverrideCursor();
  }
}

void CMainFrame::EmptyList() {
  // A search's answer would belong to the book that was closed.
  iSearcher->Cancel();
  iList->Empty();
  iLookup->BookChanged();
}

void CMainFrame::ShowStartPage() {
  // Before the window is first shown, showing it puts the page up.
  if (!iSplitDone) return;
  iRecordView->ShowStartPage();
}

void CMainFrame::DocumentOpened() {
  // Another book: no search of the last one; the history goes on.
  iSearcher->Cancel();
  iLookupStepOpen = false;
  iLookup->BookChanged();
  UpdateHistoryActions();
  iList->InitialUpdate();
  ShowStartPage();
  iRecent.Add(iDoc.Path());
  UpdateRecentMenu();
  RefreshShelf();
  if (iIndexer) iIndexer->SetFirst(ql::NormalisePath(iDoc.Path()));
  if (iSearchAll) iSearchAll->RefreshScopes();
  // Written once the book is on show; the list is also written at exit. The
  // desktop's own list of recent files has the book too.
  QTimer::singleShot(0, this, &CMainFrame::SaveRecentFiles);
  QTimer::singleShot(0, this, [path = PathToQString(iDoc.Path())] {
    AddToDesktopRecentList(DesktopRecentListPath(), path, QDateTime::currentDateTimeUtc());
  });
  UpdateTitle();
  ShowStatus({});
}

void CMainFrame::RebuildBookmarkMenu() {
  const QList<QAction*> actions = iBookmarksMenu->actions();
  for (qsizetype i = 3; i < actions.size(); ++i) {
    iBookmarksMenu->removeAction(actions[i]);
    actions[i]->deleteLater();
  }
  for (const ql::BookmarkItem& item : ql::BookmarksInUse(iDoc)) {
    const int slot = item.slot;
    iBookmarksMenu->addAction(BookmarkText(item.text, ql::FormOf(iDoc.Reader())), this,
                              [this, slot] { ql::GoToBookmark(iDoc, *this, slot); });
  }
}

int CMainFrame::SelectionMark() {
  return iList->SelectionMark();
}

void CMainFrame::SelectRow(int index) {
  iList->SelectRow(index);
}

void CMainFrame::ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) {
  // The records typing passes through make a single step; Back and Forward
  // make none.
  ql::HistoryStep step = ql::HistoryStep::kVisit;
  if (iRetracing)
    step = ql::HistoryStep::kNone;
  else if (iLookupTyping && iLookupStepOpen)
    step = ql::HistoryStep::kReplace;
  // A row, a bookmark, a Find hit or a link shows that one record.
  if (!iLookupTyping) LeaveSections();
  if (!ql::ShowRecord(iDoc, *this, *this, {index, foundPos, foundLength, scrollToFound, step}))
    return;
  if (!iRetracing) iLookupStepOpen = iLookupTyping;
  UpdateHistoryActions();
}

void CMainFrame::ShowPage(const std::string& path, bool scrollToFound) {
  // The open book's page, written in its form.
  iRecordView->ShowPage(PathToQString(path), scrollToFound, ql::FormOf(iDoc.Reader()));
}

void CMainFrame::SetListFont(std::string_view face, int pixelHeight) {
  iList->ApplyFont(ToQString(face), pixelHeight);
  // The subjects offered under the lookup line read like the list's.
  iLookup->SetOfferFont(iList->font());
}

std::optional<int> CMainFrame::ChooseBookmarkToRemove(const std::vector<ql::BookmarkItem>& items) {
  RemoveBookmarkDialog dialog(items, ql::FormOf(iDoc.Reader()), this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Result();
}

bool CMainFrame::EditPalmImport(ql::PalmImportValues& values) {
  PalmImportDialog dialog(values.hotSync, ToQString(values.name), this);
  if (dialog.exec() != QDialog::Accepted) return false;
  values.hotSync = dialog.HotSync();
  values.name = FromQString(dialog.Name());
  return true;
}

std::optional<int> CMainFrame::ChooseHotSyncUser(const std::vector<std::string>& users) {
  HotSyncUserDialog dialog(users, this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const int chosen = dialog.Chosen();
  if (chosen < 0) return std::nullopt;
  return chosen;
}

bool CMainFrame::EditFind(ql::FindDialogValues& values) {
  CFindDialog dialog(this);
  dialog.SetValues(values, ql::FormOf(iDoc.Reader()));
  if (dialog.exec() != QDialog::Accepted) return false;
  values = dialog.Values();
  return true;
}

QWidget* CMainFrame::CreateLowerPane() {
  auto* lower = new QSplitter(Qt::Horizontal, iSplitter);
  lower->setObjectName(QStringLiteral("recordPane"));
  iRecordView =
      new CQuillaryHtmlView([this](const std::string& address) { OnFollowLink(address); }, lower);
  lower->addWidget(iRecordView);
  lower->addWidget(MakeFoundIn(lower));
  lower->setStretchFactor(0, 4);
  lower->setStretchFactor(1, 1);
  // Enter, a double click or a click jumps to the book's section.
  connect(iFoundIn, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { JumpToSection(iFoundIn->row(item)); });
  connect(iFoundIn, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { JumpToSection(iFoundIn->row(item)); });

  iShelf = std::make_unique<ql::Shelf>();
  iAnswers = std::make_unique<ql::ShelfAnswers>();
  iPacer = std::make_unique<ql::RepaintPacer>();
  iPaintTimer = new QTimer(this);
  iPaintTimer->setSingleShot(true);
  connect(iPaintTimer, &QTimer::timeout, this, &CMainFrame::PaintSections);
  iClock.start();
  return lower;
}

QWidget* CMainFrame::MakeFoundIn(QWidget* parent) {
  iFoundInPane = new QWidget(parent);
  iFoundInPane->setObjectName(QStringLiteral("foundInPane"));
  auto* label = new QLabel(tr("F&ound in:"), iFoundInPane);
  iFoundIn = new QListWidget(iFoundInPane);
  iFoundIn->setObjectName(QStringLiteral("foundIn"));
  iFoundIn->setAccessibleName(tr("Found in"));
  label->setBuddy(iFoundIn);
  // A long title or reason is cut short in the list and read whole in its tip.
  iFoundIn->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  iFoundIn->setTextElideMode(Qt::ElideRight);
  auto* layout = new QVBoxLayout(iFoundInPane);
  layout->setContentsMargins(4, 2, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(label);
  layout->addWidget(iFoundIn);
  iFoundInPane->hide();
  return iFoundInPane;
}

void CMainFrame::RefreshShelf() {
  // The chosen group's books, and the open book where the group does not
  // have it: the lookup line looks in that book's list as well.
  if (!iShelf) return;
  std::vector<ql::ShelfBook> books;
  bool haveOpen = false;
  for (const std::string& path : iLibrary.BooksOf(CurrentGroup())) {
    books.push_back({path, std::string(ql::FileNameOf(path))});
    haveOpen = haveOpen || (iDoc.IsOpen() && path == iDoc.Path());
  }
  if (iDoc.IsOpen() && !haveOpen) books.insert(books.begin(), {iDoc.Path(), iDoc.Title()});
  SetShelfBooks(std::move(books));
}

void CMainFrame::SetShelfBooks(std::vector<ql::ShelfBook> books) {
  LeaveSections();
  // Offers still on their way name books of the old list.
  if (iGroupSpelling) iGroupSpelling->Cancel();
  ++iGroupSpellingSerial;
  iShelf->SetBooks(std::move(books));
}

int CMainFrame::OpenBookOnShelf() const {
  if (!iDoc.IsOpen()) return -1;
  const auto& books = iShelf->Books();
  for (size_t i = 0; i < books.size(); ++i)
    if (books[i].path == iDoc.Path()) return static_cast<int>(i);
  return -1;
}

void CMainFrame::LookUpEverywhere(const QString& text) {
  // A library of one book: the open book's list and record, as ever.
  if (iShelf->Books().size() < 2 || text.isEmpty()) {
    if (text.isEmpty()) LeaveSections();
    return;
  }
  iShelf->SetRenderOptions(iDoc.Options());
  // Each book is asked with the text in its own form.
  const uint64_t generation = iShelf->LookUpText(
      text.toStdString(), ql::MatchPrefix,
      [this](uint64_t g, ql::LookupSection section) {
        QMetaObject::invokeMethod(
            this,
            [this, g, section = std::move(section)]() mutable { OnSection(g, std::move(section)); },
            Qt::QueuedConnection);
      },
      [this](uint64_t g) {
        QMetaObject::invokeMethod(
            this, [this, g] { OnSectionsDone(g); }, Qt::QueuedConnection);
      },
      OpenBookOnShelf());
  iAnswers->Start(generation);
  iSectionsDirty = false;
  iPacer->Reset();
  iPaintTimer->stop();
  if (iGroupSpelling) iGroupSpelling->Cancel();
  ++iGroupSpellingSerial;
}

void CMainFrame::OnSection(uint64_t generation, ql::LookupSection section) {
  const bool found = !section.failed;
  if (!iAnswers->Add(generation, std::move(section))) return;
  // A book has it: the open book's spellings are no longer wanted.
  if (found) iLookup->WithdrawOffer();
  SectionsChanged();
}

void CMainFrame::OfferGroupSpellings(const QString& text) {
  if (text.isEmpty()) return;
  if (!iGroupSpelling) iGroupSpelling = std::make_unique<ql::ShelfSpelling>(*iShelf);
  iGroupSpellingSerial =
      iGroupSpelling->Start(text.toStdString(), [this](uint64_t serial, auto list) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, list = std::move(list)] {
              if (serial != iGroupSpellingSerial) return;
              // An offer is a word looked up over the group: the page
              // that follows names the books that have it.
              QStringList subjects;
              for (const ql::ShelfSuggestion& s : list) subjects << QString::fromStdString(s.text);
              iLookup->OfferFromGroup(subjects, subjects);
            },
            Qt::QueuedConnection);
      });
}

void CMainFrame::OnSectionsDone(uint64_t generation) {
  if (!iAnswers->Finish(generation)) return;
  if (iAnswers->FoundCount() == 0) {
    OfferGroupSpellings(iLookup->text());
    // Not found, but not every book could be asked: the page says which
    // and why, or the word would seem to be in none of them.
    if (!iAnswers->Sections().empty()) {
      iPaintTimer->stop();
      PaintSections();
      return;
    }
    // Nothing anywhere: the open book's record stays, as with one book.
    const bool shown = iSectionsShown;
    LeaveSections();
    if (shown && iDoc.IsOpen() && iList->SelectionMark() >= 0)
      ql::ShowRecord(iDoc, *this, *this,
                     {iList->SelectionMark(), -1, -1, false, ql::HistoryStep::kNone});
    return;
  }
  // The last answer paints at once, unless the page on show has them all.
  if (iSectionsDirty) {
    iPaintTimer->stop();
    PaintSections();
  }
}

void CMainFrame::SectionsChanged() {
  iSectionsDirty = true;
  // Books that failed alone are no page: the open book's record stays until
  // a book has the text.
  if (iAnswers->FoundCount() == 0) return;
  // The first section paints at once, later ones together.
  const int64_t delay = iPacer->Changed(iClock.elapsed());
  if (delay == 0)
    PaintSections();
  else if (delay > 0)
    iPaintTimer->start(static_cast<int>(delay));
}

void CMainFrame::PaintSections() {
  const int64_t began = iClock.elapsed();
  const bool keepScroll = iSectionsShown;
  iSectionsDirty = false;
  const bool none = iAnswers->FoundCount() == 0;
  // The page of sections is UTF-8: its books may hold text in either form.
  const std::string lead =
      ql::NoneFoundLead(*iAnswers, iLookup->text().toStdString(), ql::TextForm::kUtf8);
  ShowShelfPage(
      ql::WriteSectionsPage(iAnswers->Sections(), iDoc.Options(), lead, ql::TextForm::kUtf8),
      keepScroll);
  iSectionsShown = true;
  const int row = iFoundIn->currentRow();
  iFoundIn->clear();
  // Titles are file names, in the file system's characters.
  for (const std::string& text : iAnswers->FoundInRows()) {
    auto* item = new QListWidgetItem(PathToQString(text), iFoundIn);
    item->setToolTip(item->text());
  }
  if (row >= 0 && row < iFoundIn->count()) iFoundIn->setCurrentRow(row);
  // The list is of books that have the text: with none, the page is short.
  iFoundInPane->setVisible(!none);
  ShowStatus(ql::FoundNote(*iAnswers));
  const int64_t now = iClock.elapsed();
  iPacer->Painted(now, now - began);
}

void CMainFrame::ShowShelfPage(const std::string& html, bool keepScroll) {
  std::string reason;
  if (!iShelfPage.Write([&](ql::ByteSink& sink) { sink.Write(html); }, reason)) {
    ShowStatus(reason);
    return;
  }
  const int scroll = iRecordView->verticalScrollBar()->value();
  iRecordView->ShowPage(PathToQString(iShelfPage.Path()), false, ql::TextForm::kUtf8);
  if (keepScroll) iRecordView->verticalScrollBar()->setValue(scroll);
}

void CMainFrame::LeaveSections() {
  if (iShelf) iShelf->Cancel();
  if (iPaintTimer) iPaintTimer->stop();
  if (iAnswers) iAnswers->Start(0);
  if (iFoundIn) {
    iFoundIn->clear();
    iFoundInPane->hide();
  }
  // "Found in" no longer speaks of what is shown.
  if (iSectionsShown) ShowStatus({});
  iSectionsShown = false;
}

void CMainFrame::JumpToSection(int row) {
  const auto& sections = iAnswers->Sections();
  if (row < 0 || static_cast<size_t>(row) >= sections.size()) return;
  iRecordView->scrollToAnchor(ToQString(ql::SectionAnchor(sections[row].book)));
}

bool CMainFrame::FollowLinkAcrossBooks(const std::string& address) {
  int from = -1;
  // The key in UTF-8: each book looks it up in its own form.
  std::string key;
  if (auto link = ql::SectionLinkKey(address)) {
    // A link on the page of sections, which is UTF-8.
    from = link->book;
    key = std::move(link->key);
  } else if (auto plain = ql::LinkKey(address); plain && iShelf->Books().size() > 1) {
    // A link on the open book's page, in the book's form.
    from = OpenBookOnShelf();
    // The open book has it: followed as in one book.
    if (from < 0 || iDoc.Reader().FindSubject(ql::MatchWhole, *plain) >= 0) return false;
    key = ql::TextToUtf8(*plain, ql::FormOf(iDoc.Reader()));
  } else {
    return false;
  }
  const ql::LinkPlace place = iShelf->ResolveLinkText(key, from);
  if (place.book < 0) return true;
  // As a link in one book: the record shows, the list's selection stays.
  if (place.book == OpenBookOnShelf()) {
    ShowRecord(place.index, -1, -1, false);
    return true;
  }
  // A record of another book of the group: that one record, on its own.
  const ql::LookupSection section = iShelf->Section(place.book, place.index);
  LeaveSections();
  if (section.failed) {
    ShowStatus(section.title + ": " + section.reason);
    return true;
  }
  // Under its book's title, its links looked for in its own book first.
  ShowShelfPage(ql::WriteSectionsPage({section}, iDoc.Options(), {}, ql::TextForm::kUtf8), false);
  ShowStatus(tr("From %1").arg(LenientToQString(section.title)).toStdString());
  return true;
}

// The library.

void CMainFrame::LoadLibrary() {
  iLibraryFile = ql::LibraryFilePath();
  iLibrary = ql::Library::Load(iLibraryFile);
  iLibrary.Rescan();
}

QWidget* CMainFrame::MakeGroupList(QWidget* parent) {
  auto* row = new QWidget(parent);
  row->setObjectName(QStringLiteral("lookupRow"));
  iGroupList = new QComboBox(row);
  iGroupList->setObjectName(QStringLiteral("groupList"));
  iGroupList->setAccessibleName(tr("Group"));
  iGroupList->setToolTip(tr("The books lookups go to"));
  iGroupList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  iLookup->setParent(row);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(iLookup, 1);
  layout->addWidget(iGroupList);
  setTabOrder(iLookup, iGroupList);
  RefreshGroupList();
  const std::string remembered = Settings::Group();
  const int at = iGroupList->findData(QString::fromStdString(remembered));
  if (at >= 0) iGroupList->setCurrentIndex(at);
  connect(iGroupList, &QComboBox::activated, this, [this](int) {
    Settings::SetGroup(CurrentGroup());
    GroupChanged();
  });
  return row;
}

std::string CMainFrame::CurrentGroup() const {
  const QString text = iGroupList ? iGroupList->currentData().toString() : QString();
  return text.isEmpty() ? std::string(ql::kAllBooks) : text.toStdString();
}

void CMainFrame::RefreshGroupList() {
  const std::string before = iGroupList->count() > 0 ? CurrentGroup() : std::string();
  {
    const QSignalBlocker blocker(iGroupList);
    iGroupList->clear();
    // Every group by its name; the one of every book in the user's language.
    for (const std::string& name : iLibrary.GroupNames())
      iGroupList->addItem(name == ql::kAllBooks ? tr("All books") : QString::fromStdString(name),
                          QString::fromStdString(name));
    const int at = iGroupList->findData(QString::fromStdString(before));
    iGroupList->setCurrentIndex(std::max(0, at));
  }
  // The group chosen was deleted: lookups go to every book again.
  if (!before.empty() && CurrentGroup() != before) {
    Settings::SetGroup(CurrentGroup());
    GroupChanged();
  }
}

void CMainFrame::LibraryChanged() {
  RefreshGroupList();
  RefreshShelf();
  IndexLibrary();
  if (iSearchAll) iSearchAll->RefreshScopes();
  emit libraryChanged();
}

void CMainFrame::GroupChanged() {
  RefreshShelf();
  if (iSearchAll) iSearchAll->RefreshScopes();
  emit groupChanged();
}

void CMainFrame::ShowLibrary() {
  if (!iLibraryWindow) {
    iLibraryWindow = new LibraryWindow(iLibrary, iLibraryFile, this);
    connect(iLibraryWindow, &LibraryWindow::libraryChanged, this, &CMainFrame::LibraryChanged);
    if (iIndexer) iLibraryWindow->SetIndexStates(iIndexer->Take().states);
  } else if (iLibraryWindow->isHidden()) {
    // The books may have changed on disk while the window was closed.
    const auto paths = [this] {
      std::vector<std::string> out;
      for (const ql::LibraryBook& book : iLibrary.Books()) out.push_back(book.path);
      return out;
    };
    const std::vector<std::string> before = paths();
    iLibrary.Rescan();
    iLibraryWindow->Reload();
    if (paths() != before) LibraryChanged();
  }
  iLibraryWindow->show();
  iLibraryWindow->raise();
  iLibraryWindow->activateWindow();
}

void CMainFrame::FindDictionaries(bool quiet) {
  if (iImport) {
    ShowStatus(iImport->StatusText());
    return;
  }
  if (!iDictionaryRoots) iDictionaryRoots = ql::DictionaryRoots::FromEnvironment();
  std::vector<ql::FoundDictionary> wanted =
      ql::OfferDictionaries(*this, *iDictionaryRoots, ql::BooksFolder(), quiet);
  if (wanted.empty()) return;
  iImport = std::make_unique<ql::DictionaryImportJob>(std::move(wanted));
  iStopImportAction->setEnabled(true);
  if (!iImportPoll) {
    iImportPoll = new QTimer(this);
    iImportPoll->setInterval(100);
    connect(iImportPoll, &QTimer::timeout, this, &CMainFrame::PollDictionaryImport);
  }
  iImportPoll->start();
  ShowStatus(iImport->StatusText());
}

void CMainFrame::OfferDictionariesAtFirstStart() {
  if (!ql::FirstStart(iLibrary, iLibraryFile, ql::BooksFolder())) return;
  LibraryChanged();
  FindDictionaries(true);
}

void CMainFrame::StopDictionaryImport() {
  if (!iImport || iImport->Finished()) return;
  iImport->Stop();
  ShowStatus(iImport->StatusText());
}

bool CMainFrame::StopImportOnEscape(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !iImport || iImport->Finished() ||
      static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
    return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  StopDictionaryImport();
  return true;
}

void CMainFrame::PollDictionaryImport() {
  if (!iImport) {
    iImportPoll->stop();
    return;
  }
  if (!iImport->Finished()) {
    ShowStatus(iImport->StatusText());
    return;
  }
  iImportPoll->stop();
  iImport->Wait();
  std::string status, reason;
  const bool saved = ql::FinishDictionaryImport(*iImport, iLibrary, iLibraryFile, ql::BooksFolder(),
                                                status, reason);
  iImport.reset();
  iStopImportAction->setEnabled(false);
  if (iLibraryWindow && iLibraryWindow->isVisible()) iLibraryWindow->Reload();
  LibraryChanged();
  ShowStatus(status);
  if (!saved)
    ShowMessageIcon(
        tr("The library could not be saved: %1").arg(LenientToQString(reason)).toStdString(),
        ql::kAppTitle, ql::Icon::kWarning);
}

}  // namespace qlui

namespace qlui {

// Indexing and Search All Books.

void CMainFrame::IndexLibrary() {
  if (!iIndexer) return;
  std::vector<ql::IndexBook> books;
  for (const ql::LibraryBook& book : iLibrary.Books()) books.push_back({book.path, book.enabled});
  iIndexer->SetBooks(books);
  iIndexPoll->start();
}

void CMainFrame::PollIndexing() {
  if (!iIndexer) return;
  if (iIndexer->Changes() != iIndexSeen) {
    ql::BackgroundIndexer::Look look = iIndexer->Take();
    iIndexSeen = look.changes;
    iIndexLabel->setText(QString::fromStdString(look.status));
    iIndexLabel->setVisible(!look.status.empty());
    if (iLibraryWindow) iLibraryWindow->SetIndexStates(std::move(look.states));
    if (!look.idle) return;
  }
  if (iIndexer->Idle()) {
    iIndexPoll->stop();
    iIndexLabel->hide();
  }
}

void CMainFrame::OnSearchAllBooks() {
  if (!iSearchAll) {
    SearchAllBooksDialog::Source source;
    source.books = [this](ql::SearchScope scope) {
      return ql::ScopeBooks(iLibrary, scope, CurrentGroup(),
                            iDoc.IsOpen() ? ql::NormalisePath(iDoc.Path()) : std::string());
    };
    source.groupName = [this] { return iGroupList->currentText(); };
    source.open = [this](const FtsRow& row) { OpenSearchHit(row); };
    source.unindexed = [this](const std::string& path) {
      // The index was there when it was looked at: it is looked at again.
      if (iIndexer && iIndexer->StateOf(path).state == ql::IndexState::kIndexed) {
        iIndexer->Recheck(path);
        iIndexPoll->start();
      }
    };
    iSearchAll = new SearchAllBooksDialog(std::move(source), this);
  }
  iSearchAll->show();
  iSearchAll->raise();
  iSearchAll->activateWindow();
}

void CMainFrame::OpenSearchHit(const FtsRow& row) {
  if (!iDoc.IsOpen() || ql::NormalisePath(iDoc.Path()) != row.path) {
    if (!OpenBook(PathToQString(row.path))) return;
  }
  const int record = row.hit.record;
  if (record < 0 || record >= iDoc.RowCount()) return;
  const ql::WordPlace place = ql::PlaceOfWord(iDoc.Reader(), record, row.hit.firstWord);
  ShowRecord(record, place.pos, place.length, true);
  SelectRow(record);
}

}  // namespace qlui

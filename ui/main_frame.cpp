#include "main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
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

#include "bookmarks.h"
#include "dialogs.h"
#include "export_flow.h"
#include "install_aide.h"
#include "links.h"
#include "lock_keys.h"
#include "lookup_line.h"
#include "make_flows.h"
#include "open_flow.h"
#include "qt_text.h"
#include "quick_peek.h"
#include "record_view.h"
#include "search_runner.h"
#include "show_record.h"
#include "subject_list.h"
#include "subject_view.h"
#include "theme.h"

namespace qlui {

namespace {

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
  iList = new CQuillaryView(
      iDoc, [this](int index) { ShowRecord(index, -1, -1, false); }, upper);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(0, 0, 0, 0);
  upperLayout->setSpacing(2);
  upperLayout->addWidget(iLookup);
  upperLayout->addWidget(iList, 1);
  connect(iLookup, &CLookupLine::lookedUp, this, &CMainFrame::OnLookedUp);
  connect(iLookup, &CLookupLine::leaveToList, this,
          [this] { iList->setFocus(Qt::OtherFocusReason); });
  iRecordView = new CQuillaryHtmlView([this](const std::string& address) { OnFollowLink(address); },
                                      iSplitter);
  iSplitter->addWidget(upper);
  iSplitter->addWidget(iRecordView);
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
  UpdateHistoryActions();
  setAcceptDrops(true);

  // The start values: Arial at Medium and 100% for the list and the page
  // alike, unless the user chose otherwise before.
  LoadViewSettings();

  LoadRecentFiles();
  iList->InitialUpdate();
  UpdateTitle();
  resize(900, 700);
}

CMainFrame::~CMainFrame() {
  // A search still running ends with the window, while the window can still
  // take back the wait cursor the search holds.
  delete iSearcher;
  iSearcher = nullptr;
}

void CMainFrame::CreateMenus() {
  iFileMenu = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* open = iFileMenu->addAction(QIcon(QStringLiteral(":/open.png")),
                                       QStringLiteral("&Open..."), this, &CMainFrame::OnFileOpen);
  open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  open->setStatusTip(QStringLiteral("Open a book"));
  iFileMenu->addAction(QStringLiteral("Import..."), this, [this] { ql::RunImport(iDoc, *this); })
      ->setStatusTip(QStringLiteral("Make a book from tagged or tab-separated text"));
  iFileMenu
      ->addAction(QStringLiteral("Export to Palm..."), this,
                  [this] {
                    const std::unique_ptr<ql::InstallAide> aide = ql::MakeInstallAide();
                    ql::RunExportToHandheld(iDoc, *this, *aide);
                  })
      ->setStatusTip(QStringLiteral("Write the book as a handheld database"));
  iFileMenu
      ->addAction(QStringLiteral("Upgrade..."), this,
                  [this] { ql::RunUpgradeCommand(iDoc, *this); })
      ->setStatusTip(QStringLiteral("Write an older-format book as a new book"));
  iFileMenu
      ->addAction(QStringLiteral("Export as Text..."), this,
                  [this] { ql::RunTextExport(iDoc, *this); })
      ->setStatusTip(QStringLiteral("Write the book as tab-separated tagged text"));
  iFileMenu->addSeparator();
  QAction* print = iFileMenu->addAction(QIcon(QStringLiteral(":/print.png")),
                                        QStringLiteral("&Print..."), this, &CMainFrame::OnPrint);
  print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  print->setStatusTip(QStringLiteral("Print the record on show"));
  iFileMenu->addAction(QStringLiteral("P&rint Setup..."), this, &CMainFrame::OnPrintSetup)
      ->setStatusTip(QStringLiteral("Choose the printer and the page"));
  iFileMenu->addSeparator();
  iRecentPlaceholder = iFileMenu->addAction(QStringLiteral("Recent File"));
  iRecentPlaceholder->setEnabled(false);
  for (int i = 0; i < ql::kRecentFileCount; ++i) {
    iRecentActions[i] = iFileMenu->addAction(QString(), this, [this, i] { OnOpenRecent(i); });
    iRecentActions[i]->setVisible(false);
  }
  iFileMenu->addSeparator();
  QAction* exitAction = iFileMenu->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
  exitAction->setStatusTip(QStringLiteral("Quit Quillary"));
  open->setObjectName(QStringLiteral("actionOpen"));
  print->setObjectName(QStringLiteral("actionPrint"));

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  QAction* find = edit->addAction(QStringLiteral("&Find..."), this,
                                  [this] { ql::RunFind(iDoc, *this, iFind, *iSearcher); });
  find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  find->setStatusTip(QStringLiteral("Search the book for up to three terms"));
  QAction* lookUp = edit->addAction(QStringLiteral("&Look Up"), this, [this] {
    iLookup->setFocus(Qt::ShortcutFocusReason);
    iLookup->selectAll();
  });
  lookUp->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  lookUp->setStatusTip(QStringLiteral("Type the start of a subject to show it"));
  QAction* findNext = edit->addAction(QStringLiteral("Find Next"), this,
                                      [this] { ql::RunFindNext(iDoc, *this, iFind, *iSearcher); });
  findNext->setShortcut(QKeySequence(Qt::Key_F3));
  findNext->setStatusTip(QStringLiteral("Find the next match"));

  iBookmarksMenu = menuBar()->addMenu(QStringLiteral("&Bookmarks"));
  iBookmarksMenu->addAction(QStringLiteral("New bookmark"), this,
                            [this] { ql::NewBookmark(iDoc, *this); });
  iBookmarksMenu->addAction(QStringLiteral("Remove bookmark..."), this,
                            [this] { ql::RemoveBookmark(iDoc, *this); });
  iBookmarksMenu->addSeparator();

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  iBackAction = view->addAction(style()->standardIcon(QStyle::SP_ArrowBack),
                                QStringLiteral("&Back"), this, &CMainFrame::GoBack);
  iBackAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  iBackAction->setStatusTip(QStringLiteral("Show the record shown before"));
  iForwardAction = view->addAction(style()->standardIcon(QStyle::SP_ArrowForward),
                                   QStringLiteral("&Forward"), this, &CMainFrame::GoForward);
  iForwardAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  iForwardAction->setStatusTip(QStringLiteral("Show the record shown after"));
  view->addSeparator();
  QAction* zoomIn =
      view->addAction(QStringLiteral("Zoom &In"), this, [this] { Zoom(ql::Zoom::kIn); });
  zoomIn->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  zoomIn->setStatusTip(QStringLiteral("Make the list and the page larger"));
  QAction* zoomOut =
      view->addAction(QStringLiteral("Zoom &Out"), this, [this] { Zoom(ql::Zoom::kOut); });
  zoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  zoomOut->setStatusTip(QStringLiteral("Make the list and the page smaller"));
  QAction* zoomReset =
      view->addAction(QStringLiteral("&Actual Size"), this, [this] { Zoom(ql::Zoom::kReset); });
  zoomReset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  zoomReset->setStatusTip(QStringLiteral("Show the list and the page at 100%"));
  QMenu* themes = view->addMenu(QStringLiteral("T&heme"));
  auto* themeGroup = new QActionGroup(this);
  const std::pair<const char*, Theme> themeItems[] = {
      {"Follow the &Desktop", Theme::kDesktop}, {"&Light", Theme::kLight}, {"Dar&k", Theme::kDark}};
  for (int i = 0; i < 3; ++i) {
    const Theme theme = themeItems[i].second;
    iThemeActions[i] = themes->addAction(QString::fromLatin1(themeItems[i].first), this,
                                         [this, theme] { ChooseTheme(theme); });
    iThemeActions[i]->setCheckable(true);
    themeGroup->addAction(iThemeActions[i]);
  }
  view->addSeparator();
  QAction* toolbar = view->addAction(QStringLiteral("&Toolbar"));
  toolbar->setCheckable(true);
  toolbar->setChecked(true);
  connect(toolbar, &QAction::toggled, this, [this](bool on) { iToolBar->setVisible(on); });
  QAction* status = view->addAction(QStringLiteral("&Status Bar"));
  status->setCheckable(true);
  status->setChecked(true);
  connect(status, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("Contents..."), this, &CMainFrame::OnHelpContents)
      ->setStatusTip(QStringLiteral("Read the manual"));
  QAction* about =
      help->addAction(QIcon(QStringLiteral(":/about-icon.png")),
                      QStringLiteral("&About Quillary..."), this, &CMainFrame::OnAbout);
  QTimer::singleShot(0, this, [this, open, print, about] {
    // Its icon comes from the theme as well.
    iLookup->setClearButtonEnabled(true);
    for (const ThemedAction& themed :
         {ThemedAction{open, "document-open"}, ThemedAction{print, "document-print"},
          ThemedAction{about, "help-about"}}) {
      const QIcon icon = QIcon::fromTheme(QLatin1String(themed.themeName));
      if (!icon.isNull()) themed.action->setIcon(icon);
    }
  });
  about->setObjectName(QStringLiteral("actionAbout"));

  // F6 and Shift+F6 move between the two panes.
  auto* next = new QAction(QStringLiteral("Next pane"), this);
  next->setShortcut(QKeySequence(Qt::Key_F6));
  connect(next, &QAction::triggered, this, &CMainFrame::SwitchPane);
  auto* previous = new QAction(QStringLiteral("Previous pane"), this);
  previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
  connect(previous, &QAction::triggered, this, &CMainFrame::SwitchPane);
  addAction(next);
  addAction(previous);

  iToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
  iToolBar->setObjectName(QStringLiteral("toolBar"));
  iToolBar->setAccessibleName(QStringLiteral("Toolbar"));
  iToolBar->addAction(iBackAction);
  iToolBar->addAction(iForwardAction);
  iToolBar->addSeparator();
  iToolBar->addAction(open);
  iToolBar->addSeparator();
  iToolBar->addAction(print);
  iToolBar->addSeparator();
  iToolBar->addAction(about);
  connect(iToolBar, &QToolBar::visibilityChanged, toolbar, &QAction::setChecked);
}

void CMainFrame::CreateToolBars() {
  iToolBar->setIconSize(QSize(16, 16));
  addToolBar(Qt::TopToolBarArea, iToolBar);
  iFontBar = new QToolBar(QStringLiteral("Font bar"), this);
  iFontBar->setObjectName(QStringLiteral("fontBar"));
  iFontBar->setAccessibleName(QStringLiteral("Font bar"));
  auto* faceLabel = new QLabel(QStringLiteral("Font:"), iFontBar);
  iFaceList = new QComboBox(iFontBar);
  iFaceList->setAccessibleName(QStringLiteral("Font"));
  for (std::string_view face : ql::kFontFaces) iFaceList->addItem(ToQString(face));
  faceLabel->setBuddy(iFaceList);
  auto* sizeLabel = new QLabel(QStringLiteral("Size:"), iFontBar);
  iSizeList = new QComboBox(iFontBar);
  iSizeList->setAccessibleName(QStringLiteral("Size"));
  for (std::string_view size : ql::kFontSizes) iSizeList->addItem(ToQString(size));
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
  iReady = new QLabel(QStringLiteral("Ready"), this);
  iReady->setAccessibleName(QStringLiteral("Status"));
  statusBar()->addWidget(iReady, 1);
  statusBar()->setAccessibleName(QStringLiteral("Status bar"));
  const QString names[] = {QStringLiteral("CAP"), QStringLiteral("NUM"), QStringLiteral("SCRL")};
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
  Retrace(iDoc.History().Back());
}

void CMainFrame::GoForward() {
  Retrace(iDoc.History().Forward());
}

void CMainFrame::Retrace(std::optional<int> index) {
  if (index && iDoc.IsOpen() && *index < iDoc.RowCount()) {
    iRetracing = true;
    iLookupStepOpen = false;
    ShowRecord(*index, -1, -1, false);
    SelectRow(*index);
    iRetracing = false;
  }
  UpdateHistoryActions();
}

void CMainFrame::UpdateHistoryActions() {
  iBackAction->setEnabled(iDoc.History().CanGoBack());
  iForwardAction->setEnabled(iDoc.History().CanGoForward());
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
  iTrayMenu = new QMenu(QStringLiteral("QuickPeek"), this);
  QAction* peek =
      iTrayMenu->addAction(QStringLiteral("QuickPeek"), this, [this] { OnQuickPeek(); });
  iTrayMenu->addAction(QStringLiteral("QuickPeek Clipboard"), this, [this] {
    // The clipboard's first line is the word to look up.
    const QString text = QGuiApplication::clipboard()->text();
    OnQuickPeek(text.section(QLatin1Char('\n'), 0, 0).trimmed());
  });
  iTrayMenu->addAction(QStringLiteral("Quillary"), this, [this] {
    showNormal();
    raise();
    activateWindow();
  });
  iTrayMenu->addAction(QStringLiteral("Close"), this, [this] {
    if (iTray) iTray->hide();
  });
  iTrayMenu->setDefaultAction(peek);
  // Without a tray the entry point cannot be reached, so no icon is made.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  iTray = new QSystemTrayIcon(QIcon(QStringLiteral(":/quillary.png")), this);
  iTray->setToolTip(QStringLiteral("Quillary QuickPeek"));
  iTray->setContextMenu(iTrayMenu);
  connect(iTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) OnQuickPeek();
  });
  iTray->show();
}

void CMainFrame::OnQuickPeek(const QString& text) {
  QuickPeeker peeker(iDoc, this);
  if (!text.isEmpty()) peeker.LookUp(text);
  peeker.exec();
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
  setWindowTitle(PathToQString(iDoc.WindowTitle()));
}

void CMainFrame::OnFileOpen() {
  QFileDialog dialog(this, QStringLiteral("Open"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({QStringLiteral("Quillary Files (*.ql)"), QStringLiteral("All Files (*)")});
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
  QSettings settings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
  settings.beginGroup(QLatin1String(ql::kRecentFileSection));
  std::vector<std::string> paths;
  for (int i = 1; i <= ql::kRecentFileCount; ++i)
    paths.push_back(PathFromQString(settings.value(QStringLiteral("File%1").arg(i)).toString()));
  settings.endGroup();
  iRecent.SetPaths(std::move(paths));
  UpdateRecentMenu();
}

void CMainFrame::SaveRecentFiles() {
  QSettings settings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
  settings.beginGroup(QLatin1String(ql::kRecentFileSection));
  settings.remove(QString());
  const auto& paths = iRecent.Paths();
  for (size_t i = 0; i < paths.size(); ++i)
    settings.setValue(QStringLiteral("File%1").arg(i + 1), PathToQString(paths[i]));
  settings.endGroup();
  settings.sync();
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
    ShowMessage("The manual (manual.ql) is not installed beside the program.", ql::kAppTitle);
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
    SaveViewSetting("Face", ToQString(ql::kFontFaces[static_cast<size_t>(iFonts.iFontFaceIndex)]));
  if (iFonts.iFontSizeIndex != before.iFontSizeIndex)
    SaveViewSetting("Size", ToQString(ql::kFontSizes[static_cast<size_t>(iFonts.iFontSizeIndex)]));
}

void CMainFrame::Zoom(ql::Zoom zoom) {
  if (!ql::ChangeZoom(*this, iFonts, zoom)) return;
  const int percent = ql::ZoomPercent(iFonts);
  iRecordView->SetZoom(percent);
  SaveViewSetting("Zoom", percent == 100 ? QVariant() : QVariant(percent));
  ShowStatus("Zoom " + std::to_string(percent) + "%");
}

void CMainFrame::ChooseTheme(Theme theme) {
  ApplyTheme(theme);
  for (QAction* action : iThemeActions)
    action->setChecked(action == iThemeActions[static_cast<int>(theme)]);
  SaveViewSetting("Theme", theme == Theme::kDesktop ? QVariant() : QVariant(ThemeName(theme)));
}

void CMainFrame::LoadViewSettings() {
  QSettings settings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
  settings.beginGroup(QStringLiteral("View"));
  ql::StoredFontChoice stored;
  if (settings.contains(QStringLiteral("Face")))
    stored.face = FromQString(settings.value(QStringLiteral("Face")).toString());
  if (settings.contains(QStringLiteral("Size")))
    stored.size = FromQString(settings.value(QStringLiteral("Size")).toString());
  bool isNumber = false;
  const int zoom = settings.value(QStringLiteral("Zoom")).toInt(&isNumber);
  if (isNumber) stored.zoomPercent = zoom;
  const Theme theme = ThemeFromName(settings.value(QStringLiteral("Theme")).toString());
  settings.endGroup();

  const ql::FontChoice restored = ql::RestoreFontChoice(stored);
  iFonts.iZoomStep = restored.iZoomStep;
  iFaceList->setCurrentIndex(restored.iFontFaceIndex);
  iSizeList->setCurrentIndex(restored.iFontSizeIndex);
  // Sets the list font and the reader's page font.
  ql::ChangeFont(iDoc, *this, iFonts, restored.iFontFaceIndex, restored.iFontSizeIndex);
  iRecordView->SetZoom(ql::ZoomPercent(iFonts));
  if (theme != Theme::kDesktop) ApplyTheme(theme);
  iThemeActions[static_cast<int>(theme)]->setChecked(true);
}

void CMainFrame::SaveViewSetting(const char* key, const QVariant& value) {
  QSettings settings(QStringLiteral("Quillary"), QStringLiteral("Quillary"));
  settings.beginGroup(QStringLiteral("View"));
  if (value.isValid())
    settings.setValue(QLatin1String(key), value);
  else
    settings.remove(QLatin1String(key));
  settings.endGroup();
}

void CMainFrame::OnLookedUp(int record, bool typing) {
  if (!iDoc.IsOpen() || record < 0 || record >= iDoc.RowCount()) return;
  iLookupTyping = typing;
  ShowRecord(record, -1, -1, false);
  SelectRow(record);
  iLookupTyping = false;
}

void CMainFrame::OnFollowLink(const std::string& address) {
  ql::FollowLink(iDoc, *this, address);
}

void CMainFrame::SwitchPane() {
  if (iList->hasFocus())
    iRecordView->setFocus(Qt::ShortcutFocusReason);
  else
    iList->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::SplitEvenly() {
  const auto [top, bottom] = ql::SplitHalves(iSplitter->height());
  iSplitter->setSizes({top, bottom});
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
  std::string reason;
  if (!iDoc.SaveBookmarks(reason))
    ShowMessageIcon("The bookmarks could not be saved: " + reason, ql::kAppTitle,
                    ql::Icon::kWarning);
  SaveRecentFiles();
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
  QMessageBox box(ToQtIcon(icon), ToQString(caption), ToQString(text), QMessageBox::Ok, this);
  box.exec();
}

ql::Answer CMainFrame::Ask(std::string_view text, std::string_view caption, ql::Buttons buttons,
                           ql::Icon icon, bool owned) {
  const QMessageBox::StandardButtons choices =
      buttons == ql::Buttons::kYesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
  QMessageBox box(ToQtIcon(icon), ToQString(caption), ToQString(text), choices,
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
    statusBar()->showMessage(ToQString(text));
}

std::optional<ql::ChosenFile> CMainFrame::ChooseFile(const ql::FileDialogSpec& request) {
  QString title = QString::fromStdString(request.title);
  if (title.isEmpty()) title = request.save ? QStringLiteral("Save As") : QStringLiteral("Open");
  QFileDialog dialog(request.owned ? this : nullptr, title);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
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
  // Another book: a history of its own, and no search of the last one.
  iSearcher->Cancel();
  iDoc.History().Clear();
  iLookupStepOpen = false;
  iLookup->BookChanged();
  UpdateHistoryActions();
  iList->InitialUpdate();
  ShowStartPage();
  iRecent.Add(iDoc.Path());
  UpdateRecentMenu();
  // Written once the book is on show; the list is also written at exit.
  QTimer::singleShot(0, this, &CMainFrame::SaveRecentFiles);
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
    iBookmarksMenu->addAction(ToQString(item.text), this,
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
  if (!ql::ShowRecord(iDoc, *this, *this, {index, foundPos, foundLength, scrollToFound, step}))
    return;
  if (!iRetracing) iLookupStepOpen = iLookupTyping;
  UpdateHistoryActions();
}

void CMainFrame::ShowPage(const std::string& path, bool scrollToFound) {
  iRecordView->ShowPage(PathToQString(path), scrollToFound);
}

void CMainFrame::SetListFont(std::string_view face, int pixelHeight) {
  iList->ApplyFont(ToQString(face), pixelHeight);
  // The subjects offered under the lookup line read like the list's.
  iLookup->SetOfferFont(iList->font());
}

std::optional<int> CMainFrame::ChooseBookmarkToRemove(const std::vector<ql::BookmarkItem>& items) {
  RemoveBookmarkDialog dialog(items, this);
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
  dialog.SetValues(values);
  if (dialog.exec() != QDialog::Accepted) return false;
  values = dialog.Values();
  return true;
}

}  // namespace qlui

// The main window's actions, menus, tool bars and central widgets.
#include "app/MainFrm.h"
#include "app/MainFrmShared.h"

#include "app/AboutFrm.h"
#include "app/BitmapOptionFrm.h"
#include "app/CombineOptionFrm.h"
#include "app/CreateShortCutFrm.h"
#include "app/EffectPanel.h"
#include "app/FileListView.h"
#include "app/FilePreview.h"
#include "app/FolderOptionFrm.h"
#include "app/IniSettings.h"
#include "app/JPEGOptionFrm.h"
#include "app/MainIcons.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/PreviewOptionFrm.h"
#include "app/ProgressFrm2.h"
#include "app/ProgressFrm3.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/TaskbarProgress.h"
#include "core/ErrorLog.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "effects/DecreaseColor.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <QStatusBar>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollArea>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <cstdio>

using namespace mainfrm;

namespace {

// Keeps the repeats of a held key from triggering Action by its shortcut.
// The toolkit marks a repeat as such, but on X11 it can tell only when the
// release and the press that make up a repeat arrive together; a repeat is
// also known here by its press coming at the very moment of the key's last
// release (a fresh press comes later).
class TKeyRepeatFilter : public QObject {
public:
    explicit TKeyRepeatFilter(QAction* Action) : QObject(Action), FAction(Action) { }

    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        const QEvent::Type T = Event->type();
        if (T == QEvent::Shortcut)
            return Watched == FAction && FRepeat;
        if (T != QEvent::KeyRelease && T != QEvent::KeyPress && T != QEvent::ShortcutOverride)
            return false;
        const auto* Key = static_cast<const QKeyEvent*>(Event);
        if (FAction->shortcut().isEmpty() || Key->keyCombination() != FAction->shortcut()[0])
            return false;
        if (T == QEvent::KeyRelease)
            FReleasedAt = Key->timestamp();
        else
            FRepeat = Key->isAutoRepeat() || (FReleasedAt != 0 && Key->timestamp() == FReleasedAt);
        return false;
    }

private:
    QAction* FAction;
    quint64 FReleasedAt = 0; // the key's last release (window system time), 0 when unknown
    bool FRepeat = false;    // the key's last press was a repeat
};

// Action's key starts work (a run, a launcher): a held key must not start it
// again with each repeat, only a fresh press does.
void TakeOnlyFreshPresses(QAction* Action)
{
    Action->setAutoRepeat(false);
    qApp->installEventFilter(new TKeyRepeatFilter(Action));
}

} // namespace

void TMainForm::CreateActions()
{
    auto Make = [this](const char* Text, const char* Name) {
        auto* A = new QAction(Caption(Text), this);
        A->setObjectName(Name);
        A->setToolTip(PlainCaption(Text));
        return A;
    };
    FileAdd = Make("Add Files(&A)...", "FileAdd");
    FileAdd->setIcon(MainIcon(EMainIcon::AddFiles));
    FileAddFolder = Make("Add Folder(&F)...", "FileAddFolder");
    FileAddFolder->setIcon(MainIcon(EMainIcon::AddFolder));
    FileOpenIni = Make("Load Profile(&O)...", "FileOpenIni");
    FileOpenIni->setIcon(MainIcon(EMainIcon::LoadProfile));
    FileSaveIni = Make("Save Profile(&S)...", "FileSaveIni");
    FileSaveIni->setIcon(MainIcon(EMainIcon::SaveProfile));
    FileExit = Make("Exit(&X)", "FileExit");
    FileExit->setIcon(MainIcon(EMainIcon::Exit));

    ListViewDelete = Make("Remove File(&D)", "ListViewDelete");
    ListViewDelete->setIcon(MainIcon(EMainIcon::RemoveFile));
    ListViewClear = Make("Clear File(&C)", "ListViewClear");
    ListViewClear->setIcon(MainIcon(EMainIcon::ClearFiles));
    ListViewClear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    ListViewSelectAll = Make("Select All(&L)", "ListViewSelectAll");
    ListViewSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    ListViewCheck = Make("Check(&S)", "ListViewCheck");
    ListViewCheckReset = Make("Uncheck(&U)", "ListViewCheckReset");
    ListViewCheckReverse = Make("Reverse(&E)", "ListViewCheckReverse");
    ListViewReverseAll = Make("Reverse All(&R)", "ListViewReverseAll");
    ListViewReverseAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    ListViewCheckAlt = Make("Alternately(&A)", "ListViewCheckAlt");
    ListViewPaste = Make("Paste", "ListViewPaste");
    ListViewPaste->setIcon(MainIcon(EMainIcon::Paste));
    ListViewPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));

    ShowThumbnail = Make("Thumbnail(&T)", "ShowThumbnail");
    ShowThumbnail->setCheckable(true);
    IgnoreEmbeddedThumbnail = Make("Ignore Embedded Thumbnails(&I)", "IgnoreEmbeddedThumbnail");
    IgnoreEmbeddedThumbnail->setCheckable(true);

    SetBMPOption = Make("BMP Settings(&B)...", "SetBMPOption");
    SetJPEGOption = Make("JPEG Settings(&J)...", "SetJPEGOption");
    SetPNGOption = Make("PNG Settings(&P)...", "SetPNGOption");
    SetPictureFormat = Make("Format Conversion Settings(&C)...", "SetPictureFormat");
    SetPictureFormat->setIcon(MainIcon(EMainIcon::Format));
    SetOutPutFolder = Make("Output Folder Settings(&F)...", "SetOutPutFolder");
    SetOutPutFolder->setIcon(MainIcon(EMainIcon::OutputFolder));
    SetMetaDataOption = Make("Metadata Settings(&E)...", "SetMetaDataOption");
    SetPreviewOption = Make("External Viewer Settings(&V)...", "SetPreviewOption");
    SetSPIOption = Make("Susie Plug-in Settings(&I)...", "SetSPIOption");
    JPEGTranOption = Make("JPEGTran Settings(&L)...", "JPEGTranOption");
    Combine = Make("Combine Settings(&O)...", "Combine");
    SystemOptionSetting = Make("System Settings(&Z)...", "SystemOptionSetting");
    SystemOptionSetting->setIcon(MainIcon(EMainIcon::Settings));
    CreateShortCut = Make("Create Shortcut(&S)...", "CreateShortCut");
    DeleteShortCut = Make("Delete Shortcut(&D)", "DeleteShortCut");
    EffectPermute = Make("Filter Order(&R)...", "EffectPermute");
    SetResizeOption = Make("Resize Settings(&R)...", "SetResizeOption");
    SetResizeOption->setIcon(MainIcon(EMainIcon::Resize));

    ConvertRun = Make("Run(&R)", "ConvertRun");
    ConvertRun->setIcon(MainIcon(EMainIcon::Run));
    ConvertRun->setShortcut(QKeySequence(Qt::Key_F5));
    // A held key repeats: once a short run has ended, every repeat would
    // start the next one. Only a fresh press starts a run.
    TakeOnlyFreshPresses(ConvertRun);
    Preview = Make("Preview Image(&P)", "Preview");
    Preview->setIcon(MainIcon(EMainIcon::Preview));
    PreviewNewWindow = Make("Preview Image In New Window(&N)", "PreviewNewWindow");
    HelpShow = Make("Help(&H)...", "HelpShow");
    HelpShow->setIcon(MainIcon(EMainIcon::Help));
    HelpShow->setShortcut(QKeySequence(Qt::Key_F1));
    // Each press starts the launcher, which opens a viewer of its own.
    TakeOnlyFreshPresses(HelpShow);
    HelpAbout = Make("About(&A)...", "HelpAbout");
    HelpAbout->setIcon(MainIcon(EMainIcon::About));
    // The list's keys work wherever the focus is in the window. Paste is in
    // no menu bar menu: only an action of a shown widget hears its key.
    for (QAction* A : {ListViewClear, ListViewSelectAll, ListViewReverseAll, ListViewPaste, ConvertRun, HelpShow})
        A->setShortcutContext(Qt::WindowShortcut);
    addAction(ListViewPaste);
    // Tool tips name the key that does the same.
    for (QAction* A : findChildren<QAction*>(Qt::FindDirectChildrenOnly))
        if (!A->shortcut().isEmpty())
            A->setToolTip(
                QStringLiteral("%1 (%2)").arg(A->toolTip(), A->shortcut().toString(QKeySequence::NativeText)));
}

void TMainForm::CreateMenus()
{
    QMenuBar* Bar = menuBar();
    QMenu* File = Bar->addMenu(Caption("File(&F)"));
    File->addActions({FileAdd, FileAddFolder});
    File->addSeparator();
    File->addActions({FileOpenIni, FileSaveIni});
    File->addSeparator();
    File->addAction(FileExit);

    QMenu* List = Bar->addMenu(Caption("List(&L)"));
    List->addActions({ListViewDelete, ListViewClear});
    List->addSeparator();
    List->addActions({ListViewSelectAll, ListViewCheck, ListViewCheckReset, ListViewCheckReverse, ListViewReverseAll,
                      ListViewCheckAlt});

    QMenu* View = Bar->addMenu(Caption("View(&V)"));
    View->addActions({ShowThumbnail, IgnoreEmbeddedThumbnail});

    QMenu* Settings = Bar->addMenu(Caption("Settings(&S)"));
    Settings->addActions(
        {SetBMPOption, SetJPEGOption, SetPNGOption, SetPictureFormat, SetOutPutFolder, SetMetaDataOption});
    Settings->addSeparator();
    Settings->addActions({SetPreviewOption, SetSPIOption});
    Settings->addSeparator();
    Settings->addActions({JPEGTranOption, Combine});
    Settings->addSeparator();
    Settings->addAction(SystemOptionSetting);
    Settings->addSeparator();
    Settings->addActions({CreateShortCut, DeleteShortCut});
    Settings->addSeparator();
    Settings->addAction(EffectPermute);

    QMenu* Convert = Bar->addMenu(Caption("Convert(&C)"));
    Convert->addAction(ConvertRun);

    LanguageMenu = Bar->addMenu(Caption("Language(&A)"));
    LanguageMenu->setObjectName("LanguageMenu");

    QMenu* Help = Bar->addMenu(Caption("Help(&H)"));
    Help->addAction(HelpShow);
    Help->addSeparator();
    Help->addAction(HelpAbout);

    FileListMenu = new QMenu(this);
    FileListMenu->addActions({ListViewDelete, ListViewClear});
    FileListMenu->addSeparator();
    FileListMenu->addActions({ListViewSelectAll, ListViewCheck, ListViewCheckReset, ListViewCheckReverse,
                              ListViewReverseAll, ListViewCheckAlt});
    FileListMenu->addSeparator();
    FileListMenu->addActions({Preview, PreviewNewWindow});
    FileListMenu->addSeparator();
    FileListMenu->addAction(ListViewPaste);
}

void TMainForm::CreateToolBars()
{
    MainToolBar = addToolBar(QStringLiteral("MainToolBar"));
    MainToolBar->setObjectName("MainToolBar");
    MainToolBar->setMovable(false);
    MainToolBar->setIconSize(QSize(20, 20));
    MainToolBar->addActions({FileAdd, FileAddFolder, SetOutPutFolder});
    MainToolBar->addSeparator();
    MainToolBar->addActions({FileOpenIni, FileSaveIni});
    MainToolBar->addSeparator();
    MainToolBar->addActions({ListViewDelete, ListViewClear});
    MainToolBar->addSeparator();
    MainToolBar->addActions({SetPictureFormat, SetResizeOption});
    MainToolBar->addSeparator();
    MainToolBar->addWidget(new QLabel(Tx("Rename Rules") + QLatin1Char(' '), this));
    RenameRuleEdit = new QLineEdit(this);
    RenameRuleEdit->setObjectName("RenameRuleEdit");
    RenameRuleEdit->setMinimumWidth(160);
    MainToolBar->addWidget(RenameRuleEdit);
    RuleHelpButton = new QToolButton(this);
    RuleHelpButton->setObjectName("RuleHelpButton");
    RuleHelpButton->setAutoRaise(true);
    RuleHelpButton->setIcon(MainIcon(EMainIcon::Help));
    RuleHelpButton->setToolTip(Tx(SFileNameFormatHelp).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    MainToolBar->addWidget(RuleHelpButton);
    MainToolBar->addWidget(new QLabel(QLatin1Char(' ') + Tx("Mode") + QLatin1Char(' '), this));
    ModeCombo = new QComboBox(this);
    ModeCombo->setObjectName("ModeCombo");
    for (const char* M : {"Normal", "JPEGTran", "Combine", "Rename Only"})
        ModeCombo->addItem(Tx(M));
    MainToolBar->addWidget(ModeCombo);

    addToolBarBreak();
    SizeToolBar = addToolBar(QStringLiteral("SizeToolBar"));
    SizeToolBar->setObjectName("SizeToolBar");
    SizeToolBar->setMovable(false);
    SizeToolBar->setIconSize(QSize(20, 20));
    cbxResizeRule = new QComboBox(this);
    cbxResizeRule->setObjectName("cbxResizeRule");
    for (const char* R : kRuleTexts)
        cbxResizeRule->addItem(Tx(R));
    cbxResizeRule->setMaxVisibleItems(12);
    SizeToolBar->addWidget(cbxResizeRule);
    auto MakeSide = [this](QWidget*& Panel, QLabel*& Label, QLineEdit*& Edit, QLabel*& Unit, const char* Name) {
        Panel = new QWidget(this);
        auto* L = new QHBoxLayout(Panel);
        L->setContentsMargins(6, 0, 0, 0);
        L->setSpacing(3);
        Label = new QLabel(Panel);
        Edit = new QLineEdit(Panel);
        Edit->setObjectName(Name);
        Edit->setAlignment(Qt::AlignRight);
        Edit->setFixedWidth(64);
        Unit = new QLabel(Panel);
        Unit->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("px ")));
        L->addWidget(Label);
        L->addWidget(Edit);
        L->addWidget(Unit);
        Panel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        return SizeToolBar->addWidget(Panel);
    };
    QAction* P3 = MakeSide(Side1Panel, Side1Label, edtSide1, Side1UnitLabel, "edtSide1");
    QAction* P4 = MakeSide(Side2Panel, Side2Label, edtSide2, Side2UnitLabel, "edtSide2");
    SizeHistoryPanel = new QWidget(this);
    auto* L5 = new QHBoxLayout(SizeHistoryPanel);
    L5->setContentsMargins(6, 0, 0, 0);
    SizeHistoryCombo = new QComboBox(SizeHistoryPanel);
    SizeHistoryCombo->setObjectName("SizeHistoryCombo");
    SizeHistoryCombo->setMaxVisibleItems(kHistoryMax);
    SizeHistoryCombo->setMinimumContentsLength(24);
    SizeHistoryCombo->setFont(QFont(QStringLiteral("monospace"), font().pointSize()));
    L5->addWidget(SizeHistoryCombo);
    SizeHistoryPanel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    QAction* P5 = SizeToolBar->addWidget(SizeHistoryPanel);
    // Panels in a tool bar are shown and hidden through their actions.
    Side1Panel->setProperty("toolAction", QVariant::fromValue(static_cast<QObject*>(P3)));
    Side2Panel->setProperty("toolAction", QVariant::fromValue(static_cast<QObject*>(P4)));
    SizeHistoryPanel->setProperty("toolAction", QVariant::fromValue(static_cast<QObject*>(P5)));
    SizeToolBar->addSeparator();
    SizeToolBar->addActions({ConvertRun, Preview});
    SizeToolBar->addSeparator();
    AtOnceBox = new QCheckBox(Tx("at once"), this);
    AtOnceBox->setObjectName("AtOnceBox");
    SizeToolBar->addWidget(AtOnceBox);
    for (QToolBar* T : {MainToolBar, SizeToolBar})
        T->setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void TMainForm::CreateCentral()
{
    auto* Split = new QSplitter(Qt::Horizontal, this);
    FileListView = new TFileListView(Split);
    FileListView->setObjectName("FileListView");
    FileListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FileListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& P) { FileListMenu->popup(FileListView->viewport()->mapToGlobal(P)); });

    auto* Scroll = new QScrollArea(Split);
    Scroll->setWidgetResizable(true);
    Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    EffectStrip = new TEffectStrip;
    Scroll->setWidget(EffectStrip);
    Scroll->setMinimumWidth(190);
    Split->addWidget(FileListView);
    Split->addWidget(Scroll);
    Split->setStretchFactor(0, 1);
    Split->setStretchFactor(1, 0);
    Split->setCollapsible(0, false);
    Split->setCollapsible(1, false);
    setCentralWidget(Split);

    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(this);
        StatusPanel[i]->setFrameShape(QFrame::StyledPanel);
        StatusPanel[i]->setFixedWidth(i == 0 ? 400 : i == 1 ? 200 : 50);
        statusBar()->addWidget(StatusPanel[i], i == 2 ? 1 : 0);
    }
}

void TMainForm::ConnectActions()
{
    connect(FileOpenIni, &QAction::triggered, this, &TMainForm::FileOpenIniExecute);
    connect(FileSaveIni, &QAction::triggered, this, &TMainForm::FileSaveIniExecute);
    connect(FileExit, &QAction::triggered, this, &QWidget::close);

    connect(ListViewDelete, &QAction::triggered, FileListView, &TFileListView::DeleteSelected);
    connect(ListViewClear, &QAction::triggered, FileListView, &TFileListView::ClearList);
    connect(ListViewSelectAll, &QAction::triggered, FileListView, &TFileListView::SelectAllRows);
    connect(ListViewCheck, &QAction::triggered, FileListView, &TFileListView::CheckSelected);
    connect(ListViewCheckReset, &QAction::triggered, FileListView, &TFileListView::UncheckSelected);
    connect(ListViewCheckReverse, &QAction::triggered, FileListView, &TFileListView::ReverseSelected);
    connect(ListViewReverseAll, &QAction::triggered, FileListView, &TFileListView::ReverseAll);
    connect(ListViewCheckAlt, &QAction::triggered, FileListView, &TFileListView::CheckAlternately);
    connect(ListViewPaste, &QAction::triggered, FileListView, &TFileListView::Paste);
    connect(FileAdd, &QAction::triggered, FileListView, &TFileListView::AddFilesDialog);
    connect(FileAddFolder, &QAction::triggered, FileListView, &TFileListView::AddFolderDialog);
    connect(ShowThumbnail, &QAction::triggered, FileListView, &TFileListView::ShowThumbnailExecute);
    connect(FileListView, &TFileListView::ListStateChanged, this, &TMainForm::OnListStateChanged);
    connect(FileListView, &TFileListView::RunAtOnceRequested, this, &TMainForm::ConvertRunExecute);
    connect(FileListView, &TFileListView::CaptionMessage, this, &QWidget::setWindowTitle);
    connect(Preview, &QAction::triggered, this, [this] { PreviewExecute(false); });
    connect(PreviewNewWindow, &QAction::triggered, this, [this] { PreviewExecute(true); });

    connect(SetBMPOption, &QAction::triggered, this, [this] { ShowDialog<TBitmapOptionForm>(Settings.Bitmap); });
    connect(SetJPEGOption, &QAction::triggered, this, [this] { ShowDialog<TJPEGOptionForm>(Settings.JPEG); });
    connect(SetPNGOption, &QAction::triggered, this, [this] { ShowDialog<TPNGOptionForm>(Settings.PNG); });
    connect(SetPictureFormat, &QAction::triggered, this, [this] { ShowDialog<TPictureFormatForm>(); });
    connect(SetOutPutFolder, &QAction::triggered, this, [this] { ShowDialog<TFolderOptionForm>(); });
    connect(SetMetaDataOption, &QAction::triggered, this, [this] { ShowDialog<TMetadataOptionForm>(); });
    connect(SetPreviewOption, &QAction::triggered, this, [this] {
        if (ShowDialog<TPreviewOptionForm>(Settings.Preview))
            UpdateListState();
    });
    connect(SetSPIOption, &QAction::triggered, this, &TMainForm::SetSPIOptionExecute);
    connect(JPEGTranOption, &QAction::triggered, this, [] {
        if (EffectList && EffectList->JPEGTranEffect())
            EffectList->JPEGTranEffect()->ShowConfigDialog();
    });
    connect(Combine, &QAction::triggered, this, [this] { ShowDialog<TCombineOptionForm>(); });
    connect(SystemOptionSetting, &QAction::triggered, this, &TMainForm::SystemOptionSettingClick);
    connect(CreateShortCut, &QAction::triggered, this, [this] {
        TCreateShortCutForm F(this);
        F.SaveSettings = [this](const std::string& Path) { return SaveIniFile(Path); };
        F.exec();
    });
    connect(DeleteShortCut, &QAction::triggered, this, &TMainForm::DeleteShortCutClick);
    connect(EffectPermute, &QAction::triggered, this, &TMainForm::EffectPermuteExecute);
    connect(SetResizeOption, &QAction::triggered, this, &TMainForm::ShowResizeSettings);
    connect(ConvertRun, &QAction::triggered, this, &TMainForm::ConvertRunExecute);
    connect(HelpShow, &QAction::triggered, this, &TMainForm::HelpShowExecute);
    connect(HelpAbout, &QAction::triggered, this, [this] { ShowDialog<TAboutForm>(); });

    connect(RenameRuleEdit, &QLineEdit::textChanged, this,
            [](const QString& T) { Settings.File.FileNameFormat = T.toStdString(); });
    connect(RuleHelpButton, &QToolButton::clicked, this, [this] {
        QToolTip::showText(RuleHelpButton->mapToGlobal(QPoint(0, RuleHelpButton->height())), RuleHelpButton->toolTip(),
                           RuleHelpButton);
    });
    connect(ModeCombo, &QComboBox::activated, this, &TMainForm::ModeComboChange);
    connect(AtOnceBox, &QCheckBox::clicked, this, &TMainForm::AtOnceBoxClick);
    connect(cbxResizeRule, &QComboBox::activated, this, [this] { cbxResizeRuleChange(); });
}

void TMainForm::BuildLanguageMenu()
{
    LanguageMenu->clear();
    auto* Group = new QActionGroup(LanguageMenu);
    for (size_t i = 0; i < App.LanguageList.size(); ++i) {
        const std::string& L = App.LanguageList[i];
        const size_t Eq = L.find('=');
        const std::string Folder = L.substr(0, Eq);
        const std::string Name = Eq == std::string::npos ? Folder : L.substr(Eq + 1);
        QAction* A = LanguageMenu->addAction(QString::fromStdString(Name.empty() ? Folder : Name));
        A->setCheckable(true);
        A->setChecked(AsciiLower(Folder) == AsciiLower(Settings.System.Language));
        Group->addAction(A);
        const int Tag = int(i);
        connect(A, &QAction::triggered, this, [this, Tag] { LanguageClick(Tag); });
    }
}

void TMainForm::LanguageClick(int Tag)
{
    if (Tag < 0 || size_t(Tag) >= App.LanguageList.size())
        return;
    // Takes effect at the next start; saved with the settings.
    Settings.System.Language = App.LanguageList[size_t(Tag)].substr(0, App.LanguageList[size_t(Tag)].find('='));
}

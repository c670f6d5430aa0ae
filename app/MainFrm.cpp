#include "app/MainFrm.h"

#include "app/AboutFrm.h"
#include "app/BitmapOptionFrm.h"
#include "app/ChangeOrderFrm.h"
#include "app/CombineOptionFrm.h"
#include "app/CreateShortCutFrm.h"
#include "app/EffectPanel.h"
#include "app/FileListView.h"
#include "app/FilePreview.h"
#include "app/ErrorLogFrm.h"
#include "app/FolderOptionFrm.h"
#include "app/IniSettings.h"
#include "app/JPEGOptionFrm.h"
#include "app/MainIcons.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/PreviewOptionFrm.h"
#include "app/ProgressFrm.h"
#include "app/ProgressFrm2.h"
#include "app/ProgressFrm3.h"
#include "app/ResizeOptionFrm.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "app/TaskbarProgress.h"
#include "app/ThumbnailFrm.h"
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
#include "effects/ui/DecreaseColorDlg.h"
#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/AddTextDlg.h"
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/CompositeDlg.h"
#include "effects/ui/GrayscaleDlg.h"
#include "effects/ui/JPEGTranOptionFrm.h"
#include "effects/ui/PreviewBaseFrm.h"
#include "effects/ui/RotationOptionDlg.h"
#include "effects/ui/ToneCurveDlg.h"
#include "effects/ui/TrimmingDlg.h"
#include "effects/ui/UnSharpMaskDlg.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <QAbstractTableModel>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <cstdio>

TMainForm* MainForm = nullptr;

namespace {

constexpr int kHistoryMax = 10;
constexpr const char* kRuleTexts[12] = {"Percent", "Wide Side", "Narrow Side", "Width", "Height", "W x N(%)",
                                        "W x H(%)", "W x N(px)", "W x H(px)", "History", "Inscribed",
                                        "Circumscribed"};

QString Tx(const char* Text) { return QString::fromStdString(LoadResText(Text)); }

// A menu caption such as "Add Files(&A)..." with its mnemonic on the letter
// in the text ("&Add Files..."); when the text lacks that letter the caption
// keeps its "(&X)", which Qt shows as "(X)" with the letter underlined.
QString Caption(const char* Text)
{
    const QString S = Tx(Text);
    const int At = S.indexOf(QLatin1String("(&"));
    if (At < 0 || At + 3 >= S.size() || S[At + 3] != QLatin1Char(')'))
        return S;
    QString Plain = S;
    Plain.remove(At, 4);
    const int Pos = Plain.indexOf(S[At + 2], 0, Qt::CaseInsensitive);
    if (Pos < 0)
        return S;
    return Plain.insert(Pos, QLatin1Char('&'));
}

// Size edits show numbers in the user's form; "." is taken too.
bool EditNumber(const QString& Text, double& Value)
{
    bool Ok = false;
    const QString T = Text.trimmed();
    Value = QLocale().toDouble(T, &Ok);
    if (!Ok)
        Value = QLocale::c().toDouble(T, &Ok);
    return Ok && std::isfinite(Value);
}

QString NumberText(double Value)
{
    QLocale L;
    L.setNumberOptions(QLocale::OmitGroupSeparator);
    return L.toString(Value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

// --------------------------------------------------------------------------
// Creation and destruction

TMainForm::TMainForm(const std::vector<std::string>& Args, QWidget* Parent) : QMainWindow(Parent), FArgs(Args)
{
    setObjectName("MainForm");
    setWindowIcon(ApplicationIcon());
    MainForm = this;

    CreateActions();
    CreateMenus();
    CreateCentral();
    CreateToolBars();
    ConnectActions();
    ThumbnailForm = new TThumbnailForm(this, ShowThumbnail);
    ListView1->SetThumbnailWindow(ThumbnailForm, ShowThumbnail, IgnoreEmbeddedThumbnail);
    FPreview = std::make_unique<TListPreview>(this);

    // What the effect chain and its dialogs need of the window.
    EffectHost = this;
    PreviewFileList = FileList;
    TExtInfoList::TypeNameProvider = [](const std::string& Ext) {
        const QList<QMimeType> Types = QMimeDatabase().mimeTypesForFileName(QStringLiteral("x") +
                                                                           QString::fromStdString(Ext));
        return Types.isEmpty() ? std::string() : Types.front().comment().toStdString();
    };
    auto Selected = [this]() -> int32_t { return CurrentRow(); };
    RegisterAddBlankForm(this, Selected);
    RegisterTrimmingOptionForm(this, Selected);
    RegisterGrayscaleForm(this);
    RegisterRotationOptionForm(this);
    RegisterToneCurveOptionForm(this, Selected);
    RegisterDecreaseColorForm(this);
    RegisterJPEGTranOptionForm(this);
    RegisterColorCorrectionForm(this, Selected);
    RegisterUnSharpMaskOptionForm(this, Selected);
    RegisterAddTextForm(
        this,
        [](int32_t Index, TImgInfo& Img, TAddTextPreviewSource& Names) {
            if (!FileList || Index < 0 || Index >= FileList->Count())
                return false;
            TImageInfo& E = *FileList->Items(Index);
            if (!LoadBeforeImage(E, Img, EFFECT_ADDTEXT, Index))
                return false;
            Names.OldFileName = E.Name();
            Names.NewFileName = ExtractFileName(E.OutPutFileName);
            Names.Time = E.DateTimeOriginal != 0 ? E.DateTimeOriginal : E.DateTimeLastWrite;
            Names.Number = Index;
            return true;
        },
        Selected);
    RegisterCompositeOptionForm(
        this,
        [](int32_t Index, TImgInfo& Img) {
            if (!FileList || Index < 0 || Index >= FileList->Count())
                return false;
            return LoadBeforeImage(*FileList->Items(Index), Img, EFFECT_COMPOSITE, Index);
        },
        Selected);

    if (!ErrorLogForm && !IsNonInteractive())
        ErrorLogForm = new TErrorLogForm(this);
    JPEGTranOption->setVisible(platform::FileExists(JPEGTranPath));

    ApplySettingsToUI(true);
    BuildLanguageMenu();
    UpdateListState();

    ListView1->SetDragDropAccept(true);
    setAcceptDrops(true);

    // The command line's files are listed once the window is up, under the
    // list-up window.
    if (!PathsFromArguments(FArgs).empty())
        QTimer::singleShot(0, this, [this] { ListView1->AddCommandLine(FArgs); });

    if (!KodexLoaded) {
        // Nothing could be read or written: the window closes at once and
        // the next start makes no reservation.
        SystemOption.MemReserve = false;
        QTimer::singleShot(0, this, &QWidget::close);
    } else if (!AtOnceStart) {
        QTimer::singleShot(0, this, [] { ReleaseReservedMemory(); });
    }
}

TMainForm::~TMainForm()
{
    if (EffectHost == this)
        EffectHost = nullptr;
    if (MainForm == this)
        MainForm = nullptr;
    if (ErrorLogForm && ErrorLogForm->parent() == this)
        ErrorLogForm = nullptr;
    PreviewFileList = nullptr;
    // The dialogs must not name a window that is gone.
    RegisterAddBlankForm(nullptr);
    RegisterTrimmingOptionForm(nullptr);
    RegisterGrayscaleForm(nullptr);
    RegisterRotationOptionForm(nullptr);
    RegisterToneCurveOptionForm(nullptr);
    RegisterDecreaseColorForm(nullptr);
    RegisterJPEGTranOptionForm(nullptr);
    RegisterColorCorrectionForm(nullptr);
    RegisterUnSharpMaskOptionForm(nullptr);
    RegisterAddTextForm(nullptr);
    RegisterCompositeOptionForm(nullptr);
}

void TMainForm::CreateActions()
{
    auto Make = [this](const char* Text, const char* Name) {
        auto* A = new QAction(Caption(Text), this);
        A->setObjectName(Name);
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
    FileExit1 = Make("Exit(&X)", "FileExit1");
    FileExit1->setIcon(MainIcon(EMainIcon::Exit));

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
    Preview = Make("Preview Image(&P)", "Preview");
    Preview->setIcon(MainIcon(EMainIcon::Preview));
    Preview2 = Make("Preview Image In New Window(&N)", "Preview2");
    HelpShow = Make("Help(&H)...", "HelpShow");
    HelpShow->setIcon(MainIcon(EMainIcon::Help));
    HelpShow->setShortcut(QKeySequence(Qt::Key_F1));
    HelpAbout = Make("About(&A)...", "HelpAbout");
    HelpAbout->setIcon(MainIcon(EMainIcon::About));
    // The list's keys work wherever the focus is in the window.
    for (QAction* A : {ListViewClear, ListViewSelectAll, ListViewReverseAll, ListViewPaste, ConvertRun, HelpShow})
        A->setShortcutContext(Qt::WindowShortcut);
}

void TMainForm::CreateMenus()
{
    QMenuBar* Bar = menuBar();
    QMenu* File = Bar->addMenu(Caption("File(&F)"));
    File->addActions({FileAdd, FileAddFolder});
    File->addSeparator();
    File->addActions({FileOpenIni, FileSaveIni});
    File->addSeparator();
    File->addAction(FileExit1);

    QMenu* List = Bar->addMenu(Caption("List(&L)"));
    List->addActions({ListViewDelete, ListViewClear});
    List->addSeparator();
    List->addActions({ListViewSelectAll, ListViewCheck, ListViewCheckReset, ListViewCheckReverse,
                      ListViewReverseAll, ListViewCheckAlt});

    QMenu* View = Bar->addMenu(Caption("View(&V)"));
    View->addActions({ShowThumbnail, IgnoreEmbeddedThumbnail});

    QMenu* Settings = Bar->addMenu(Caption("Settings(&S)"));
    Settings->addActions({SetBMPOption, SetJPEGOption, SetPNGOption, SetPictureFormat, SetOutPutFolder,
                          SetMetaDataOption});
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

    LanguageL1 = Bar->addMenu(Caption("Language(&A)"));
    LanguageL1->setObjectName("LanguageL1");

    QMenu* Help = Bar->addMenu(Caption("Help(&H)"));
    Help->addAction(HelpShow);
    Help->addSeparator();
    Help->addAction(HelpAbout);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->addActions({ListViewDelete, ListViewClear});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({ListViewSelectAll, ListViewCheck, ListViewCheckReset, ListViewCheckReverse,
                            ListViewReverseAll, ListViewCheckAlt});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({Preview, Preview2});
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ListViewPaste);
}

void TMainForm::CreateToolBars()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(20, 20));
    ToolBar1->addActions({FileAdd, FileAddFolder, SetOutPutFolder});
    ToolBar1->addSeparator();
    ToolBar1->addActions({FileOpenIni, FileSaveIni});
    ToolBar1->addSeparator();
    ToolBar1->addActions({ListViewDelete, ListViewClear});
    ToolBar1->addSeparator();
    ToolBar1->addActions({SetPictureFormat, SetResizeOption});
    ToolBar1->addSeparator();
    ToolBar1->addWidget(new QLabel(Tx("Rename Rules") + QLatin1Char(' '), this));
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName("Edit2");
    Edit2->setMinimumWidth(160);
    ToolBar1->addWidget(Edit2);
    Image1 = new QToolButton(this);
    Image1->setObjectName("Image1");
    Image1->setAutoRaise(true);
    Image1->setIcon(MainIcon(EMainIcon::Help));
    Image1->setToolTip(Tx(SFileNameFormatHelp).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    ToolBar1->addWidget(Image1);
    ToolBar1->addWidget(new QLabel(QLatin1Char(' ') + Tx("Mode") + QLatin1Char(' '), this));
    ComboBox2 = new QComboBox(this);
    ComboBox2->setObjectName("ComboBox2");
    for (const char* M : {"Normal", "JPEGTran", "Combine", "Rename Only"})
        ComboBox2->addItem(Tx(M));
    ToolBar1->addWidget(ComboBox2);

    addToolBarBreak();
    ToolBar2 = addToolBar(QStringLiteral("ToolBar2"));
    ToolBar2->setObjectName("ToolBar2");
    ToolBar2->setMovable(false);
    ToolBar2->setIconSize(QSize(20, 20));
    cbxResizeRule = new QComboBox(this);
    cbxResizeRule->setObjectName("cbxResizeRule");
    for (const char* R : kRuleTexts)
        cbxResizeRule->addItem(Tx(R));
    cbxResizeRule->setMaxVisibleItems(12);
    ToolBar2->addWidget(cbxResizeRule);
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
        return ToolBar2->addWidget(Panel);
    };
    QAction* P3 = MakeSide(Panel3, Label4, edtSide1, Label5, "edtSide1");
    QAction* P4 = MakeSide(Panel4, Label6, edtSide2, Label7, "edtSide2");
    Panel5 = new QWidget(this);
    auto* L5 = new QHBoxLayout(Panel5);
    L5->setContentsMargins(6, 0, 0, 0);
    ComboBox1 = new QComboBox(Panel5);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setMaxVisibleItems(kHistoryMax);
    ComboBox1->setMinimumContentsLength(24);
    ComboBox1->setFont(QFont(QStringLiteral("monospace"), font().pointSize()));
    L5->addWidget(ComboBox1);
    Panel5->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    QAction* P5 = ToolBar2->addWidget(Panel5);
    // Panels in a tool bar are shown and hidden through their actions.
    Panel3->setProperty("toolAction", QVariant::fromValue(static_cast<QObject*>(P3)));
    Panel4->setProperty("toolAction", QVariant::fromValue(static_cast<QObject*>(P4)));
    Panel5->setProperty("toolAction", QVariant::fromValue(static_cast<QObject*>(P5)));
    ToolBar2->addSeparator();
    ToolBar2->addActions({ConvertRun, Preview});
    ToolBar2->addSeparator();
    CheckBox1 = new QCheckBox(Tx("at once"), this);
    CheckBox1->setObjectName("CheckBox1");
    ToolBar2->addWidget(CheckBox1);
    for (QToolBar* T : {ToolBar1, ToolBar2})
        T->setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void TMainForm::CreateCentral()
{
    auto* Split = new QSplitter(Qt::Horizontal, this);
    ListView1 = new TFileListView(Split);
    ListView1->setObjectName("ListView1");
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& P) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(P)); });

    auto* Scroll = new QScrollArea(Split);
    Scroll->setWidgetResizable(true);
    Scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Panel8 = new TEffectStrip;
    Scroll->setWidget(Panel8);
    Scroll->setMinimumWidth(190);
    Split->addWidget(ListView1);
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
    connect(FileExit1, &QAction::triggered, this, &QWidget::close);

    connect(ListViewDelete, &QAction::triggered, ListView1, &TFileListView::DeleteSelected);
    connect(ListViewClear, &QAction::triggered, ListView1, &TFileListView::ClearList);
    connect(ListViewSelectAll, &QAction::triggered, ListView1, &TFileListView::SelectAllRows);
    connect(ListViewCheck, &QAction::triggered, ListView1, &TFileListView::CheckSelected);
    connect(ListViewCheckReset, &QAction::triggered, ListView1, &TFileListView::UncheckSelected);
    connect(ListViewCheckReverse, &QAction::triggered, ListView1, &TFileListView::ReverseSelected);
    connect(ListViewReverseAll, &QAction::triggered, ListView1, &TFileListView::ReverseAll);
    connect(ListViewCheckAlt, &QAction::triggered, ListView1, &TFileListView::CheckAlternately);
    connect(ListViewPaste, &QAction::triggered, ListView1, &TFileListView::Paste);
    connect(FileAdd, &QAction::triggered, ListView1, &TFileListView::AddFilesDialog);
    connect(FileAddFolder, &QAction::triggered, ListView1, &TFileListView::AddFolderDialog);
    connect(ShowThumbnail, &QAction::triggered, ListView1, &TFileListView::ShowThumbnailExecute);
    connect(ListView1, &TFileListView::ListStateChanged, this, &TMainForm::OnListStateChanged);
    connect(ListView1, &TFileListView::RunAtOnceRequested, this, &TMainForm::ConvertRunExecute);
    connect(ListView1, &TFileListView::CaptionMessage, this, &QWidget::setWindowTitle);
    connect(Preview, &QAction::triggered, this, [this] { PreviewExecute(false); });
    connect(Preview2, &QAction::triggered, this, [this] { PreviewExecute(true); });

    connect(SetBMPOption, &QAction::triggered, this, [this] { ShowDialog<TBitmapOptionForm>(BitmapOption); });
    connect(SetJPEGOption, &QAction::triggered, this, [this] { ShowDialog<TJPEGOptionForm>(JPEGOption); });
    connect(SetPNGOption, &QAction::triggered, this, [this] { ShowDialog<TPNGOptionForm>(PNGOption); });
    connect(SetPictureFormat, &QAction::triggered, this, [this] { ShowDialog<TPictureFormatForm>(); });
    connect(SetOutPutFolder, &QAction::triggered, this, [this] { ShowDialog<TFolderOptionForm>(); });
    connect(SetMetaDataOption, &QAction::triggered, this, [this] { ShowDialog<TMetadataOptionForm>(); });
    connect(SetPreviewOption, &QAction::triggered, this, [this] {
        if (ShowDialog<TPreviewOptionForm>(PreviewOption))
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

    connect(Edit2, &QLineEdit::textChanged, this,
            [](const QString& T) { FileOption.FileNameFormat = T.toStdString(); });
    connect(Image1, &QToolButton::clicked, this,
            [this] { QToolTip::showText(Image1->mapToGlobal(QPoint(0, Image1->height())), Image1->toolTip(), Image1); });
    connect(ComboBox2, &QComboBox::activated, this, &TMainForm::ComboBox2Change);
    connect(CheckBox1, &QCheckBox::clicked, this, &TMainForm::CheckBox1Click);
    connect(cbxResizeRule, &QComboBox::activated, this, [this] { cbxResizeRuleChange(); });
}

void TMainForm::BuildLanguageMenu()
{
    LanguageL1->clear();
    auto* Group = new QActionGroup(LanguageL1);
    for (size_t i = 0; i < LanguageList.size(); ++i) {
        const std::string& L = LanguageList[i];
        const size_t Eq = L.find('=');
        const std::string Folder = L.substr(0, Eq);
        const std::string Name = Eq == std::string::npos ? Folder : L.substr(Eq + 1);
        QAction* A = LanguageL1->addAction(QString::fromStdString(Name.empty() ? Folder : Name));
        A->setCheckable(true);
        A->setChecked(AsciiLower(Folder) == AsciiLower(SystemOption.Language));
        Group->addAction(A);
        const int Tag = int(i);
        connect(A, &QAction::triggered, this, [this, Tag] { LanguageClick(Tag); });
    }
}

void TMainForm::LanguageClick(int Tag)
{
    if (Tag < 0 || size_t(Tag) >= LanguageList.size())
        return;
    // Takes effect at the next start; saved with the settings.
    SystemOption.Language = LanguageList[size_t(Tag)].substr(0, LanguageList[size_t(Tag)].find('='));
}

void TMainForm::closeEvent(QCloseEvent* Event)
{
    if (FClosing) {
        Event->accept();
        return;
    }
    FClosing = true;
    ListView1->SetDragDropAccept(false);
    setAcceptDrops(false);
    ThumbnailForm->hide(); // keeps its place beside the window
    if (IniFileName == GetSettingsFileName({}))
        SaveIniFile(IniFileName);
    else if (FileOption.ResetType == 2)
        SaveIniFile2(IniFileName);
    Event->accept();
}

// --------------------------------------------------------------------------
// Settings

void TMainForm::StoreWindowState()
{
    TWindowSettings& W = WindowSettings;
    W.Left = x();
    W.Top = y();
    W.ClientWidth = width();
    W.ClientHeight = height();
    W.Header = ListView1->ColumnWidths();
    FileOption.FileNameFormat = Edit2->text().toStdString();
    ThumbnailWindowSettings.Visible = ShowThumbnail->isChecked();
    ThumbnailWindowSettings.UseEmbeddedThumbnail = !IgnoreEmbeddedThumbnail->isChecked();

    const int Rule = cbxResizeRule->currentIndex();
    ResizeOption.Rule = Rule < 0 ? 0 : Rule;
    if (Rule >= 0 && Rule != 9) {
        double V;
        ResizeOption.Size1[size_t(Rule)] = EditNumber(edtSide1->text(), V) ? V : BuiltinSize1[size_t(Rule)];
        ResizeOption.Size2[size_t(Rule)] = EditNumber(edtSide2->text(), V) ? V : BuiltinSize2[size_t(Rule)];
    }
    ResizeOption.History = JoinCommaText(ResizeHistory);
}

bool TMainForm::SaveIniFile(const std::string& FileName)
{
    StoreWindowState();
    return ::SaveIniFile(FileName);
}

bool TMainForm::SaveIniFile2(const std::string& FileName) { return ::SaveIniFile2(FileName); }

void TMainForm::LoadProfile(const std::string& FileName, bool WithBounds)
{
    LoadIniFile(FileName);
    ApplySettingsToUI(WithBounds);
}

void TMainForm::ApplySettingsToUI(bool WithBounds)
{
    if (UIFontSize > 0 && !UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize));
    if (EffectList)
        EffectList->UpDateMenu();

    if (WithBounds) {
        const TWindowSettings& W = WindowSettings;
        if (W.Left >= 0 && W.Top >= 0)
            move(W.Left, W.Top);
        if (W.ClientWidth > 0 && W.ClientHeight > 0)
            resize(W.ClientWidth, W.ClientHeight);
        else
            resize(1100, 640);
        if (WorkAreaRight > 0 && WorkAreaBottom > 0) {
            if (x() + width() > WorkAreaRight || y() + height() > WorkAreaBottom)
                move(0, 0);
            if (x() + width() > WorkAreaRight)
                resize(WorkAreaRight, height());
            if (y() + height() > WorkAreaBottom)
                resize(width(), WorkAreaBottom);
        }
        ListView1->SetColumnWidths(W.Header);
    }

    // The size history and the edits.
    ResizeHistory = SplitCommaText(ResizeOption.History);
    ComboBox1->clear();
    for (const std::string& E : ResizeHistory)
        ComboBox1->addItem(HistoryLine(E));
    edtSide1->setText(NumberText(ResizeOption.Size1[size_t(std::clamp(OldRule, 0, 11))]));
    edtSide2->setText(NumberText(ResizeOption.Size2[size_t(std::clamp(OldRule, 0, 11))]));
    cbxResizeRule->setCurrentIndex(ResizeOption.Rule);
    cbxResizeRuleChange();

    Edit2->setText(QString::fromStdString(FileOption.FileNameFormat));
    ComboBox2->setCurrentIndex(RunMode);
    if (CheckBox1->isChecked() != FileOption.AtOnce) {
        CheckBox1->setChecked(FileOption.AtOnce);
        CheckBox1Click(FileOption.AtOnce);
    }
    UpdateListState();
    IgnoreEmbeddedThumbnail->setChecked(!ThumbnailWindowSettings.UseEmbeddedThumbnail);
    ShowThumbnail->setChecked(ThumbnailWindowSettings.Visible);
    IgnoreEmbeddedThumbnail->setEnabled(ShowThumbnail->isChecked());
    UpdateCaption();
    // Never placed yet: beside the window's right edge (the thumbnail
    // window falls back to a place on the screen when that is off it).
    if (ThumbnailWindowSettings.Left == -65535 && ThumbnailWindowSettings.Top == -65535) {
        ThumbnailWindowSettings.Left = frameGeometry().width() + 4;
        ThumbnailWindowSettings.Top = 0;
    }
    ThumbnailForm->SetWndPosition();
}

void TMainForm::UpdateCaption()
{
    QString Title = QStringLiteral("Vestro Image Resizer");
    if (!SystemOption.Caption.empty()) {
        QString C = QString::fromStdString(SystemOption.Caption);
        C.replace(QLatin1String("%ini"), QString::fromStdString(ExtractFileName(IniFileName)), Qt::CaseSensitive);
        Title += QStringLiteral(" - ") + C;
    }
    setWindowTitle(Title);
}

// --------------------------------------------------------------------------
// Questions

bool TMainForm::Ask(const QString& Text)
{
    if (Confirm)
        return Confirm(Text);
    if (IsNonInteractive())
        return false;
    return QMessageBox::question(this, windowTitle(), Text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

void TMainForm::Tell(const QString& Text)
{
    if (Notice)
        Notice(Text);
    else if (IsNonInteractive())
        std::fprintf(stderr, "%s\n", qPrintable(Text));
    else
        QMessageBox::information(this, windowTitle(), Text);
}

template <class TForm, class... TArgs> bool TMainForm::ShowDialog(TArgs&&... Args)
{
    TForm F(std::forward<TArgs>(Args)..., this);
    return F.exec() == QDialog::Accepted;
}

// --------------------------------------------------------------------------
// Size rule and history

QString TMainForm::HistoryLine(const std::string& Entry) const
{
    const std::vector<std::string> P = SplitCommaText(Entry);
    int Rule = 0;
    try {
        Rule = P.empty() ? 0 : std::stoi(P[0]);
    } catch (const std::exception&) {
        Rule = 0;
    }
    if (Rule < 0 || Rule > 11)
        Rule = 0;
    const QString Side1 = P.size() > 1 ? QString::fromStdString(P[1]) : QString();
    const QString Side2 = P.size() > 2 ? QString::fromStdString(P[2]) : QString();
    const QString Text = cbxResizeRule->itemText(Rule).leftJustified(15);
    return Rule < 5 ? QStringLiteral("%1 %2").arg(Text, Side1) : QStringLiteral("%1 %2 x %3").arg(Text, Side1, Side2);
}

void TMainForm::cbxResizeRuleChange()
{
    if (OldRule >= 0 && OldRule <= 11 && OldRule != 9) {
        double V;
        if (EditNumber(edtSide1->text(), V))
            ResizeOption.Size1[size_t(OldRule)] = V;
        if (EditNumber(edtSide2->text(), V))
            ResizeOption.Size2[size_t(OldRule)] = V;
    }
    const int R = std::max(cbxResizeRule->currentIndex(), 0);
    auto Show = [](QWidget* Panel, bool On) {
        if (auto* A = qobject_cast<QAction*>(Panel->property("toolAction").value<QObject*>()))
            A->setVisible(On);
        else
            Panel->setVisible(On);
    };
    Show(Panel3, R != 9);
    Show(Panel4, R != 9 && R > 4);
    Show(Panel5, R == 9);
    if (R == 9) {
        ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
    } else {
        static const char* const Label1Of[12] = {SScale, SWide, SNarrow, SWidth, SHeight, SWide,
                                                 SWidth, SWide, SWidth, "",      SWidth,  SWidth};
        static const char* const Label2Of[12] = {"", "", "", "", "", SNarrow, SHeight, SNarrow, SHeight, "", SHeight,
                                                 SHeight};
        const QString Unit = (R == 0 || R == 5 || R == 6) ? QStringLiteral("%") : QStringLiteral("px");
        Label4->setText(Tx(Label1Of[R]));
        Label6->setText(*Label2Of[R] ? Tx(Label2Of[R]) : QString());
        Label5->setText(Unit);
        Label7->setText(Unit);
        edtSide1->setText(NumberText(ResizeOption.Size1[size_t(R)]));
        edtSide2->setText(NumberText(ResizeOption.Size2[size_t(R)]));
    }
    OldRule = R;
}

std::string TMainForm::HistoryEntryOf(int Rule) const
{
    const std::string S1 = edtSide1->text().toStdString();
    const std::string S2 = Rule >= 5 ? edtSide2->text().toStdString() : S1;
    return std::to_string(Rule) + "," + S1 + "," + S2;
}

void TMainForm::MoveHistoryToTop(int Index)
{
    if (Index <= 0 || size_t(Index) >= ResizeHistory.size())
        return;
    std::rotate(ResizeHistory.begin(), ResizeHistory.begin() + Index, ResizeHistory.begin() + Index + 1);
    const QString Line = ComboBox1->itemText(Index);
    ComboBox1->removeItem(Index);
    ComboBox1->insertItem(0, Line);
}

bool TMainForm::SetResizeParam()
{
    const int R = std::max(cbxResizeRule->currentIndex(), 0);
    if (R == 9) {
        const int K = ComboBox1->currentIndex();
        if (K < 0 || size_t(K) >= ResizeHistory.size()) {
            Tell(Tx("The size history is empty: choose a size rule and its sizes."));
            return false;
        }
        const std::vector<std::string> P = SplitCommaText(ResizeHistory[size_t(K)]);
        int Rule = 0;
        double V1 = 0, V2 = 0;
        try {
            Rule = P.empty() ? 0 : std::stoi(P[0]);
        } catch (const std::exception&) {
            Rule = 0;
        }
        if (P.size() > 1)
            EditNumber(QString::fromStdString(P[1]), V1);
        if (P.size() > 2)
            EditNumber(QString::fromStdString(P[2]), V2);
        if (EffectList)
            EffectList->SetResizeParam(Rule, V1, V2);
        MoveHistoryToTop(K);
        ComboBox1->setCurrentIndex(0);
        return true;
    }
    double V1, V2;
    if (!EditNumber(edtSide1->text(), V1))
        V1 = ResizeOption.Size1[size_t(R)];
    if (!EditNumber(edtSide2->text(), V2))
        V2 = ResizeOption.Size2[size_t(R)];
    edtSide1->setText(NumberText(V1));
    edtSide2->setText(NumberText(V2));
    const std::string Entry = HistoryEntryOf(R);
    const auto It = std::find(ResizeHistory.begin(), ResizeHistory.end(), Entry);
    if (It != ResizeHistory.end()) {
        MoveHistoryToTop(int(It - ResizeHistory.begin()));
    } else {
        ResizeHistory.insert(ResizeHistory.begin(), Entry);
        ComboBox1->insertItem(0, HistoryLine(Entry));
        while (ResizeHistory.size() > size_t(kHistoryMax)) {
            ResizeHistory.pop_back();
            ComboBox1->removeItem(ComboBox1->count() - 1);
        }
    }
    if (EffectList)
        EffectList->SetResizeParam(R, V1, V2);
    return true;
}

// --------------------------------------------------------------------------
// The effect chain's host

void TMainForm::UpdateEffectStrip(TEffectList& List)
{
    const TEffect* DC = List.DecreaseColorEffect();
    const bool HasTool = DC && dynamic_cast<const TDecreaseColorEffect*>(DC) &&
                         static_cast<const TDecreaseColorEffect*>(DC)->FMode != 0;
    Panel8->Rebuild(List, HasTool);
    UpdateListState();
}

void TMainForm::ShowResizeSettings()
{
    TResizeOptionForm F(ResizeOption, this);
    if (F.exec() != QDialog::Accepted)
        return;
    ::SetResizeFilters(0, ResizeOption.InterpolationMode, 0);
    if (MainResizer)
        MainResizer->SetMaxThreadNum(int32_t(ResizeOption.MaxThread));
    SetSharedFilterThreads(std::max<uint32_t>(ResizeOption.MaxThread, 1));
}

void TMainForm::PushSizeRule() { SetResizeParam(); }

std::string TMainForm::RenameRule() { return Edit2->text().toStdString(); }

void TMainForm::SetResizeFilters(int32_t Decimation, int32_t Interpolation, int32_t SIMDMode)
{
    ::SetResizeFilters(Decimation, Interpolation, SIMDMode);
}

// --------------------------------------------------------------------------
// Modes

void TMainForm::ComboBox2Change(int Index)
{
    if (Index == RunMode)
        return;
    if (Index == 1 && FileList && FileList->Count() > 0) {
        if (!Ask(Tx(SRemoveNonJPEGFiles))) {
            ComboBox2->setCurrentIndex(RunMode);
            return;
        }
        SetJPEGTranMode();
    }
    RunMode = Index;
    if (TEffect* J = EffectList ? EffectList->JPEGTranEffect() : nullptr)
        J->SetUse(Index == 1);
    CombineOption.Use = Index == 2;
    FileOption.RenameOnly = Index == 3;
    UpdateListState();
}

void TMainForm::SetJPEGTranMode()
{
    if (!FileList || FileList->Count() == 0)
        return;
    ListView1->HideThumbnail();
    std::vector<int> Others;
    for (int i = FileList->Count() - 1; i >= 0; --i) {
        TImageInfo& E = *FileList->Items(i);
        if (E.PictureFormat == pfUnknown)
            GetImageInfo(E.Path(), E);
        if (E.PictureFormat != pfJPEG)
            Others.push_back(i);
    }
    ListView1->Model()->DeleteRows(Others);
    UpdateListState();
}

void TMainForm::CheckBox1Click(bool Checked)
{
    FileOption.AtOnce = Checked;
    if (Checked && FileList && FileList->Count() > 0) {
        if (Ask(Tx(SRemoveAllFiles))) {
            ListView1->ClearList();
        } else {
            CheckBox1->setChecked(false);
            FileOption.AtOnce = false;
        }
    }
}

void TMainForm::SystemOptionSettingClick()
{
    if (!ShowDialog<TSystemOptionForm>())
        return;
    if (FileOption.AtOnce && FileList && FileList->Count() > 0) {
        if (Ask(Tx(SRemoveAllFiles)))
            ListView1->ClearList();
        else
            FileOption.AtOnce = false;
    }
    CheckBox1->setChecked(FileOption.AtOnce);
    UpdateCaption();
}

void TMainForm::SetSPIOptionExecute()
{
    if (FileList && FileList->Count() > 0) {
        if (!Ask(Tx(SRemoveAllFiles)))
            return;
        ListView1->ClearList();
    }
    ShowDialog<TSusiePluginOptionForm>();
    // Whatever the dialog's result: the plug-ins as the order now names them.
    if (SPIList) {
        SPIList->ReleaseSPI();
        std::string Names;
        TSPIList::GetUseSPINames(SPIOrder, Names);
        if (!Names.empty())
            SPIList->LoadSPI(SPIPath, Names);
    }
}

void TMainForm::DeleteShortCutClick() { DeleteShortcutFiles(); }

void TMainForm::EffectPermuteExecute()
{
    if (!EffectList)
        return;
    TChangeOrderForm F(*EffectList, this);
    F.exec();
}

void TMainForm::HelpShowExecute()
{
    const QString Readme = QString::fromStdString(ExeDir + "README.md");
    const QUrl Url = QFileInfo::exists(Readme) ? QUrl::fromLocalFile(Readme) : QUrl(QString::fromLatin1(ProductWebAddress));
    QDesktopServices::openUrl(Url);
}

void TMainForm::FileOpenIniExecute()
{
    const QString Name = QFileDialog::getOpenFileName(this, Tx("Load inifile"), QString::fromStdString(IniDir),
                                                      Tx("inifile (*.ini)"));
    if (Name.isEmpty())
        return;
    if (FileOption.ResetType == 2) {
        try {
            TMemIniFile Ini(IniFileName);
            Ini.WriteInteger("File", "StartNumber", FileOption.StartNumber);
            Ini.UpdateFile();
        } catch (const std::exception& E) {
            std::fprintf(stderr, "%s\n", E.what());
        }
    }
    LoadProfile(Name.toStdString(), false);
    ::SetResizeFilters(1, ResizeOption.InterpolationMode, ResizeOption.SIMDMode);
    if (MainResizer)
        MainResizer->SetMaxThreadNum(int32_t(ResizeOption.MaxThread));
    SetSharedFilterThreads(std::max<uint32_t>(ResizeOption.MaxThread, 1));
    ShowThumbnail->setChecked(ThumbnailWindowSettings.Visible);
    UpdateCaption();
    RefreshFileList();
}

void TMainForm::FileSaveIniExecute()
{
    QString Name = QFileDialog::getSaveFileName(this, Tx("Save inifile"), QString::fromStdString(IniDir),
                                                Tx("inifile (*.ini)"));
    if (Name.isEmpty())
        return;
    if (QFileInfo(Name).suffix().isEmpty())
        Name += QStringLiteral(".ini");
    if (SaveIniFile(Name.toStdString())) {
        IniFileName = Name.toStdString();
        UpdateCaption();
    }
}

// --------------------------------------------------------------------------
// The list

std::vector<int> TMainForm::SelectedRows() const { return ListView1->SelectedRows(); }

int TMainForm::CurrentRow() const
{
    const int Row = ListView1->CurrentRow();
    if (Row >= 0)
        return Row;
    const std::vector<int> Rows = SelectedRows();
    return Rows.empty() ? -1 : Rows.front();
}

void TMainForm::UpdateListState() { ListView1->UpdateListState(); }

void TMainForm::OnListStateChanged(const TListState& State)
{
    for (QAction* A : {ListViewClear, ConvertRun, ListViewCheckAlt, ListViewSelectAll, ListViewReverseAll})
        A->setEnabled(State.Count > 0);
    for (QAction* A : {ListViewDelete, ListViewCheck, ListViewCheckReset, ListViewCheckReverse})
        A->setEnabled(State.HasSelection);
    Preview->setEnabled(State.CanPreview);
    Preview2->setEnabled(State.CanPreview2);
    StatusPanel[1]->setText(State.CountText);
}

void TMainForm::AddPaths(const std::vector<std::string>& Paths) { ListView1->AddPaths(Paths); }

void TMainForm::HandOff(const std::vector<std::string>& Args) { ListView1->AddHandOff(Args); }

void TMainForm::dragEnterEvent(QDragEnterEvent* Event)
{
    if (ListView1->DragDropAccept() && Event->mimeData()->hasUrls())
        Event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* Event)
{
    if (!ListView1->DragDropAccept())
        return;
    std::vector<std::string> Paths;
    for (const QUrl& U : Event->mimeData()->urls())
        if (U.isLocalFile())
            Paths.push_back(U.toLocalFile().toStdString());
    Event->acceptProposedAction();
    ListView1->AddPaths(Paths);
}

void TMainForm::RefreshFileList() { ListView1->RefreshFileList(); }

void TMainForm::PreviewExecute(bool NewWindow)
{
    if (!SetResizeParam())
        return;
    FPreview->Execute(CurrentRow(), NewWindow);
}

// --------------------------------------------------------------------------
// The run

void TMainForm::RemoveConvertedEntries(const std::vector<bool>& Converted)
{
    if (!FileList)
        return;
    ListView1->HideThumbnail();
    std::vector<int> Rows;
    for (int i = 0; i < std::min(FileList->Count(), int(Converted.size())); ++i)
        if (Converted[size_t(i)] && FileList->Items(i)->Checked)
            Rows.push_back(i);
    ListView1->Model()->DeleteRows(Rows);
}

void TMainForm::ConvertRunExecute()
{
    ListView1->SetDragDropAccept(false);
    setAcceptDrops(false);
    // Hand-offs kept meanwhile are listed when drops are taken again.
    auto Reopen = [this] {
        ListView1->SetDragDropAccept(!AtOnceStart);
        setAcceptDrops(!AtOnceStart);
    };
    if (!SetResizeParam()) {
        Reopen();
        return;
    }
    ::SetResizeFilters(ResizeOption.DecimationMode, 0, ResizeOption.SIMDMode);
    const bool WithCommand = SystemOption.UseExternalTool && !SystemOption.Command.empty();
    const std::vector<std::string> Command =
        WithCommand ? AfterRunArguments(SystemOption.Command, FileOption.OutputDirectory) : std::vector<std::string>();

    const bool UsesList = !(FileOption.AtOnce && ImageFileList && !ImageFileList->empty());
    const int Listed = UsesList && FileList ? FileList->Count() : 0;
    std::vector<bool> Converted(size_t(Listed), false);
    bool Finished = false;
    if (!CombineOption.Use || FileOption.RenameOnly) {
        TProgressForm Run(false, {}, this);
        QTimer::singleShot(0, &Run, [&Run] { Run.StartRun(); });
        Finished = Run.exec() == 1;
        // A run that did not finish must not go on showing the time of the
        // one before: a cancel says what it left undone.
        if (Finished) {
            StatusPanel[0]->setText(QString::fromStdString(Run.ResultText()));
        } else if (Run.Canceled()) {
            int Asked, Written;
            Run.CountWritten(Asked, Written);
            StatusPanel[0]->setText(QString::fromStdString(CancelledRunText(Asked - Written, Asked)));
        } else {
            StatusPanel[0]->clear();
        }
        for (int i = 0; i < Listed; ++i)
            Converted[size_t(i)] = Run.Converted(i);
    } else {
        TProgressForm2 Run(false, {}, this);
        QTimer::singleShot(0, &Run, [&Run] { Run.StartRun(); });
        Finished = Run.exec() == 1;
        if (Finished)
            StatusPanel[0]->setText(QString::fromStdString(Run.ResultText()));
        else
            StatusPanel[0]->setText(Run.Canceled() ? Tx("Cancelled") : QString());
        // Sheets are made of every checked entry: a finished run without
        // errors used them all.
        const bool Clean = Finished && ErrorLog.GetErrorCount() == 0;
        for (int i = 0; i < Listed; ++i)
            Converted[size_t(i)] = Clean;
    }
    if (ImageFileList)
        ImageFileList->clear();
    if (Finished && ErrorLog.GetErrorCount() == 0) {
        if (WithCommand && !StartProcess(Command))
            std::fprintf(stderr, "Cannot start %s\n", SystemOption.Command.c_str());
        if (!FileOption.SameDirectory && FileOption.ShowDirectory && !IsNonInteractive())
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(FileOption.OutputDirectory)));
    }
    if (ErrorLog.GetErrorCount() > 0) {
        TTaskbarProgress Taskbar;
        Taskbar.SetError();
        ShowErrorLogIfAny();
        Taskbar.Clear();
    }
    ::SetResizeFilters(1, 0, ResizeOption.SIMDMode);
    if (FileOption.RemoveList)
        RemoveConvertedEntries(Converted);
    ListView1->ReloadList();
    RefreshFileList();
    Reopen();
}

#include "app/CreateShortCutFrm.h"
#include "app/WindowFuncs.h"

#include "app/IniSettings.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"
#include "effects/ui/WindowLook.h"
#include "platform/SysInfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Every entry we make carries this key; only such files are ever deleted from
// the list, so an edited list cannot make us delete anything else.
constexpr const char OwnMark[] = "X-Vestro-Shortcut=true";
// Entries are a few hundred bytes; anything far larger is not ours.
constexpr uintmax_t MaxEntrySize = 64 * 1024;

QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

// Escapes of a string value in a desktop entry (applied after the Exec quoting).
std::string EscapeValue(const std::string& S)
{
    std::string R;
    for (char c : S) {
        switch (c) {
        case '\\':
            R += "\\\\";
            break;
        case '\n':
            R += "\\n";
            break;
        case '\t':
            R += "\\t";
            break;
        case '\r':
            R += "\\r";
            break;
        default:
            R += c;
        }
    }
    if (!R.empty() && R.front() == ' ')
        R.replace(0, 1, "\\s");
    return R;
}

std::string UnescapeValue(const std::string& S)
{
    std::string R;
    for (size_t i = 0; i < S.size(); ++i) {
        if (S[i] != '\\' || i + 1 == S.size()) {
            R += S[i];
            continue;
        }
        switch (S[++i]) {
        case 's':
            R += ' ';
            break;
        case 'n':
            R += '\n';
            break;
        case 't':
            R += '\t';
            break;
        case 'r':
            R += '\r';
            break;
        case '\\':
            R += '\\';
            break;
        default:
            R += '\\';
            R += S[i];
        }
    }
    return R;
}

// Splits an unescaped Exec value into arguments by the quoting rules; field
// codes (%F, %U, ...) are dropped and %% becomes %.
std::vector<std::string> SplitExec(const std::string& S)
{
    std::vector<std::string> Args;
    std::string Cur;
    bool InArg = false, Quoted = false, WasQuoted = false;
    auto Finish = [&] {
        if (InArg && (WasQuoted || !(Cur.size() == 2 && Cur[0] == '%')))
            Args.push_back(Cur);
        Cur.clear();
        InArg = WasQuoted = false;
    };
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (Quoted) {
            if (c == '"')
                Quoted = false;
            else if (c == '\\' && i + 1 < S.size())
                Cur += S[++i];
            else if (c == '%' && i + 1 < S.size() && S[i + 1] == '%')
                Cur += S[++i];
            else
                Cur += c;
        } else if (c == ' ' || c == '\t') {
            Finish();
        } else if (c == '"') {
            InArg = Quoted = WasQuoted = true;
        } else if (c == '%' && i + 1 < S.size() && S[i + 1] == '%') {
            InArg = true;
            Cur += S[++i];
            WasQuoted = true; // a literal %, not a field code
        } else {
            InArg = true;
            Cur += c;
        }
    }
    Finish();
    return Args;
}

std::string LowerAscii(std::string S)
{
    for (char& c : S)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return S;
}

// A name that stays a single file name in its folder: not empty, no "/", no
// control characters (a line break would break the list and the entry), not
// "." or "..".
bool IsPlainFileName(const std::string& Name)
{
    if (Name.empty() || Name == "." || Name == "..")
        return false;
    return std::none_of(Name.begin(), Name.end(),
                        [](char c) { return c == '/' || (unsigned char)c < 0x20 || c == 0x7f; });
}

std::string ShortcutListPath()
{
    return Startup.DataDir + ShortCutListFileName;
}

// The profile an old shortcut named, when it may be deleted: a plain file
// name in the ini folder, a regular file, and neither the default settings
// file (named after the program) nor the one this program runs with. Any
// other name, "Vestro.ini" of the name the dialog offers included, is the
// shortcut's own profile.
std::string DeletableOldProfile(const std::string& Arguments)
{
    std::string Args = Arguments;
    if (Args.size() >= 2 && Args.front() == '"' && Args.back() == '"')
        Args = Args.substr(1, Args.size() - 2);
    const size_t At = LowerAscii(Args).find("/ini=");
    if (At == std::string::npos)
        return {};
    const std::string Name = Args.substr(At + 5);
    if (!IsPlainFileName(Name))
        return {};
    const std::string DefaultName = fs::path(platform::ExecutablePath()).filename().replace_extension(".ini").string();
    if (LowerAscii(Name) == LowerAscii(DefaultName))
        return {};
    const std::string Path = Startup.IniDir + Name;
    std::error_code Error;
    if (!fs::is_regular_file(fs::symlink_status(Path, Error)))
        return {};
    if (!Startup.IniFileName.empty() && fs::equivalent(Path, Startup.IniFileName, Error))
        return {};
    return Path;
}

} // namespace

std::string QuoteExecArgument(const std::string& Arg)
{
    std::string R = "\"";
    for (char c : Arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            R += '\\';
        R += c;
        if (c == '%')
            R += '%';
    }
    return R + "\"";
}

std::string MakeShortcutEntry(const std::string& Name, const std::string& Program, const std::string& WorkDir,
                              const std::string& ProfileName, bool ForMenu)
{
    std::string Exec = QuoteExecArgument(Program);
    if (!ProfileName.empty())
        Exec.append(1, ' ').append(QuoteExecArgument("/ini=" + ProfileName));
    Exec += " %F";
    std::string R = "[Desktop Entry]\n"
                    "Type=Application\n"
                    "Name=" +
        EscapeValue(Name) +
        "\n"
        "Exec=" +
        EscapeValue(Exec) +
        "\n"
        "Path=" +
        EscapeValue(WorkDir) +
        "\n"
        "Terminal=false\n"
        "MimeType=image/jpeg;image/png;image/bmp;image/gif;image/tiff;image/webp;image/heif;\n";
    if (ForMenu)
        R += "NoDisplay=true\n";
    return R + OwnMark + "\n";
}

bool CreateShortcutFile(const std::string& LinkPath, const std::string& ProfileName)
{
    const fs::path P(LinkPath);
    std::error_code Error;
    fs::create_directories(P.parent_path(), Error);
    // Entries among the applications only serve "Open With".
    const bool ForMenu =
        (fs::path(Startup.SendToDir) / "").lexically_normal() == (P.parent_path() / "").lexically_normal();
    const std::string Text =
        MakeShortcutEntry(P.stem().string(), platform::ExecutablePath(), Startup.ExeDir, ProfileName, ForMenu);
    if (!WriteFileAtomically(LinkPath, Text.data(), Text.size()))
        return false;
    fs::permissions(P, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add,
                    Error);
    return true;
}

bool ReadShortcutArguments(const std::string& LinkPath, std::string& Target, std::string& Arguments)
{
    Target.clear();
    Arguments.clear();
    std::error_code Error;
    const uintmax_t Size = fs::file_size(LinkPath, Error);
    if (Error || Size > MaxEntrySize)
        return false;
    std::ifstream In(LinkPath, std::ios::binary);
    if (!In)
        return false;
    std::string Line;
    bool InMain = false;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        if (!Line.empty() && Line.front() == '[') {
            InMain = Line == "[Desktop Entry]";
            continue;
        }
        if (!InMain || Line.compare(0, 5, "Exec=") != 0)
            continue;
        const std::vector<std::string> Args = SplitExec(UnescapeValue(Line.substr(5)));
        if (Args.empty())
            return false;
        Target = Args[0];
        for (size_t i = 1; i < Args.size(); ++i)
            Arguments += (i > 1 ? " " : "") + Args[i];
        return true;
    }
    return false;
}

bool IsOwnShortcutFile(const std::string& Path)
{
    const fs::path P(Path);
    std::error_code Error;
    if (!P.is_absolute() || P.extension() != ".desktop")
        return false;
    if (!fs::is_regular_file(fs::symlink_status(P, Error)))
        return false;
    const uintmax_t Size = fs::file_size(P, Error);
    if (Error || Size > MaxEntrySize)
        return false;
    std::ifstream In(P, std::ios::binary);
    std::string Line;
    bool Header = false;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        if (Line == "[Desktop Entry]")
            Header = true;
        else if (Header && Line == OwnMark)
            return true;
    }
    return false;
}

std::vector<std::string> LoadShortcutList()
{
    std::vector<std::string> List;
    std::ifstream In(ShortcutListPath(), std::ios::binary);
    std::string Line;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        if (!Line.empty())
            List.push_back(Line);
    }
    return List;
}

bool AddToShortcutList(const std::string& LinkPath)
{
    std::vector<std::string> List = LoadShortcutList();
    if (std::find(List.begin(), List.end(), LinkPath) != List.end())
        return true;
    List.push_back(LinkPath);
    std::string Text;
    for (const std::string& L : List)
        Text += L + "\n";
    return WriteFileAtomically(ShortcutListPath(), Text.data(), Text.size());
}

int DeleteShortcutFiles()
{
    const std::string ListPath = ShortcutListPath();
    std::error_code Error;
    if (!fs::exists(fs::symlink_status(ListPath, Error)))
        return 0;
    int Deleted = 0;
    for (const std::string& L : LoadShortcutList())
        if (IsOwnShortcutFile(L) && fs::remove(L, Error))
            ++Deleted;
    fs::remove(ListPath, Error);
    return Deleted;
}

TCreateShortCutForm::TCreateShortCutForm(QWidget* Owner) : QDialog(Owner), FDraft(Settings.ShortCut)
{
    setWindowTitle(Tr("Create Shortcut"));
    ApplyUIFont(this);

    NameEdit = new QLineEdit(QStringLiteral("Vestro"), this);
    auto* Place = new QGroupBox(Tr("Creation Place"), this);
    DesktopButton = new QRadioButton(Tr("Desktop"), Place);
    SendToButton = new QRadioButton(Tr("SendTo"), Place);
    NewIniBox = new QCheckBox(Tr("Create new inifile from current settings"), this);
    AtOnceBox = new QCheckBox(Tr("at once"), this);
    OkButton = new QPushButton(Tr("OK"), this);
    CancelButton = new QPushButton(Tr("Cancel"), this);
    OkButton->setDefault(true);

    auto* PlaceLayout = new QHBoxLayout(Place);
    PlaceLayout->addWidget(DesktopButton);
    PlaceLayout->addWidget(SendToButton);
    auto* NameRow = new QHBoxLayout;
    NameRow->addWidget(new QLabel(Tr("Shortcut Name"), this));
    NameRow->addWidget(NameEdit, 1);
    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(NameRow);
    Layout->addWidget(Place);
    Layout->addWidget(NewIniBox);
    Layout->addWidget(AtOnceBox);
    Layout->addLayout(Buttons);

    FBindings.Bind(NewIniBox, FDraft.MakeIni);
    FBindings.Bind(AtOnceBox, FDraft.AtOnce);
    (FDraft.Desktop ? DesktopButton : SendToButton)->setChecked(true);
    UpdateEnabled();

    connect(NewIniBox, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(OkButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    AskOverwrite = [this](const QString& Text) {
        QApplication::beep();
        return ShowMessageBox(this, QMessageBox::Warning, windowTitle(), Text, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
    };
    SaveSettings = [](const std::string& Path) { return SaveIniFile(Path); };
    TellFailure = [this](const QString& Text) { ShowMessageBox(this, QMessageBox::Warning, windowTitle(), Text); };
    KeepCaptionWhole(this);
}

void TCreateShortCutForm::UpdateEnabled()
{
    AtOnceBox->setEnabled(NewIniBox->isChecked());
}

void TCreateShortCutForm::OkButtonClick()
{
    const std::string Name = NameEdit->text().toStdString();
    // A name that would leave its folder (or break the list's lines) is
    // treated like an empty one.
    if (!IsPlainFileName(Name))
        return;
    LinkPath.clear();
    IniPath.clear();

    const std::string& Folder = DesktopButton->isChecked() ? Startup.DesktopDir : Startup.SendToDir;
    if (Folder.empty()) // no such folder on this desktop
        return;
    const std::string Link = Folder + Name + ".desktop";
    std::error_code Error;
    if (fs::exists(fs::symlink_status(Link, Error))) {
        char Text[4096];
        std::snprintf(Text, sizeof Text, LoadResText(SOverwriteShortCut).c_str(), Link.c_str());
        if (!AskOverwrite(QString::fromStdString(Text).replace("\r\n", "\n")))
            return;
        std::string Target, Arguments;
        if (ReadShortcutArguments(Link, Target, Arguments))
            if (const std::string Old = DeletableOldProfile(Arguments); !Old.empty())
                fs::remove(Old, Error);
    }

    std::string Profile;
    if (NewIniBox->isChecked()) {
        std::string Path = Startup.IniDir + Name + ".ini";
        for (int n = 1; fs::exists(fs::symlink_status(Path, Error)); ++n)
            Path = Startup.IniDir + Name + "[" + std::to_string(n) + "].ini";
        const bool AtOnce = AtOnceBox->isChecked();
        const bool OldAtOnce = Settings.File.AtOnce;
        if (AtOnce)
            Settings.File.AtOnce = true;
        fs::create_directories(Startup.IniDir, Error);
        const bool Saved = SaveSettings(Path);
        Settings.File.AtOnce = OldAtOnce;
        // A shortcut to a profile that was never written would silently
        // start with the defaults: make none.
        if (!Saved)
            return;
        IniPath = Path;
        Profile = fs::path(Path).filename().string();
    }

    errno = 0;
    if (!CreateShortcutFile(Link, Profile)) {
        const int Errno = errno != 0 ? errno : EIO;
        // The profile was made for this shortcut alone: kept, each new try
        // would leave one more beside it. An old entry still standing there
        // that names it keeps it, though (its own went when Yes was said).
        std::string Target, Arguments;
        if (!IniPath.empty() &&
            !(ReadShortcutArguments(Link, Target, Arguments) && DeletableOldProfile(Arguments) == IniPath))
            fs::remove(IniPath, Error);
        IniPath.clear();
        std::string Why = LoadResText("The shortcut could not be written: %s.");
        if (const size_t At = Why.find("%s"); At != std::string::npos)
            Why.replace(At, 2, std::strerror(Errno));
        TellFailure(QString::fromStdString(Link + "\n\n" + Why));
        return;
    }
    LinkPath = Link;
    AddToShortcutList(Link);

    FBindings.Commit();
    FDraft.Desktop = DesktopButton->isChecked();
    Settings.ShortCut = FDraft;
    accept();
}

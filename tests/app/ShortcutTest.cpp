// Shortcuts: the desktop entry's Exec line, the profile made beside it, the
// list of entries made and deleting them.
#include "app/CreateShortCutFrm.h"
#include "platform/SysInfo.h"
#include "tests/app/MainWindowTest.h"
#include "tests/app/TestApp.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& Path, const std::string& Text)
{
    std::ofstream(Path, std::ios::binary) << Text;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        ASSERT_TRUE(Tmp.isValid());
        Root = Tmp.path().toStdString() + "/";
        // Nothing may reach the real desktop or menus.
        for (const char* V : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            SavedEnv.emplace_back(V, qgetenv(V));
        qputenv("HOME", QByteArray::fromStdString(Root + "home"));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(Root + "home/.local/share"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Root + "home/.config"));
        Settings.File.AtOnce = false;
        Startup.DesktopDir = Root + "home/Desktop/";
        Startup.SendToDir = Root + "home/.local/share/applications/";
        Startup.DataDir = Root + "prog/";
        Startup.IniDir = Startup.DataDir + "ini/";
        Startup.IniFileName = Startup.IniDir + "vestro-resizer.ini";
        fs::create_directories(Startup.IniDir);
    }
    void TearDown() override
    {
        for (const auto& [Name, Value] : SavedEnv)
            Value.isNull() ? qunsetenv(Name) : qputenv(Name, Value);
    }

    // Runs the dialog's OK with a stubbed profile writer and question.
    bool Make(const std::string& Name, bool Desktop, bool MakeIni, bool AtOnce, bool Answer = true)
    {
        TCreateShortCutForm F;
        F.NameEdit->setText(QString::fromStdString(Name));
        (Desktop ? F.DesktopButton : F.SendToButton)->setChecked(true);
        F.NewIniBox->setChecked(MakeIni);
        F.AtOnceBox->setChecked(AtOnce);
        EXPECT_EQ(F.AtOnceBox->isEnabled(), MakeIni);
        F.AskOverwrite = [&](const QString&) {
            ++Asked;
            return Answer;
        };
        F.SaveSettings = [&](const std::string& Path) {
            Saved.push_back(Path);
            SavedAtOnce = Settings.File.AtOnce;
            WriteText(Path, "profile");
            return true;
        };
        F.OkButtonClick();
        return F.result() == QDialog::Accepted;
    }

    QTemporaryDir Tmp;
    std::string Root;
    TKeptSettings KeptRecords;
    std::vector<std::pair<const char*, QByteArray>> SavedEnv;
    int Asked = 0;
    std::vector<std::string> Saved;
    bool SavedAtOnce = false;
};

} // namespace

TEST(ShortcutEntry, ExecQuotesBlanksQuotesAndNonAscii)
{
    const std::string Program = R"(/opt/my progs/Ré"s$`\v)";
    const std::string Entry = MakeShortcutEntry("x", Program, "/opt/my progs/", "a b%.ini", false);
    EXPECT_THAT(Entry,
                HasSubstr("\nExec="
                          R"("/opt/my progs/Ré\\"s\\$\\`\\\\v" "/ini=a b%%.ini" %F)"
                          "\n"));

    // What was written reads back as the same program and switch.
    QTemporaryDir Dir;
    const std::string Path = Dir.path().toStdString() + "/x.desktop";
    WriteText(Path, Entry);
    std::string Target, Args;
    ASSERT_TRUE(ReadShortcutArguments(Path, Target, Args));
    EXPECT_EQ(std::make_tuple(Target, Args), std::make_tuple(Program, "/ini=a b%.ini"));

    // Without a profile the program gets only the files.
    WriteText(Path, MakeShortcutEntry("x", "/usr/bin/v", "/usr/bin/", "", true));
    ASSERT_TRUE(ReadShortcutArguments(Path, Target, Args));
    EXPECT_EQ(std::make_tuple(Target, Args), std::make_tuple("/usr/bin/v", ""));
}

TEST_F(ShortcutTest, MakesEntryProfileAndListOnce)
{
    ASSERT_TRUE(Make("My Set", true, true, true));
    const std::string Link = Startup.DesktopDir + "My Set.desktop";
    ASSERT_TRUE(fs::is_regular_file(Link));
    EXPECT_NE(fs::status(Link).permissions() & fs::perms::owner_exec, fs::perms::none);
    ASSERT_EQ(Saved.size(), 1u);
    EXPECT_EQ(Saved[0], Startup.IniDir + "My Set.ini");
    EXPECT_TRUE(SavedAtOnce);           // the profile converts at once...
    EXPECT_FALSE(Settings.File.AtOnce); // ...the running settings do not
    std::string Target, Args;
    ASSERT_TRUE(ReadShortcutArguments(Link, Target, Args));
    EXPECT_EQ(std::make_tuple(Target, Args), std::make_tuple(platform::ExecutablePath(), "/ini=My Set.ini"));

    // The same name again, answered Yes: the old profile goes and is made anew
    // under its own name; the list still holds the entry once.
    ASSERT_TRUE(Make("My Set", true, true, false));
    EXPECT_EQ(Asked, 1);
    ASSERT_EQ(Saved.size(), 2u);
    EXPECT_EQ(Saved[1], Startup.IniDir + "My Set.ini");
    EXPECT_EQ(LoadShortcutList(), std::vector<std::string>{Link});

    EXPECT_FALSE(Make("My Set", true, true, false, false)); // answered No: nothing changes and the dialog stays open
    EXPECT_EQ(Saved.size(), 2u);

    // A profile of that name that no shortcut names is kept: "[1]", "[2]".
    WriteText(Startup.IniDir + "Other.ini", "mine");
    ASSERT_TRUE(Make("Other", false, true, false));
    EXPECT_EQ(Saved[2], Startup.IniDir + "Other[1].ini");
    ASSERT_TRUE(Make("Other", false, true, false)); // overwrites: deletes "Other[1].ini" only
    EXPECT_EQ(ReadFile(Startup.IniDir + "Other.ini"), "mine");
    EXPECT_EQ(Saved[3], Startup.IniDir + "Other[1].ini");
    ASSERT_TRUE(Make("Other", true, true, false)); // on the desktop: no old shortcut
    EXPECT_EQ(Saved[4], Startup.IniDir + "Other[2].ini");
    EXPECT_THAT(ReadFile(Startup.SendToDir + "Other.desktop"), HasSubstr("NoDisplay=true"));
    EXPECT_EQ(LoadShortcutList().size(), 3u);
}

TEST_F(ShortcutTest, OverwriteNeverDeletesDefaultOrOutsideProfiles)
{
    fs::create_directories(Startup.DesktopDir);
    const std::string Default = fs::path(platform::ExecutablePath()).filename().replace_extension(".ini").string();
    WriteText(Startup.IniDir + Default, "default");
    WriteText(Startup.IniFileName, "running"); // the settings file this start runs with
    WriteText(Startup.DataDir + "victim", "keep");
    for (const std::string& Named : {Default, std::string("vestro-resizer.ini"), std::string("../victim")}) {
        WriteText(Startup.DesktopDir + "S.desktop", MakeShortcutEntry("S", "/p", "/", Named, false));
        ASSERT_TRUE(Make("S", true, false, false));
    }
    EXPECT_EQ(ReadFile(Startup.IniDir + Default), "default");
    EXPECT_EQ(ReadFile(Startup.IniFileName), "running");
    EXPECT_EQ(ReadFile(Startup.DataDir + "victim"), "keep");
    EXPECT_TRUE(Saved.empty());
    std::string Target, Args;
    ASSERT_TRUE(ReadShortcutArguments(Startup.DesktopDir + "S.desktop", Target, Args));
    EXPECT_EQ(Args, ""); // made without a profile

    // Names that would leave the folder make nothing.
    EXPECT_FALSE(Make("../out", true, false, false) || Make("", true, false, false));
    EXPECT_FALSE(fs::exists(Root + "home/out.desktop"));
}

namespace {

// The dialog as a user reaches it: Settings > Create Shortcut on the main
// window, with the settings file of a scratch program folder and its own
// desktop folder.
class ShortcutFromMenu : public TMainWindowTest {
protected:
    void SetUp() override
    {
        TMainWindowTest::SetUp();
        if (IsSkipped())
            return;
        Kept = {Startup.DesktopDir, Startup.SendToDir};
        Startup.DesktopDir = (Dir / "Desktop").string() + "/";
        Startup.SendToDir = (Dir / "apps").string() + "/";
        LoadTestSettings(Dir, "[ShortCut]\nDesktop=-1\nMakeIni=0\nAtOnce=0\n");
        Window = std::make_unique<TMainForm>(std::vector<std::string>{});
        Window->show();
    }
    void TearDown() override
    {
        if (!Kept.first.empty() || !Kept.second.empty())
            std::tie(Startup.DesktopDir, Startup.SendToDir) = Kept;
        TMainWindowTest::TearDown();
    }
    // Chooses the menu command and answers the boxes and the dialog as they
    // come up: Box gets each message box, Form the dialog each time it is
    // the window in front. Any of them still open after 20 s is closed.
    void Drive(const std::function<void(QMessageBox*)>& Box, const std::function<void(TCreateShortCutForm*)>& Form)
    {
        QElapsedTimer Since;
        Since.start();
        QTimer Look;
        QObject::connect(&Look, &QTimer::timeout, &Look, [&] {
            QWidget* M = QApplication::activeModalWidget();
            if (Since.elapsed() > 20000) { // never hang on a dialog that stays
                if (auto* D = qobject_cast<QDialog*>(M))
                    D->reject();
            } else if (auto* B = qobject_cast<QMessageBox*>(M); B && B->isVisible()) {
                Box(B);
            } else if (auto* F = qobject_cast<TCreateShortCutForm*>(M); F && F->isVisible()) {
                Form(F);
            }
        });
        Look.start(20);
        Window->CreateShortCut->trigger();
    }
    // The profile box set to Profile by the space key, then OK clicked.
    static void ClickOk(TCreateShortCutForm* F, bool Profile)
    {
        if (F->NewIniBox->isChecked() != Profile) {
            F->NewIniBox->setFocus();
            QTest::keyClick(F->NewIniBox, Qt::Key_Space);
        }
        EXPECT_EQ(F->NewIniBox->isChecked(), Profile);
        // Later: the question it may ask must find the watching timer free.
        QTimer::singleShot(0, F, [F] { QTest::mouseClick(F->OkButton, Qt::LeftButton); });
    }
    // Makes the shortcut under the name the dialog offers, with a profile or
    // not, Yes clicked when asked to overwrite. The questions asked.
    int MakeOffered(bool Profile)
    {
        int Asked = 0;
        bool Answered = false;
        Drive(
            [&](QMessageBox* Box) {
                ++Asked;
                QTest::mouseClick(Box->button(QMessageBox::Yes), Qt::LeftButton);
            },
            [&](TCreateShortCutForm* F) {
                if (Answered)
                    return;
                Answered = true;
                EXPECT_EQ(F->NameEdit->text(), "Vestro");
                ClickOk(F, Profile);
            });
        EXPECT_TRUE(Answered);
        return Asked;
    }
    // The arguments of the desktop entry Name.
    std::string LinkArguments(const std::string& Name)
    {
        std::string Target, Args;
        EXPECT_TRUE(ReadShortcutArguments(Startup.DesktopDir + Name + ".desktop", Target, Args));
        return Args;
    }
    std::pair<std::string, std::string> Kept;
};

} // namespace

// The name the dialog offers is the shortcut's own: made again over its old
// entry, its profile is written anew under the same name.
TEST_F(ShortcutFromMenu, TheOfferedNameMadeTwiceRewritesItsOwnProfile)
{
    const std::string Profile = Startup.IniDir + "Vestro.ini";
    EXPECT_EQ(MakeOffered(true), 0);
    ASSERT_TRUE(fs::exists(Profile));
    EXPECT_EQ(LinkArguments("Vestro"), "/ini=Vestro.ini");

    // What the second profile must hold instead of what the first held.
    std::ofstream(Profile, std::ios::app) << "[Mine]\nOld=1\n";
    Window->RenameRuleEdit->selectAll();
    QTest::keyClicks(Window->RenameRuleEdit, "second<old>");
    EXPECT_EQ(MakeOffered(true), 1);
    EXPECT_FALSE(fs::exists(Startup.IniDir + "Vestro[1].ini"));
    EXPECT_EQ(LinkArguments("Vestro"), "/ini=Vestro.ini");
    const std::string Written = ReadFile(Profile);
    EXPECT_EQ(Written.find("[Mine]"), std::string::npos);
    EXPECT_NE(Written.find(std::string("s\0e\0c\0o\0n\0d\0", 12)), std::string::npos);
    EXPECT_EQ(LoadShortcutList(), std::vector<std::string>{Startup.DesktopDir + "Vestro.desktop"});

    // An entry of that name that starts the program's own settings file:
    // overwriting it keeps that file.
    const std::string Default = Startup.IniFileName;
    const std::string Before = ReadFile(Default);
    ASSERT_FALSE(Before.empty());
    std::ofstream(Startup.DesktopDir + "Vestro.desktop")
        << MakeShortcutEntry("Vestro", "/p", "/", fs::path(Default).filename().string(), false);
    EXPECT_EQ(MakeOffered(false), 1);
    EXPECT_EQ(ReadFile(Default), Before);
    EXPECT_EQ(LinkArguments("Vestro"), "");
}

// An entry that cannot be written (a folder stands at its name) is said, over
// the dialog that stays open, and leaves no profile behind: each new try
// would otherwise add one more.
TEST_F(ShortcutFromMenu, AShortcutThatCannotBeWrittenIsSaidAndLeavesNoProfile)
{
    const std::string Link = Startup.DesktopDir + "Vestro.desktop";
    fs::create_directories(Link);
    std::vector<std::string> Said;
    int Tries = 0;
    Drive(
        [&](QMessageBox* Box) {
            // The question about the folder there answered Yes; what failed
            // is read and closed.
            if (QAbstractButton* Yes = Box->button(QMessageBox::Yes)) {
                QTest::mouseClick(Yes, Qt::LeftButton);
                return;
            }
            Said.push_back(Box->text().toStdString());
            QTest::keyClick(Box, Qt::Key_Return);
        },
        [&](TCreateShortCutForm* F) {
            // OK twice, each time once what failed has been said; then Cancel.
            if (Tries == int(Said.size()) && Tries < 2) {
                ++Tries;
                ClickOk(F, true);
            } else if (Tries == 2 && Said.size() == 2) {
                QTest::mouseClick(F->CancelButton, Qt::LeftButton);
            }
        });
    ASSERT_EQ(Said.size(), 2u);
    for (const std::string& S : Said) {
        EXPECT_THAT(S, HasSubstr(Link));
        EXPECT_THAT(S, HasSubstr("The shortcut could not be written: " + std::string(std::strerror(EISDIR))));
    }
    EXPECT_TRUE(fs::is_directory(Link));
    for (const char* Name : {"Vestro.ini", "Vestro[1].ini", "Vestro[2].ini"})
        EXPECT_FALSE(fs::exists(Startup.IniDir + Name)) << Name;
    EXPECT_TRUE(LoadShortcutList().empty());
}

TEST_F(ShortcutTest, DeleteRemovesOnlyListedOwnEntries)
{
    EXPECT_EQ(DeleteShortcutFiles(), 0); // no list: nothing happens
    ASSERT_TRUE(Make("A", true, false, false) && Make("B", false, false, false));
    const std::string A = Startup.DesktopDir + "A.desktop", B = Startup.SendToDir + "B.desktop";

    // Not in the list: kept. In the list but not ours, or a link to ours: kept.
    const std::string Unlisted = Startup.DesktopDir + "Unlisted.desktop";
    WriteText(Unlisted, MakeShortcutEntry("U", "/p", "/", "", false));
    const std::string Foreign = Startup.DesktopDir + "Foreign.desktop";
    WriteText(Foreign, "[Desktop Entry]\nType=Application\nExec=foo\n");
    const std::string Data = Root + "precious.txt";
    WriteText(Data, "[Desktop Entry]\nX-Vestro-Shortcut=true\n");
    const std::string Copy = Root + "copy.desktop";
    WriteText(Copy, MakeShortcutEntry("C", "/p", "/", "", false));
    const std::string Link = Startup.DesktopDir + "Link.desktop";
    fs::create_symlink(Copy, Link);
    std::ofstream(Startup.DataDir + ShortCutListFileName, std::ios::app) << Foreign << "\n"
                                                                         << Data << "\n"
                                                                         << Link << "\n"
                                                                         << Root << "gone.desktop\n";

    EXPECT_EQ(DeleteShortcutFiles(), 2);
    EXPECT_FALSE(fs::exists(A) || fs::exists(B));
    for (const std::string& Kept : {Unlisted, Foreign, Data, Copy, Link})
        EXPECT_TRUE(fs::exists(fs::symlink_status(Kept))) << Kept;
    EXPECT_FALSE(fs::exists(Startup.DataDir + ShortCutListFileName));
}

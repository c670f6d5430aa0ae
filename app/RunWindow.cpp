#include "app/RunEnd.h"

#include "app/DesktopOpen.h"
#include "app/ErrorLogFrm.h"
#include "app/IniSettings.h"
#include "app/Startup.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/WindowLook.h"

#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QVBoxLayout>

namespace {

// Keeps the window's caption whole when it is first shown: a run nobody can
// look at (see IsNonInteractive) shows its window only where a test or a
// main-window run asks for it, and measuring the caption reads the whole font
// set-up, which an at-once run without a window never needs.
class TCaptionWhenShown : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Show && Watched == parent()) {
            Watched->removeEventFilter(this);
            KeepCaptionWhole(static_cast<QWidget*>(Watched));
        }
        return false;
    }
};

} // namespace

void PrepareAtOnceWindow(QDialog& Form)
{
    // Nobody sees the window: it is neither laid out nor placed (measuring its
    // texts would read the whole font set-up).
    if (IsNonInteractive())
        return;
    if (!App.ErrorLogForm)
        App.ErrorLogForm = new TErrorLogForm(&Form);
    Form.adjustSize();
    if (QScreen* s = QGuiApplication::primaryScreen())
        Form.move(s->availableGeometry().center() - Form.rect().center());
}

void ReleaseAtOnceWindow(QDialog& Form)
{
    if (App.ErrorLogForm && App.ErrorLogForm->parent() == &Form)
        App.ErrorLogForm = nullptr;
}

void OpenFolderAfterRun(const std::string& Folder)
{
    OpenWithDesktopOrSay(Folder, nullptr, 3000); // the program may end next
}

bool ShowErrorLogWindow()
{
    return App.ErrorLogForm && App.ErrorLogForm->ShowModal();
}

void ShowRunWarning(QWidget* Owner, const std::string& Text)
{
    ShowMessageBox(Owner, QMessageBox::Warning, QString::fromStdString(LoadResText("Processing")),
                   QString::fromStdString(Text));
}

TRunWindowParts BuildRunWindow(QDialog& Form, const char* ObjectName)
{
    TRunWindowParts P;
    Form.setObjectName(ObjectName);
    Form.setWindowTitle(QString::fromStdString(LoadResText("Processing")));
    auto* lay = new QVBoxLayout(&Form);
    P.Label = new QLabel(&Form);
    P.Label->setMinimumWidth(360);
    P.Bar = new QProgressBar(&Form);
    P.Bar->setTextVisible(false);
    P.Cancel = new QPushButton(QString::fromStdString(LoadResText("Cancel")), &Form);
    lay->addWidget(P.Label);
    lay->addWidget(P.Bar);
    lay->addWidget(P.Cancel, 0, Qt::AlignHCenter);
    if (Settings.UIFontSize > 0 && !Settings.UIFontName.empty())
        Form.setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize));
    QObject::connect(P.Cancel, &QPushButton::clicked, &Form, [&Form] { Form.close(); });
    if (IsNonInteractive())
        Form.installEventFilter(new TCaptionWhenShown(&Form));
    else
        KeepCaptionWhole(&Form);
    return P;
}

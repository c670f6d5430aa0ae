#include "app/DesktopOpen.h"

#include "core/ResourceText.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

bool OpenWithDesktop(const std::string& Path)
{
    // Qt finds the launcher (xdg-open, or the desktop's own) and starts it
    // without waiting; it says false only when there is none to start.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(Path)));
}

QString CannotOpenText(const std::string& Path)
{
    return QString::fromStdString(Path) + QStringLiteral("\n\n") +
           QString::fromStdString(
               LoadResText("Nothing could open this: no program for opening files and folders (xdg-open) was found."));
}

bool OpenWithDesktopOrSay(const std::string& Path, QWidget* Parent)
{
    if (OpenWithDesktop(Path))
        return true;
    QMessageBox::warning(Parent, QStringLiteral("Vestro Image Resizer"), CannotOpenText(Path));
    return false;
}

#include "app/BrwsFldr.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

void TBrowseFolderBox::PlaceOver(const QWidget* Dialog)
{
    // By the client areas: the window manager may not have framed a dialog
    // opened a moment ago (nor told us its frame), but it frames the picker
    // as it frames the dialog, so the frames keep the clients' offset.
    const QPoint Corner = Dialog->geometry().topLeft();
    FPosX = Corner.x() + 22;
    FPosY = Corner.y() + 22;
}

bool TBrowseFolderBox::Execute(QWidget* Owner)
{
    // A folder that does not exist opens the picker without a selection.
    QString Start;
    if (!FInitFolder.isEmpty() && QFileInfo(FInitFolder).isDir())
        Start = FInitFolder;
    QFileDialog Dialog(Owner, FTitle, Start);
    Dialog.setFileMode(QFileDialog::Directory);
    Dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The client area's corner: the frame goes around it.
    Dialog.adjustSize();
    Dialog.setGeometry(FPosX, FPosY, Dialog.width(), Dialog.height());
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return false;
    const QString Path = Dialog.selectedFiles().first();
    if (Path.isEmpty())
        return false;
    FSelectFolder = QDir::toNativeSeparators(Path);
    FDisplayName = QFileInfo(Path).fileName();
    if (FDisplayName.isEmpty())
        FDisplayName = FSelectFolder;
    return true;
}

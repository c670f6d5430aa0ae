#include "app/BrwsFldr.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

bool TBrowseFolderBox::Execute(QWidget* Owner)
{
    // A folder that does not exist opens the picker without a selection.
    QString Start;
    if (!FInitFolder.isEmpty() && QFileInfo(FInitFolder).isDir())
        Start = FInitFolder;
    QFileDialog Dialog(Owner, FTitle, Start);
    Dialog.setFileMode(QFileDialog::Directory);
    Dialog.setOption(QFileDialog::ShowDirsOnly, true);
    Dialog.move(FPosX, FPosY);
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

// The "Susie Plug-in Settings" dialog: the plug-in folder, which plug-ins are
// used and the order in which they are tried.
#pragma once
#include <QDialog>
#include <QListWidget>
#include <string>

class QLineEdit;
class QPushButton;

// The check list: presses beside the items are ignored, and an item dragged
// onto another item moves there (elsewhere nothing happens).
class TSPICheckList : public QListWidget {
    Q_OBJECT
public:
    explicit TSPICheckList(QWidget* Parent);

signals:
    void ItemDropped(int From, int To);

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dragLeaveEvent(QDragLeaveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    // Marks Row (-1: none) as the drop target and unmarks the previous one;
    // the dragged item itself is never marked.
    void SetDropMarker(int Row);
    int PrevIdx = -1;
};

class TSusiePluginOptionForm : public QDialog {
    Q_OBJECT
public:
    // Reloads the process-wide plug-in list for the folder shown; OK writes
    // Startup.SPIPath, Settings.SPI.SPIDirectory and Settings.SPIOrder.
    explicit TSusiePluginOptionForm(QWidget* Owner = nullptr);

    QLineEdit* FolderEdit;     // read-only
    QPushButton* FolderButton; // "..."
    TSPICheckList* CheckList;  // plug-in file names in trial order
    QPushButton* UpButton;
    QPushButton* DownButton;
    QPushButton* ConfigButton; // shown only for plug-ins with their own dialog

    std::string NewSPIDirectory; // the folder shown
    std::string NewSPIOrder;     // the order text built for it

    void RefreshSPIList();
    // Moves item From to To, keeping its check state, and selects it.
    void MoveItem(int From, int To);
    void accept() override;

private:
    void UpdateConfigButton();
    void Configure();
    void BrowseFolder();
};

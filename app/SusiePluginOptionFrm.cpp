#include "app/SusiePluginOptionFrm.h"

#include "app/BrwsFldr.h"
#include "app/IniSettings.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "effects/ui/WindowLook.h"

#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

std::string DefaultSPIFolder()
{
    return Startup.ExeDir + "SusiePlugin";
}

TSPIList& PluginList()
{
    if (!App.SPIList)
        App.SPIList = std::make_unique<TSPIList>();
    PictureTypes.ActiveSPIList = App.SPIList.get();
    return *App.SPIList;
}

// The loaded plug-in of that file name; null when it failed to load.
TSusiePlugin* PluginByName(const std::string& Name)
{
    TSPIList& L = PluginList();
    for (size_t i = 0; i < L.Count(); ++i)
        if (L.Items(i)->Name() == Name)
            return L.Items(i);
    return nullptr;
}
} // namespace

TSPICheckList::TSPICheckList(QWidget* Parent) : QListWidget(Parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

void TSPICheckList::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton && !indexAt(Event->position().toPoint()).isValid())
        return;
    QListWidget::mousePressEvent(Event);
}

void TSPICheckList::dragEnterEvent(QDragEnterEvent* Event)
{
    // Only drags that started here with an item selected.
    PrevIdx = -1;
    if (Event->source() == this && currentRow() >= 0)
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void TSPICheckList::dragMoveEvent(QDragMoveEvent* Event)
{
    if (Event->source() != this || currentRow() < 0) {
        Event->ignore();
        return;
    }
    SetDropMarker(indexAt(Event->position().toPoint()).row());
    Event->acceptProposedAction();
}

void TSPICheckList::dragLeaveEvent(QDragLeaveEvent* Event)
{
    SetDropMarker(-1);
    Event->accept();
}

void TSPICheckList::SetDropMarker(int Row)
{
    if (Row == currentRow())
        Row = -1;
    if (Row == PrevIdx)
        return;
    if (QListWidgetItem* Old = item(PrevIdx)) {
        Old->setBackground(QBrush());
        Old->setForeground(QBrush());
    }
    if (QListWidgetItem* New = item(Row)) {
        New->setBackground(palette().brush(QPalette::Highlight));
        New->setForeground(palette().brush(QPalette::HighlightedText));
    }
    PrevIdx = Row;
}

void TSPICheckList::dropEvent(QDropEvent* Event)
{
    // Only a drop on another item moves; the view itself never reorders.
    SetDropMarker(-1);
    const int From = currentRow();
    const int To = indexAt(Event->position().toPoint()).row();
    Event->setDropAction(Qt::IgnoreAction);
    Event->accept();
    if (From >= 0 && To >= 0 && To != From)
        emit ItemDropped(From, To);
}

TSusiePluginOptionForm::TSusiePluginOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Tr("Susie Plug-in Settings"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    auto* FolderLabel = new QLabel(Tr("Susie Plug-in Folder"), this);
    FolderEdit = new QLineEdit(this);
    FolderEdit->setReadOnly(true);
    FolderButton = new QPushButton(QStringLiteral("..."), this);
    CheckList = new TSPICheckList(this);
    UpButton = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), QString(), this);
    DownButton = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown), QString(), this);
    ConfigButton = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogDetailedView), QString(), this);

    auto* Grid = new QGridLayout;
    Grid->addWidget(FolderLabel, 0, 0, 1, 2);
    Grid->addWidget(FolderEdit, 1, 0);
    Grid->addWidget(FolderButton, 1, 1);
    Grid->addWidget(CheckList, 2, 0, 4, 1);
    Grid->addWidget(UpButton, 2, 1);
    Grid->addWidget(DownButton, 3, 1);
    Grid->addWidget(ConfigButton, 4, 1);
    Grid->setRowStretch(5, 1);
    auto* Buttons = new QDialogButtonBox(this);
    Buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    Buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(Buttons, &QDialogButtonBox::accepted, this, &TSusiePluginOptionForm::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Grid);
    Layout->addWidget(Buttons);

    connect(FolderButton, &QPushButton::clicked, this, [this] { BrowseFolder(); });
    connect(UpButton, &QPushButton::clicked, this, [this] {
        const int i = CheckList->currentRow();
        if (i > 0)
            MoveItem(i, i - 1);
    });
    connect(DownButton, &QPushButton::clicked, this, [this] {
        const int i = CheckList->currentRow();
        if (i >= 0 && i < CheckList->count() - 1)
            MoveItem(i, i + 1);
    });
    connect(ConfigButton, &QPushButton::clicked, this, [this] { Configure(); });
    connect(CheckList, &QListWidget::currentRowChanged, this, [this] { UpdateConfigButton(); });
    connect(CheckList, &TSPICheckList::ItemDropped, this, &TSusiePluginOptionForm::MoveItem);

    NewSPIDirectory = Startup.SPIPath.empty() ? DefaultSPIFolder() : Startup.SPIPath;
    RefreshSPIList();
    KeepCaptionWhole(this);
}

void TSusiePluginOptionForm::RefreshSPIList()
{
    FolderEdit->setText(QString::fromStdString(NewSPIDirectory));
    std::string Files;
    TSPIList::GetSPIList(NewSPIDirectory, Files);
    TSPIList::CreateNewOrder(Files, Settings.SPIOrder, NewSPIOrder);

    std::vector<std::string> Names;
    const std::vector<std::string> Entries = SplitCommaText(NewSPIOrder);
    for (const std::string& E : Entries)
        Names.push_back(E.substr(0, E.rfind('=')));
    TSPIList& L = PluginList();
    L.ReleaseSPI();
    L.LoadSPI(NewSPIDirectory, JoinCommaText(Names));

    CheckList->clear();
    for (size_t i = 0; i < Entries.size(); ++i) {
        auto* Item = new QListWidgetItem(QString::fromStdString(Names[i]), CheckList);
        Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled);
        const bool On = Entries[i].size() >= 2 && Entries[i].compare(Entries[i].size() - 2, 2, "=1") == 0;
        Item->setCheckState(On ? Qt::Checked : Qt::Unchecked);
    }
    if (CheckList->count() > 0) {
        CheckList->setCurrentRow(0);
        UpdateConfigButton();
    } else {
        ConfigButton->setVisible(false);
    }
}

void TSusiePluginOptionForm::UpdateConfigButton()
{
    const QListWidgetItem* Item = CheckList->currentItem();
    const TSusiePlugin* P = Item ? PluginByName(Item->text().toStdString()) : nullptr;
    ConfigButton->setVisible(P && P->HaveConfigDialog());
}

void TSusiePluginOptionForm::Configure()
{
    const QListWidgetItem* Item = CheckList->currentItem();
    if (TSusiePlugin* P = Item ? PluginByName(Item->text().toStdString()) : nullptr)
        P->ConfigurationDlg(reinterpret_cast<void*>(winId()), 1);
}

void TSusiePluginOptionForm::MoveItem(int From, int To)
{
    const int N = CheckList->count();
    if (From < 0 || To < 0 || From >= N || To >= N || From == To)
        return;
    // A plug-in that failed to load has no list entry; then the list is not
    // parallel to the items and only the items move (plug-ins are found by name).
    TSPIList& L = PluginList();
    if (L.Count() == size_t(N))
        L.Move(size_t(From), size_t(To));
    QListWidgetItem* Item = CheckList->takeItem(From);
    CheckList->insertItem(To, Item);
    CheckList->setCurrentRow(To);
}

void TSusiePluginOptionForm::BrowseFolder()
{
    TBrowseFolderBox Box;
    Box.FTitle = Tr("Susie Plug-in Folder");
    Box.FInitFolder = FolderEdit->text();
    Box.FFlags |= TBrowseFolderBox::NewDialogStyle;
    Box.PlaceOver(this);
    if (Box.Execute(this)) {
        NewSPIDirectory = Box.FSelectFolder.toStdString();
        RefreshSPIList();
    }
}

void TSusiePluginOptionForm::accept()
{
    const std::string Folder = FolderEdit->text().toStdString();
    Startup.SPIPath = Folder;
    Settings.SPI.SPIDirectory = Folder == DefaultSPIFolder() ? std::string() : Folder;
    std::vector<std::string> Entries;
    for (int i = 0; i < CheckList->count(); ++i) {
        const QListWidgetItem* Item = CheckList->item(i);
        Entries.push_back(Item->text().toStdString() + (Item->checkState() == Qt::Checked ? "=1" : "=0"));
    }
    Settings.SPIOrder = JoinCommaText(Entries);
    QDialog::accept();
}

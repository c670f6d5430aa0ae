#include "app/ChangeOrderFrm.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/Effect.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <vector>

TChangeOrderForm::TChangeOrderForm(TEffectList& List, QWidget* Owner) : QDialog(Owner), FList(List)
{
    setWindowTitle(QString::fromStdString(LoadResText("Filter Order")));
    if (!UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));

    ListBox1 = new QListWidget(this);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int i = 0; i < List.Count(); ++i) {
        auto* Item = new QListWidgetItem(QString::fromStdString(List.Items(i)->FName), ListBox1);
        Item->setData(Qt::UserRole, i);
    }
    if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(0);
    ListBox1->viewport()->installEventFilter(this);

    UpButton = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), QString(), this);
    DownButton = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown), QString(), this);
    Button1 = new QPushButton(QString::fromStdString(LoadResText("OK")), this);
    Button2 = new QPushButton(QString::fromStdString(LoadResText("Cancel")), this);
    Button1->setDefault(true);
    connect(UpButton, &QPushButton::clicked, this, [this] { UpButtonClick(); });
    connect(DownButton, &QPushButton::clicked, this, [this] { DownButtonClick(); });
    connect(Button1, &QPushButton::clicked, this, &TChangeOrderForm::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto* Side = new QVBoxLayout;
    Side->addWidget(UpButton);
    Side->addWidget(DownButton);
    Side->addStretch(1);
    auto* Top = new QHBoxLayout;
    Top->addWidget(ListBox1, 1);
    Top->addLayout(Side);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Top, 1);
    Layout->addLayout(Buttons);
}

void TChangeOrderForm::MoveSelected(int Delta)
{
    const int i = ListBox1->currentRow();
    const int j = i + Delta;
    if (i < 0 || j < 0 || j >= ListBox1->count())
        return;
    QListWidgetItem* Item = ListBox1->takeItem(i);
    ListBox1->insertItem(j, Item);
    ListBox1->setCurrentRow(j);
}

void TChangeOrderForm::UpButtonClick() { MoveSelected(-1); }
void TChangeOrderForm::DownButtonClick() { MoveSelected(1); }

void TChangeOrderForm::accept()
{
    // The chain sorts by the key each effect gets, item i of the chain taking
    // key i of the array: so the effect that was at position p gets the row
    // it is shown in now.
    std::vector<int32_t> Keys(size_t(ListBox1->count()), 0);
    for (int Row = 0; Row < ListBox1->count(); ++Row) {
        const int Old = ListBox1->item(Row)->data(Qt::UserRole).toInt();
        if (Old >= 0 && size_t(Old) < Keys.size())
            Keys[size_t(Old)] = Row;
    }
    FList.SetOrder(Keys);
    QDialog::accept();
}

bool TChangeOrderForm::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == ListBox1->viewport() &&
        (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonDblClick)) {
        auto* Mouse = static_cast<QMouseEvent*>(Event);
        if (Mouse->button() == Qt::LeftButton && !ListBox1->itemAt(Mouse->position().toPoint()))
            return true;
    }
    return QDialog::eventFilter(Watched, Event);
}

#include "app/ChangeOrderFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/Effect.h"
#include "effects/ui/WindowLook.h"

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
    ApplyUIFont(this);

    EffectListBox = new QListWidget(this);
    EffectListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int i = 0; i < List.Count(); ++i) {
        auto* Item = new QListWidgetItem(QString::fromStdString(List.Items(i)->FName), EffectListBox);
        Item->setData(Qt::UserRole, i);
    }
    if (EffectListBox->count() > 0)
        EffectListBox->setCurrentRow(0);
    EffectListBox->viewport()->installEventFilter(this);

    UpButton = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), QString(), this);
    DownButton = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown), QString(), this);
    MakeOkCancelButtons(this, OkButton, CancelButton);
    connect(UpButton, &QPushButton::clicked, this, [this] { UpButtonClick(); });
    connect(DownButton, &QPushButton::clicked, this, [this] { DownButtonClick(); });

    auto* Side = new QVBoxLayout;
    Side->addWidget(UpButton);
    Side->addWidget(DownButton);
    Side->addStretch(1);
    auto* Top = new QHBoxLayout;
    Top->addWidget(EffectListBox, 1);
    Top->addLayout(Side);
    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Top, 1);
    Layout->addLayout(Buttons);
    KeepCaptionWhole(this);
}

void TChangeOrderForm::MoveSelected(int Delta)
{
    const int i = EffectListBox->currentRow();
    const int j = i + Delta;
    if (i < 0 || j < 0 || j >= EffectListBox->count())
        return;
    QListWidgetItem* Item = EffectListBox->takeItem(i);
    EffectListBox->insertItem(j, Item);
    EffectListBox->setCurrentRow(j);
}

void TChangeOrderForm::UpButtonClick()
{
    MoveSelected(-1);
}
void TChangeOrderForm::DownButtonClick()
{
    MoveSelected(1);
}

void TChangeOrderForm::accept()
{
    // The chain sorts by the key each effect gets, item i of the chain taking
    // key i of the array: so the effect that was at position p gets the row
    // it is shown in now.
    std::vector<int32_t> Keys(size_t(EffectListBox->count()), 0);
    for (int Row = 0; Row < EffectListBox->count(); ++Row) {
        const int Old = EffectListBox->item(Row)->data(Qt::UserRole).toInt();
        if (Old >= 0 && size_t(Old) < Keys.size())
            Keys[size_t(Old)] = Row;
    }
    FList.SetOrder(Keys);
    QDialog::accept();
}

bool TChangeOrderForm::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == EffectListBox->viewport() &&
        (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonDblClick)) {
        auto* Mouse = static_cast<QMouseEvent*>(Event);
        if (Mouse->button() == Qt::LeftButton && !EffectListBox->itemAt(Mouse->position().toPoint()))
            return true;
    }
    return QDialog::eventFilter(Watched, Event);
}

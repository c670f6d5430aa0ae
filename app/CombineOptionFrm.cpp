#include "app/CombineOptionFrm.h"

#include "app/SystemOptionFrm.h"
#include "app/WindowFuncs.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/WindowLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}
}

TCombineOptionForm::TCombineOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Tr("Combine Settings"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    auto* Layout = new QVBoxLayout(this);
    auto* Grid = new QGridLayout;
    Layout->addLayout(Grid);
    int Row = 0;
    auto Num = [&](const QString& Label, double Max, double Min, double Value) {
        Grid->addWidget(new QLabel(Label, this), Row, 0);
        auto* Edit = new TUDNumEdit(this, Max, Min, Value, 1, 0);
        Edit->setFixedWidth(72 + TUpDown::DefaultWidth);
        Grid->addWidget(Edit, Row++, 1, Qt::AlignLeft);
        return Edit;
    };
    const TCombineOption& O = Settings.Combine;
    TileWidth = Num(Tr("Width"), 9999, 1, O.Width);
    TileHeight = Num(Tr("Height"), 9999, 1, O.Height);
    Order = new QComboBox(this);
    Order->addItem(Tr("Row"));
    Order->addItem(Tr("Column"));
    Order->setCurrentIndex(O.Order == 1 ? 1 : 0);
    Grid->addWidget(new QLabel(Tr("Priority"), this), Row, 0);
    Grid->addWidget(Order, Row++, 1);
    Rows = Num(Tr("Rows"), 99, 1, O.Rows);
    Columns = Num(Tr("Columns"), 99, 1, O.Columns);
    RowSpace = Num(Tr("Row space"), 99, 0, O.RowSpace);
    ColumnSpace = Num(Tr("Column space"), 99, 0, O.ColumnSpace);

    BackColor = O.BackgroundColor & 0xFFFFFF;
    ColorPanel = new QPushButton(this);
    PaintSwatch(ColorPanel, BackColor);
    Grid->addWidget(new QLabel(Tr("BackColor"), this), Row, 0);
    Grid->addWidget(ColorPanel, Row++, 1);
    FillBlank = new QCheckBox(Tr("Combine without space"), this);
    FillBlank->setChecked(O.FillBlank);
    Grid->addWidget(FillBlank, Row++, 0, 1, 2);

    auto* Buttons = new QDialogButtonBox(this);
    Buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    Buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(Buttons, &QDialogButtonBox::accepted, this, &TCombineOptionForm::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Layout->addWidget(Buttons);

    connect(ColorPanel, &QPushButton::clicked, this, [this] {
        if (ChooseColor(this, BackColor))
            PaintSwatch(ColorPanel, BackColor);
    });
    KeepCaptionWhole(this);
}

void TCombineOptionForm::accept()
{
    TCombineOption& O = Settings.Combine;
    O.Width = TileWidth->IntValue();
    O.Height = TileHeight->IntValue();
    O.Order = Order->currentIndex();
    O.Rows = Rows->IntValue();
    O.Columns = Columns->IntValue();
    O.RowSpace = RowSpace->IntValue();
    O.ColumnSpace = ColumnSpace->IntValue();
    O.BackgroundColor = BackColor & 0xFFFFFF;
    O.FillBlank = FillBlank->isChecked();
    QDialog::accept();
}

#include "app/BitmapOptionFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "core/ImgInfo.h"
#include "core/ResourceText.h"
#include "effects/ui/WindowLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}
}

TBitmapOptionForm::TBitmapOptionForm(TBitmapOption& Option, QWidget* Owner)
    : QDialog(Owner), FOption(Option), FDraft(Option)
{
    setWindowTitle(Tr("BMP Settings"));
    AlphaCheck = FBindings.Bind(new QCheckBox(Tr("Output of bitmaps with alpha channel is enabled "), this),
                                FDraft.AlphaChannelSupport);
    AlphaCheck->setEnabled((Startup.CPUFeatures & CPU_SSE) != 0);

    HeaderPanel = new QWidget(this);
    auto* HeaderRow = new QHBoxLayout(HeaderPanel);
    HeaderRow->setContentsMargins(0, 0, 0, 0);
    HeaderRow->addWidget(new QLabel(Tr("Header"), HeaderPanel));
    HeaderList = new QComboBox(HeaderPanel);
    HeaderList->addItems({QStringLiteral("BITMAPINFOHEADER"), QStringLiteral("BITMAPV4HEADER")});
    HeaderList->setCurrentIndex(FDraft.AlphaBitmapHeaderType == 0 ? 0 : 1);
    HeaderRow->addWidget(HeaderList, 1);

    AlphaCheckList = new QComboBox(this);
    AlphaCheckList->addItems({Tr("Auto"), QStringLiteral("ARGB"), QStringLiteral("XRGB")});
    FBindings.Bind(AlphaCheckList, FDraft.AlphaCheckType);
    IndexColorCheck = FBindings.Bind(new QCheckBox(Tr("Output index color when only 256 or less colors is used"), this),
                                     FDraft.IndexColor);

    MakeOkCancelButtons(this, OkButton, CancelButton);
    connect(AlphaCheck, &QCheckBox::toggled, HeaderPanel, &QWidget::setEnabled);
    HeaderPanel->setEnabled(AlphaCheck->isChecked());

    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(AlphaCheck);
    Layout->addWidget(HeaderPanel);
    Layout->addWidget(new QLabel(Tr("When 32bit bitmaps does not contain bitfield masks"), this));
    Layout->addWidget(AlphaCheckList);
    Layout->addWidget(IndexColorCheck);
    Layout->addLayout(Buttons);
    ApplyUIFont(this);
    KeepCaptionWhole(this);
}

void TBitmapOptionForm::accept()
{
    FBindings.Commit();
    FDraft.AlphaBitmapHeaderType = HeaderList->currentIndex();
    FOption = FDraft;
    QDialog::accept();
}

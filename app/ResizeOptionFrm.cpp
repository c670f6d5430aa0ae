#include "app/ResizeOptionFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "core/ImgInfo.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/WindowLook.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

const char* const FilterNames[] = {"AreaAverage", "Lanczos",  "Bilinear", "Bicubic",        "BlackmanSinc",
                                   "Spline16",    "Spline36", "Gaussian", "NearestNeighbor"};

constexpr int LanczosID = 2, BicubicID = 4, BlackmanSincID = 5, GaussianID = 8;

// A panel holding a caption and an integer edit with its up-down (returned
// through Edit) that starts at Value.
QWidget* NumPanel(QWidget* Parent, const char* Caption, int Min, int Max, int Value, TUDNumEdit*& Edit)
{
    auto* Panel = new QWidget(Parent);
    auto* Layout = new QHBoxLayout(Panel);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(new QLabel(Tr(Caption), Panel));
    Edit = new TUDNumEdit(Panel, Max, Min, Value, 1, 0);
    Edit->setFixedWidth(48 + TUpDown::DefaultWidth);
    Layout->addWidget(Edit);
    Layout->addStretch(1);
    return Panel;
}

void SelectID(QComboBox* List, int ID)
{
    const int Index = List->findData(ID);
    List->setCurrentIndex(Index >= 0 ? Index : 0);
}

} // namespace

QString TResizeOptionForm::FilterName(int ID)
{
    if (ID < 1 || ID > 9)
        return {};
    return Tr(FilterNames[ID - 1]);
}

TResizeOptionForm::TResizeOptionForm(TResizeOption& Option, QWidget* Owner)
    : QDialog(Owner), FOption(Option), FDraft(Option)
{
    setWindowTitle(Tr("Resize"));

    DecimationList = new QComboBox(this);
    for (int ID = 1; ID <= 9; ++ID)
        DecimationList->addItem(FilterName(ID), ID);
    InterpolationList = new QComboBox(this);
    for (int ID = 2; ID <= 9; ++ID)
        InterpolationList->addItem(FilterName(ID), ID);
    SelectID(DecimationList, FDraft.DecimationMode);
    SelectID(InterpolationList, FDraft.InterpolationMode);

    auto* DecBox = new QGroupBox(Tr("Downscaling"), this);
    auto* IntBox = new QGroupBox(Tr("Upscaling"), this);
    DecRadiusPanel = NumPanel(DecBox, "Radius", 1, 32, FDraft.DecimationRadius, DecRadiusEdit);
    DecSharpPanel = NumPanel(DecBox, "Sharp", -4, 8, FDraft.DecimationSharp, DecSharpEdit);
    DecBlurPanel = NumPanel(DecBox, "Blur", 1, 24, FDraft.DecimationBlur, DecBlurEdit);
    IntRadiusPanel = NumPanel(IntBox, "Radius", 1, 8, FDraft.InterpolationRadius, IntRadiusEdit);
    IntSharpPanel = NumPanel(IntBox, "Sharp", -4, 8, FDraft.InterpolationSharp, IntSharpEdit);
    IntBlurPanel = NumPanel(IntBox, "Blur", 1, 24, FDraft.InterpolationBlur, IntBlurEdit);
    // Each edit falls back to its stored value; OK writes it back held to its range.
    FBindings.Bind(DecRadiusEdit, FDraft.DecimationRadius);
    FBindings.Bind(DecSharpEdit, FDraft.DecimationSharp);
    FBindings.Bind(DecBlurEdit, FDraft.DecimationBlur);
    FBindings.Bind(IntRadiusEdit, FDraft.InterpolationRadius);
    FBindings.Bind(IntSharpEdit, FDraft.InterpolationSharp);
    FBindings.Bind(IntBlurEdit, FDraft.InterpolationBlur);
    // The three parameter panels of a side share one place, one shown at a time.
    auto FillSide = [](QGroupBox* Box, QComboBox* List, QWidget* R, QWidget* S, QWidget* B) {
        auto* Layout = new QVBoxLayout(Box);
        Layout->addWidget(List);
        Layout->addWidget(R);
        Layout->addWidget(S);
        Layout->addWidget(B);
        Layout->addStretch(1);
    };
    FillSide(DecBox, DecimationList, DecRadiusPanel, DecSharpPanel, DecBlurPanel);
    FillSide(IntBox, InterpolationList, IntRadiusPanel, IntSharpPanel, IntBlurPanel);

    DegammaCheck = FBindings.Bind(new QCheckBox(Tr("LinearRGB work space"), this), FDraft.Degamma);
    NoExpandCheck = FBindings.Bind(new QCheckBox(Tr("Don't upscaling "), this), FDraft.NoExpand);

    SIMDList = new QComboBox(this);
    FillSIMDList();
    if (!FDraft.Degamma) {
        // A stored SSE2 choice cannot run here; the record itself is corrected
        // at once, not only on OK.
        if (!(Startup.CPUFeatures & CPU_SSE2) && FDraft.SIMDMode == 3)
            FDraft.SIMDMode = FOption.SIMDMode = 1;
        const int Index = FDraft.SIMDMode >= 1 && FDraft.SIMDMode <= 3 ? FDraft.SIMDMode - 1 : 0;
        SIMDList->setCurrentIndex(Index < SIMDList->count() ? Index : 0);
    }

    auto* ThreadPanel =
        NumPanel(this, "Max Thread", 1, 16, static_cast<int>(std::min<uint32_t>(FDraft.MaxThread, 16)), MaxThreadEdit);

    MakeOkCancelButtons(this, OkButton, CancelButton);
    connect(DegammaCheck, &QCheckBox::clicked, this, [this] { DegammaClick(); });
    connect(DecimationList, &QComboBox::currentIndexChanged, this,
            [this] { ShowParams(DecimationList, DecRadiusPanel, DecSharpPanel, DecBlurPanel); });
    connect(InterpolationList, &QComboBox::currentIndexChanged, this,
            [this] { ShowParams(InterpolationList, IntRadiusPanel, IntSharpPanel, IntBlurPanel); });
    ShowParams(DecimationList, DecRadiusPanel, DecSharpPanel, DecBlurPanel);
    ShowParams(InterpolationList, IntRadiusPanel, IntSharpPanel, IntBlurPanel);

    auto* Sides = new QHBoxLayout;
    Sides->addWidget(DecBox);
    Sides->addWidget(IntBox);
    auto* Grid = new QGridLayout;
    Grid->addWidget(new QLabel(Tr("SIMD Method"), this), 0, 0);
    Grid->addWidget(SIMDList, 0, 1);
    Grid->addWidget(ThreadPanel, 1, 0, 1, 2);
    Grid->addWidget(DegammaCheck, 2, 0, 1, 2);
    Grid->addWidget(NoExpandCheck, 3, 0, 1, 2);
    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Sides);
    Layout->addLayout(Grid);
    Layout->addLayout(Buttons);

    ApplyUIFont(this);
    KeepCaptionWhole(this);
}

void TResizeOptionForm::ShowParams(QComboBox* List, QWidget* Radius, QWidget* Sharp, QWidget* Blur)
{
    const int ID = List->currentData().toInt();
    Radius->setHidden(ID != LanczosID && ID != BlackmanSincID);
    Sharp->setHidden(ID != BicubicID);
    Blur->setHidden(ID != GaussianID);
}

void TResizeOptionForm::FillSIMDList()
{
    SIMDList->clear();
    if (DegammaCheck->isChecked()) {
        // Linear-light work runs in floating point only.
        SIMDList->addItem(Tr("SSE Float"));
        SIMDList->setCurrentIndex(0);
        return;
    }
    SIMDList->addItem(Tr("MMX Integer"));
    SIMDList->addItem(Tr("SSE Float"));
    if (Startup.CPUFeatures & CPU_SSE2)
        SIMDList->addItem(Tr("SSE2 Integer"));
    SIMDList->setCurrentIndex(1);
}

void TResizeOptionForm::DegammaClick()
{
    FillSIMDList();
}

void TResizeOptionForm::accept()
{
    FBindings.Commit();
    // The lists hold filter ids, not positions; the thread count is unsigned.
    FDraft.DecimationMode = DecimationList->currentData().toInt();
    FDraft.InterpolationMode = InterpolationList->currentData().toInt();
    FDraft.SIMDMode = FDraft.Degamma ? 2 : SIMDList->currentIndex() + 1;
    const TUDNumEdit* Threads = MaxThreadEdit;
    FDraft.MaxThread = uint32_t(std::clamp(Threads->IntValue(), int(Threads->Min()), int(Threads->Max())));
    FOption = FDraft;
    QDialog::accept();
}

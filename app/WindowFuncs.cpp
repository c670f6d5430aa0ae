#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "core/ResourceText.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

int RightOfControl(const QWidget* Control)
{
    return Control->x() + Control->width() + 4;
}

QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, uint32_t Color)
{
    QImage img(Width, Height, Format);
    if (!img.isNull())
        img.fill(QColor(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF));
    return img;
}

namespace {
template <typename Setter>
void ForEachChildThenSelf(QWidget* Control, Setter Set)
{
    for (QWidget* child : Control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        ForEachChildThenSelf(child, Set);
    Set(Control);
}
} // namespace

void SetControlsEnabled(QWidget* Control, bool Enabled)
{
    ForEachChildThenSelf(Control, [Enabled](QWidget* W) { W->setEnabled(Enabled); });
}

void SetControlsVisible(QWidget* Control, bool Visible)
{
    ForEachChildThenSelf(Control, [Visible](QWidget* W) { W->setVisible(Visible); });
}

bool IsWindowPosOnScreen(int Left, int Top, int Right, int Bottom)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QRect g = screen->geometry();
    return Left >= 0 && Top >= 0 && Right <= g.width() && Bottom <= g.height();
}

int TextWidthItalicCorrected(const QFont& Font, const QString& Text)
{
    const QFontMetrics styled(Font);
    const int width = styled.horizontalAdvance(Text);
    if (Text.isEmpty())
        return 0;
    QFont plainFont(Font);
    plainFont.setBold(false);
    plainFont.setItalic(false);
    plainFont.setUnderline(false);
    plainFont.setStrikeOut(false);
    const QChar last = Text.back();
    return width - (styled.rightBearing(last) - QFontMetrics(plainFont).rightBearing(last));
}

void MakeOkCancelButtons(QDialog* Dialog, QPushButton*& Ok, QPushButton*& Cancel)
{
    Ok = new QPushButton(QString::fromStdString(LoadResText("OK")), Dialog);
    Cancel = new QPushButton(QString::fromStdString(LoadResText("Cancel")), Dialog);
    Ok->setDefault(true);
    QObject::connect(Ok, &QPushButton::clicked, Dialog, &QDialog::accept);
    QObject::connect(Cancel, &QPushButton::clicked, Dialog, &QDialog::reject);
}

QHBoxLayout* OkCancelRow(QPushButton* Ok, QPushButton* Cancel)
{
    auto* Row = new QHBoxLayout;
    Row->addStretch(1);
    Row->addWidget(Ok);
    Row->addWidget(Cancel);
    return Row;
}

void ApplyUIFont(QWidget* Widget)
{
    if (!UIFontName.empty())
        Widget->setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));
}

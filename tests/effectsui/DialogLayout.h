// What a user sees of a shown window: it fits a 1366 x 768 screen, and no
// visible control covers another or sticks out of the window.
#pragma once
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <string>
#include <vector>

// Visible widgets with no visible child widget, in W's coordinates.
inline void CollectLeaves(QWidget* W, QWidget* Top, std::vector<std::pair<QWidget*, QRect>>& Out)
{
    bool HasChild = false;
    for (QObject* O : W->children()) {
        auto* C = qobject_cast<QWidget*>(O);
        if (!C || C->isWindow() || !C->isVisibleTo(Top))
            continue;
        HasChild = true;
        CollectLeaves(C, Top, Out);
    }
    if (!HasChild && W != Top && W->width() > 0 && W->height() > 0)
        Out.emplace_back(W, QRect(W->mapTo(Top, QPoint(0, 0)), W->size()));
}

inline std::string Describe(QWidget* W)
{
    std::string S = W->metaObject()->className();
    if (!W->objectName().isEmpty())
        S += " " + W->objectName().toStdString();
    if (W->parentWidget())
        S += " in " + std::string(W->parentWidget()->metaObject()->className());
    return S;
}

// The faults of the shown window W, one per line; empty when there are none.
// Room is left for a title bar and a panel.
inline std::string LayoutFaults(QWidget* W, int ScreenW = 1366, int ScreenH = 768)
{
    QApplication::processEvents();
    std::string F;
    if (W->width() > ScreenW || W->height() > ScreenH - 60)
        F += "window " + std::to_string(W->width()) + "x" + std::to_string(W->height()) + " does not fit\n";
    std::vector<std::pair<QWidget*, QRect>> L;
    CollectLeaves(W, W, L);
    for (size_t i = 0; i < L.size(); ++i) {
        if (!W->rect().contains(L[i].second))
            F += Describe(L[i].first) + " sticks out\n";
        for (size_t j = i + 1; j < L.size(); ++j)
            if (L[i].second.intersects(L[j].second))
                F += Describe(L[i].first) + " overlaps " + Describe(L[j].first) + "\n";
    }
    return F;
}

// True when W is wide enough for a title bar to show its caption whole: the
// caption in bold beside a window icon and three frame buttons.
inline bool CaptionFits(const QWidget* W)
{
    QFont Bold = W->font();
    Bold.setBold(true);
    return W->width() >= QFontMetrics(Bold).horizontalAdvance(W->windowTitle()) + 120;
}

// With VESTRO_DIALOG_SHOTS set to a folder, saves the whole screen there as
// Name.png (for looking at the dialogs under a real display).
inline void ScreenShot(const char* Name)
{
    const QByteArray Dir = qgetenv("VESTRO_DIALOG_SHOTS");
    if (Dir.isEmpty())
        return;
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    if (QScreen* S = QGuiApplication::primaryScreen())
        S->grabWindow(0).save(QDir(QString::fromLocal8Bit(Dir)).filePath(QString::fromLatin1(Name) + ".png"));
}

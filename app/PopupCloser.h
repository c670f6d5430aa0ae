// A popup (a context menu, a completion list) stays open when the window it
// belongs to is hidden, and a completion list may even open after its window
// has gone (when the folder listing it waited for arrives). Either way it
// holds the keyboard and the next click: the main window then takes neither
// F5 nor a click until Escape closes it. The closer, installed on the
// application, closes such popups with their window, and at once when they
// open for a window that is no longer shown.
#pragma once
#include <QObject>

class TPopupCloser : public QObject {
public:
    explicit TPopupCloser(QObject* Parent = nullptr) : QObject(Parent) { }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
};

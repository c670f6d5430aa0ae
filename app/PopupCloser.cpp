#include "app/PopupCloser.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

// The window a popup belongs to: its parent's, or for a completion list
// (which has no parent) the window of the edit it completes; null when it
// names none.
QWidget* OwnerWindow(const QWidget* Popup)
{
    if (QWidget* P = Popup->parentWidget())
        return P->window();
    if (QWidget* Proxy = Popup->focusProxy())
        return Proxy->window();
    return nullptr;
}

// True when Popup belongs to a window that is gone or going (Hidden).
bool Orphaned(const QWidget* Popup, const QWidget* Hidden)
{
    const QWidget* Owner = OwnerWindow(Popup);
    return Owner && (Owner == Hidden || !Owner->isVisible());
}

} // namespace

bool TPopupCloser::eventFilter(QObject* Watched, QEvent* Event)
{
    const QEvent::Type Type = Event->type();
    if ((Type == QEvent::Hide || Type == QEvent::Show) && Watched->isWidgetType()) {
        auto* W = static_cast<QWidget*>(Watched);
        if (Type == QEvent::Hide && W->isWindow() && W->windowType() != Qt::Popup) {
            // Innermost first: each close makes the next one the active popup.
            for (int Guard = 0; Guard < 16; ++Guard) {
                QWidget* Popup = QApplication::activePopupWidget();
                if (!Popup || !Orphaned(Popup, W))
                    break;
                Popup->close();
            }
        } else if (Type == QEvent::Show && W->windowType() == Qt::Popup && Orphaned(W, nullptr)) {
            // Closed once it has finished opening.
            QTimer::singleShot(0, W, [P = QPointer<QWidget>(W)] {
                if (P && P->isVisible() && Orphaned(P, nullptr))
                    P->close();
            });
        }
    }
    return QObject::eventFilter(Watched, Event);
}

// Counts the run windows that show while it lives; OnShow is called with
// each one as it shows.
#pragma once
#include "app/ProgressFrm.h"

#include <QApplication>
#include <QEvent>

#include <functional>

class TRunWindowCounter : public QObject {
public:
    int Shown = 0;
    std::function<void(QWidget*)> OnShow;
    TRunWindowCounter() { qApp->installEventFilter(this); }
    ~TRunWindowCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Show)
            if (auto* Run = qobject_cast<TProgressForm*>(Watched)) {
                ++Shown;
                if (OnShow)
                    OnShow(Run);
            }
        return QObject::eventFilter(Watched, Event);
    }
};

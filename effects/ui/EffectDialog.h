// Puts an effect's settings dialog into the effects' dialog registry.
#pragma once
#include "effects/Effect.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QInputDialog>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <type_traits>

// From now on the effect with identifier ID opens its settings with
// Exec(effect, Owner, Extra...). Owner (the main window, may be null) parents
// each dialog while it is shown; once that window is gone the dialogs have
// none. Extra (the selected-entry query, a preview loader) is kept with it.
template <class TOwnEffect, class... TExtra>
void RegisterEffectDialog(uint32_t ID, bool (*Exec)(TOwnEffect&, QWidget*, const TExtra&...), QWidget* Owner,
                          std::type_identity_t<TExtra>... Extra)
{
    SetEffectDialogOf<TOwnEffect>(
        ID, [Exec, Owner = QPointer<QWidget>(Owner), ... Extra = std::move(Extra)](TOwnEffect& Effect) {
            return Exec(Effect, Owner.data(), Extra...);
        });
}

// Makes W, laid out by a vertical box, at least wide enough for a window
// manager's title bar to show its caption whole: the caption in bold, with
// room for the window icon and three frame buttons. Call once the caption
// and the controls are set.
inline void KeepCaptionWhole(QWidget* W)
{
    QFont Bold = W->font();
    Bold.setBold(true);
    const int Need = QFontMetrics(Bold).horizontalAdvance(W->windowTitle()) + 140;
    if (auto* Box = qobject_cast<QBoxLayout*>(W->layout())) {
        const QMargins M = Box->contentsMargins();
        Box->addStrut(Need - M.left() - M.right());
    } else {
        W->setMinimumWidth(std::max(W->minimumWidth(), Need));
    }
}

// A one-line input box with its caption shown whole; Ok tells whether the
// user confirmed it.
inline QString AskText(QWidget* Parent, const QString& Caption, const QString& Prompt, const QString& Start, bool& Ok)
{
    QInputDialog Box(Parent);
    Box.setWindowTitle(Caption);
    Box.setLabelText(Prompt);
    Box.setTextValue(Start);
    (void)Box.sizeHint(); // the box builds its layout on the first size query
    KeepCaptionWhole(&Box);
    Ok = Box.exec() == QDialog::Accepted;
    return Box.textValue();
}

// Puts an effect's settings dialog into the effects' dialog registry.
#pragma once
#include "effects/Effect.h"
#include "effects/ui/WindowLook.h"

#include <QInputDialog>
#include <QPointer>
#include <QWidget>

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

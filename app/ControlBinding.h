// Ties a dialog's controls to the settings fields they edit, so that a dialog
// names each pair once: Bind fills the control from its field at once, and
// Commit (the dialog's OK) writes every bound control back. The fields are a
// dialog's draft copy of the settings, which OK stores into Settings and
// Cancel drops.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class TUDNumEdit;

class TControlBindings {
public:
    // The fields must outlive the bindings (they are the dialog's draft).
    QCheckBox* Bind(QCheckBox* Box, bool& Field);
    QLineEdit* Bind(QLineEdit* Edit, std::string& Field);
    // The list's index; a stored value outside the list shows the first item.
    QComboBox* Bind(QComboBox* List, int32_t& Field);
    // Written back held to the edit's range.
    TUDNumEdit* Bind(TUDNumEdit* Edit, int32_t& Field);
    void Commit() const;

private:
    std::vector<std::function<void()>> FWriteBack;
};

// Stores the members M of a draft into the record it was copied from; a dialog
// that shows a few fields of a record stores only those.
template <auto... M, class R> void StoreFields(R& Record, const R& Draft)
{
    ((Record.*M = Draft.*M), ...);
}

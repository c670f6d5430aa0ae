#include "app/ControlBinding.h"

#include "effects/ui/NumEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>

QCheckBox* TControlBindings::Bind(QCheckBox* Box, bool& Field)
{
    Box->setChecked(Field);
    FWriteBack.push_back([Box, &Field] { Field = Box->isChecked(); });
    return Box;
}

QLineEdit* TControlBindings::Bind(QLineEdit* Edit, std::string& Field)
{
    Edit->setText(QString::fromStdString(Field));
    FWriteBack.push_back([Edit, &Field] { Field = Edit->text().toStdString(); });
    return Edit;
}

QComboBox* TControlBindings::Bind(QComboBox* List, int32_t& Field)
{
    List->setCurrentIndex(Field >= 0 && Field < List->count() ? Field : 0);
    FWriteBack.push_back([List, &Field] { Field = List->currentIndex(); });
    return List;
}

TUDNumEdit* TControlBindings::Bind(TUDNumEdit* Edit, int32_t& Field)
{
    Edit->SetIntValue(Field);
    FWriteBack.push_back([Edit, &Field] { Field = std::clamp(Edit->IntValue(), int(Edit->Min()), int(Edit->Max())); });
    return Edit;
}

void TControlBindings::Commit() const
{
    for (const auto& WriteBack : FWriteBack)
        WriteBack();
}

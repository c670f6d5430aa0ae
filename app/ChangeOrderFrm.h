// The "Filter Order" dialog: the effects of the chain in a list, moved with
// "up" and "down"; OK gives the chain the order shown.
#pragma once
#include <QDialog>

class QListWidget;
class QPushButton;
class TEffectList;

class TChangeOrderForm : public QDialog {
    Q_OBJECT
public:
    // List is not owned and must outlive the dialog.
    explicit TChangeOrderForm(TEffectList& List, QWidget* Owner = nullptr);

    QListWidget* EffectListBox; // one item per effect, carrying its position when opened
    QPushButton* UpButton;
    QPushButton* DownButton;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void UpButtonClick();
    void DownButtonClick();
    void accept() override;

protected:
    // Swallows a left press on the list that is not on an item, so the
    // selection never gets lost.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void MoveSelected(int Delta);
    TEffectList& FList;
};

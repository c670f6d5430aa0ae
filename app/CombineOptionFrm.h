// The "Combine Settings" dialog: the tile sheet of a combine run.
#pragma once
#include <QDialog>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QPushButton;
class TUDNumEdit;

class TCombineOptionForm : public QDialog {
    Q_OBJECT
public:
    // Reads Settings.Combine now; writes it only on OK.
    explicit TCombineOptionForm(QWidget* Owner = nullptr);

    TUDNumEdit* TileWidth;   // 1..9999 pixels
    TUDNumEdit* TileHeight;  // 1..9999 pixels
    QComboBox* Order;        // 0 row first, 1 column first
    TUDNumEdit* Rows;        // 1..99
    TUDNumEdit* Columns;     // 1..99
    TUDNumEdit* RowSpace;    // 0..99 pixels
    TUDNumEdit* ColumnSpace; // 0..99 pixels
    QPushButton* ColorPanel;
    QCheckBox* FillBlank; // "Combine without space"

    uint32_t BackColor; // the panel's colour, 0x00BBGGRR

    void accept() override;
};

// The effect strip of the main window: one row per effect of the chain, in
// chain order, each with a check box (effect on or off), the effect's name
// and a settings button; a last row for the colour reduction when a tool for
// it exists. Effect rows are dragged up and down to reorder the chain; the
// colour-reduction row stays at the end.
#pragma once
#include <QFrame>
#include <QWidget>

#include <vector>

class QCheckBox;
class QLabel;
class QToolButton;
class TEffectList;
class TEffectStrip;

// One row, RowHeight pixels high at top = index x RowHeight. Its index in
// the chain is Tag (the colour-reduction row's Tag is the chain's count).
class TEffectPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int RowHeight = 26;

    TEffectPanel(TEffectStrip* Strip, const QString& Caption, int Tag);

    void SetChecked(bool Value);
    bool Checked() const { return FChecked; }
    int Tag() const { return FTag; }
    void SetTag(int Tag) { FTag = Tag; }
    // Width of the row; the settings button stays at its right end.
    void SetRowWidth(int Width);

    QCheckBox* FCheckBox;
    QToolButton* FSpeedButton;
    QLabel* FLabel;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    TEffectStrip* FStrip;
    int FTag;
    bool FChecked = false;
    int SY = 0; // mouse y (row coordinates) where the drag started
    bool DragFlag = false;
};

// The strip (the parent of the rows). Rebuild makes the rows from a chain;
// the rows then address that chain until the next Rebuild.
class TEffectStrip : public QWidget {
    Q_OBJECT
public:
    explicit TEffectStrip(QWidget* Parent = nullptr);

    // Frees the rows and makes one per item of List, plus the colour-reduction
    // row when ShowDecreaseColor. List must outlive the rows.
    void Rebuild(TEffectList& List, bool ShowDecreaseColor);

    // The effect rows in chain order (not the colour-reduction row).
    std::vector<TEffectPanel*> FilterList;
    TEffectPanel* DCPanel = nullptr;

    QSize sizeHint() const override;

protected:
    // Rows are as wide as the strip.
    void resizeEvent(QResizeEvent* Event) override;

private:
    friend class TEffectPanel;
    // A dragged row reached a neighbour: the two effects swap places in the
    // chain and in FilterList; the neighbour moves to the freed place.
    void SwapWithNeighbour(TEffectPanel* Row, int Delta);
    TEffectList* FList = nullptr;
};

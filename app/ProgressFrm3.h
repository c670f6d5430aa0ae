// The busy window shown over the main window while dropped or added paths are
// expanded into the file list on a list-up thread: borderless, with a wait
// cursor and a line that says what goes on; dark and translucent where the
// desktop can blend windows, else drawn opaque in the window colours. Closing it stops the walk; what was found
// until then stays in the list. The error log of the walk is left for the
// caller to show after exec().
#pragma once
#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class TListupThread;

// Whether the window system draws a window's opacity (an X11 desktop with a
// compositing manager); elsewhere a translucent window shows solid.
bool WindowOpacityShows();

class TProgressForm3 : public QDialog {
    Q_OBJECT
public:
    // Covers Owner (the main window) when given.
    explicit TProgressForm3(QWidget* Owner = nullptr);
    ~TProgressForm3() override;

    // What to expand; call one of them before exec().
    void AddFiles(const std::vector<std::string>& Files); // dropped or handed-over paths
    void AddFolder(const std::string& Dir);

    bool Translucent() const { return FTranslucent; }
    QLabel* Message; // what goes on

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;
    void paintEvent(QPaintEvent* Event) override;

private:
    void OnListupEnded(bool Aborted);

    const bool FTranslucent; // see-through (WindowOpacityShows at creation)
    std::vector<std::string> FFiles;
    std::unique_ptr<TListupThread> FListupThread;
};

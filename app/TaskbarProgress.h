// Progress and error state on the desktop's launcher entry, sent as the
// com.canonical.Unity.LauncherEntry "Update" signal on the session bus.
// Without a session bus (or without QtDBus) every call does nothing.
#pragma once

class TTaskbarProgress {
public:
    TTaskbarProgress();
    // Position of Max (Max > 0): a visible progress bar.
    void SetProgress(int Position, int Max);
    // The run ended with errors: the entry asks for attention.
    void SetError();
    // No progress, no attention.
    void Clear();

private:
    [[maybe_unused]] bool FAvailable = false; // read only where the bus is built in
};

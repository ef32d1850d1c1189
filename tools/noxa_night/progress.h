#pragma once

#include <QElapsedTimer>
#include <QMutex>

// A bar on the terminal, shown once the work has taken more than a second. Show() may be
// called from several threads.
class Progress {
public:
    explicit Progress(bool wanted);
    void Show(const char* what, int done, int total);
    // Ends the bar's line, if a bar was shown.
    void End();

private:
    bool wanted_;
    bool shown_ = false;
    QElapsedTimer timer_;
    QMutex mutex_;
};

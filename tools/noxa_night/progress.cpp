#include "progress.h"

#include <cstdio>
#include <string>

Progress::Progress(bool wanted) : wanted_(wanted) {
    timer_.start();
}

void Progress::Show(const char* what, int done, int total) {
    if (!wanted_ || total <= 0 || timer_.elapsed() < 1000) return;
    const QMutexLocker lock(&mutex_);
    constexpr int kWidth = 30;
    const int filled = done * kWidth / total;
    std::fprintf(stderr, "\r%-8s [%s%s] %d/%d", what, std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kWidth - filled), '.').c_str(), done, total);
    std::fflush(stderr);
    shown_ = true;
}

void Progress::End() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
}

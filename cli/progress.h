// What a run of many pictures shows on the terminal: one line that counts
// the finished pictures, the time so far and the picture at hand, redrawn
// in place; and the failure lines, each kept above it.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <mutex>

namespace modern {

class Progress {
  public:
    // With `showBar` false only failures are written.
    Progress(std::FILE* out, int total, bool showBar);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Any thread may call these.
    void started(const QString& picture);
    void finished();
    void failure(const QString& line);

  private:
    void draw(bool force);
    void clearBar();

    std::FILE* out_;
    const int total_;
    const bool showBar_;
    std::mutex mutex_;
    QElapsedTimer clock_;
    qint64 lastDraw_ = -1000;
    int done_ = 0;
    QString current_;
    bool barShown_ = false;
};

} // namespace modern

// What a run of many pictures shows: on a terminal, one line that counts
// the finished pictures, the time so far and the picture at hand, redrawn in
// place and always as wide as the terminal allows (it follows a resize);
// the failure lines and, with --verbose, a line for each file written, kept
// above it; at the end the line erased and a one-line summary.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <mutex>

namespace modern {

class Progress {
  public:
    // With `showBar` false no bar is drawn; `files`, when given, gets the
    // lines of the files written; `summary`: whether finish() sums up.
    Progress(std::FILE* out, int total, bool showBar, std::FILE* files, bool summary);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Any thread may call these.
    void started(const QString& picture);
    void finished();
    void failure(const QString& line);
    void written(const QString& line);

    // The bar erased, and the summary when asked for.
    void finish(int converted, int failed);

  private:
    void draw(bool force);
    void clearBar();
    void print(std::FILE* stream, const QString& line);

    std::FILE* out_;
    const int total_;
    const bool showBar_;
    std::FILE* files_;
    const bool summary_;
    std::mutex mutex_;
    QElapsedTimer clock_;
    qint64 lastDraw_ = -1000;
    int done_ = 0;
    QString current_;
    bool barShown_ = false;
    int columns_ = 80;
};

} // namespace modern

// What a run of many pictures shows: on a terminal, one line that counts
// the finished pictures, the time so far and the picture at hand, redrawn in
// place and always as wide as the terminal allows (it follows a resize);
// the failure lines and, with --verbose, a line for each file written, kept
// above it; at the end the line erased and a one-line summary. Every line
// is printed as filenames::Printable shows it: names are bytes, and none
// can send the terminal an escape sequence.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace cli {

class Progress {
  public:
    // With `showBar` false no bar is drawn; `files`, when given, gets the
    // lines of the files written; `summary`: whether finish() sums up.
    Progress(std::FILE* out, int total, bool showBar, std::FILE* files, bool summary);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Any thread may call these.
    void started(const std::string& picture);
    void finished();
    void failure(const std::string& line);
    void written(const std::string& line);

    // The bar erased, and the summary when asked for.
    void finish(int converted, int failed);

  private:
    using Clock = std::chrono::steady_clock;
    void draw(bool force);
    void clearBar();
    void print(std::FILE* stream, const std::string& line);
    double seconds() const;

    std::FILE* out_;
    const int total_;
    const bool showBar_;
    std::FILE* files_;
    const bool summary_;
    std::mutex mutex_;
    const Clock::time_point start_ = Clock::now();
    double lastDraw_ = -1; // seconds
    int done_ = 0;
    std::string current_;
    bool barShown_ = false;
    int columns_ = 80;
};

} // namespace cli

#include "progress.h"

#include "filenames.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <csignal>
#include <cwchar>

#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

namespace {

std::atomic<bool> g_resized = true; // the terminal's width is to be asked again

void OnResize(int) {
    g_resized = true;
}

// The characters of a text that is valid UTF-8 (as Printable makes it).
std::u32string Decoded(std::string_view text) {
    std::u32string codes;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (int k = 1; k < length && i + std::size_t(k) < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + std::size_t(k)]) & 0x3Fu);
        codes.push_back(code);
        i += std::size_t(length);
    }
    return codes;
}

std::string Encoded(std::u32string_view codes) {
    std::string text;
    for (const char32_t c : codes)
        filenames::AppendUtf8(text, c);
    return text;
}

// Columns a character takes on the terminal; one when the locale does not know it.
int Width(char32_t c) {
    const int w = ::wcwidth(wchar_t(c));
    return w < 0 ? 1 : w;
}

int Width(std::u32string_view codes) {
    int width = 0;
    for (const char32_t c : codes)
        width += Width(c);
    return width;
}

int Width(std::string_view text) {
    return Width(Decoded(text));
}

// The text in at most `room` columns, its middle given up for "...".
std::string Shortened(std::string_view text, int room) {
    const std::u32string codes = Decoded(text);
    if (Width(codes) <= room) return std::string(text);
    if (room < 3) return std::string(std::size_t(std::max(room, 0)), '.');
    const int keep = room - 3;
    std::size_t head = 0, tail = codes.size();
    int used = 0;
    // The end of a name tells more (the file's own name): it gets the larger half.
    while (head < tail) {
        const int w = Width(codes[head]);
        if (used + w > keep / 2) break;
        used += w, ++head;
    }
    while (tail > head) {
        const int w = Width(codes[tail - 1]);
        if (used + w > keep) break;
        used += w, --tail;
    }
    const std::u32string_view all = codes;
    return Encoded(all.substr(0, head)) + "..." + Encoded(all.substr(tail));
}

// `text` right-aligned in `width` columns.
std::string Right(const std::string& text, int width) {
    const int pad = width - Width(text);
    return pad > 0 ? std::string(std::size_t(pad), ' ') + text : text;
}

// Seconds with one decimal, "." whatever the locale.
std::string Tenths(double seconds) {
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 1);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0.0");
}

// The bar's line in at most `columns` - 1 columns (the last one never
// written, so that the terminal never wraps it).
std::string BarLine(int done, int total, double seconds, const std::string& name, int columns) {
    const int room = std::max(0, columns - 1);
    const int digits = int(std::to_string(total).size());
    const std::string count = Right(std::to_string(done), digits) + '/' + std::to_string(total);
    const std::string numbers = count + "  " + Right(Tenths(seconds), 5) + " s";
    for (const int bar : {20, 10, 0}) {
        const int filled = total ? done * bar / total : bar;
        const std::string line = (bar ? '[' + std::string(std::size_t(filled), '#') +
                                            std::string(std::size_t(bar - filled), ' ') + "] "
                                      : std::string()) +
                                 numbers;
        const int left = room - Width(line) - 2;
        if (name.empty() && left >= -2) return line;
        if (!name.empty() && left >= std::min(Width(name), 12))
            return line + "  " + Shortened(name, left);
    }
    return Shortened(Width(numbers) <= room ? numbers : count, room);
}

} // namespace

Progress::Progress(std::FILE* out, int total, bool showBar, std::FILE* files, bool summary)
    : out_(out), total_(total), showBar_(showBar), files_(files), summary_(summary) {
    if (showBar_) {
        struct sigaction action {};
        action.sa_handler = OnResize;
        action.sa_flags = SA_RESTART;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGWINCH, &action, nullptr);
    }
}

Progress::~Progress() {
    const std::lock_guard lock(mutex_);
    clearBar();
}

double Progress::seconds() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void Progress::started(const std::string& picture) {
    const std::lock_guard lock(mutex_);
    current_ = filenames::Printable(picture);
    draw(false);
}

void Progress::finished() {
    const std::lock_guard lock(mutex_);
    ++done_;
    draw(done_ == total_);
}

void Progress::failure(const std::string& line) {
    const std::lock_guard lock(mutex_);
    print(out_, line);
}

void Progress::written(const std::string& line) {
    if (!files_) return;
    const std::lock_guard lock(mutex_);
    print(files_, line);
}

void Progress::finish(int converted, int failed) {
    const std::lock_guard lock(mutex_);
    clearBar();
    if (!summary_) return;
    std::fprintf(out_, "veldar-convert: %d converted, %d failed, %s s\n", converted, failed,
                 Tenths(seconds()).c_str());
    std::fflush(out_);
}

void Progress::print(std::FILE* stream, const std::string& line) {
    clearBar();
    std::fprintf(stream, "%s\n", filenames::Printable(line).c_str());
    std::fflush(stream);
    draw(true);
}

void Progress::clearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    barShown_ = false;
}

void Progress::draw(bool force) {
    if (!showBar_) return;
    const double now = seconds();
    if (!force && now - lastDraw_ < 0.1) return; // ten times a second is plenty
    lastDraw_ = now;
    if (g_resized.exchange(false)) {
        winsize size{};
        columns_ = ::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0
                       ? int(size.ws_col)
                       : 80;
    }
    const std::string line = BarLine(done_, total_, now, current_, columns_);
    std::fprintf(out_, "\r\033[K%s", line.c_str());
    std::fflush(out_);
    barShown_ = true;
}

} // namespace cli

#include "renderclient.h"

#include "grob/options.h"
#include "renderprotocol.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace renderclient {

namespace {

// A descriptor, closed when it goes.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

bool Pipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd = Fd(fds[0]);
    writeEnd = Fd(fds[1]);
    return true;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Everything the child needs, made before it exists: between fork and exec
// only async-signal-safe calls may be made (other threads may hold locks).
struct Child {
    const char* path;
    char* const* argv;
    char* const* envp;
    int in, out, err, status; // its ends of the pipes, and where exec's failure goes
    pid_t parent;
    rlimit memory;
    rlimit cpu;
};

// Why the child could not become the renderer, for the parent to say.
[[noreturn]] void ChildFailed(const Child& c, int why) {
    [[maybe_unused]] const ssize_t n = ::write(c.status, &why, sizeof why);
    ::_exit(127);
}

[[noreturn]] void RunChild(const Child& c) {
    // Dies with the thread that started it; if that has already gone, now.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) ChildFailed(c, errno);
    if (::getppid() != c.parent) ::_exit(127);
    ::setpgid(0, 0);
    const rlimit noCore{0, 0};
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's shadow memory needs terabytes of address space: a
    // renderer built with it runs under the processor-time limit alone.
    const bool limited = ::setrlimit(RLIMIT_CPU, &c.cpu) == 0;
#else
    const bool limited =
        ::setrlimit(RLIMIT_AS, &c.memory) == 0 && ::setrlimit(RLIMIT_CPU, &c.cpu) == 0;
#endif
    if (!limited) ChildFailed(c, errno);
    ::setrlimit(RLIMIT_CORE, &noCore);
    // The three ends onto 0, 1 and 2, moved out of the way first when one of
    // them is there already (a program started with a standard stream closed).
    auto above = [](int fd) { return fd > 2 ? fd : ::fcntl(fd, F_DUPFD_CLOEXEC, 3); };
    const int in = above(c.in), out = above(c.out), err = above(c.err);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0)
        ChildFailed(c, errno);
    // No handler of this program's runs in the child, nothing it ignores
    // stays ignored, and nothing stays blocked.
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction now {};
        if (sig == SIGKILL || sig == SIGSTOP || ::sigaction(sig, nullptr, &now) != 0) continue;
        if (now.sa_handler != SIG_DFL) {
            struct sigaction byDefault {};
            byDefault.sa_handler = SIG_DFL;
            ::sigaction(sig, &byDefault, nullptr);
        }
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // No other descriptor of this program reaches the renderer.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        for (int fd = 3; fd < 65536; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::execve(c.path, c.argv, c.envp);
    ChildFailed(c, errno);
}

// The answer as it arrives: block headers, and each picture's pixels read
// straight into the picture.
class Answer {
  public:
    explicit Answer(int onlyPage) : onlyPage_(onlyPage) {}
    // Where the next bytes go.
    std::span<std::uint8_t> room() {
        if (!reading_) return {head_.data() + got_, head_.size() - got_};
        auto* pixels = reinterpret_cast<std::uint8_t*>(page_.image.pixels.data());
        return {pixels + got_, page_.image.pixels.size() * 4 - got_};
    }
    // Takes `n` bytes just read into room(); false when the answer is not one.
    bool took(std::size_t n) {
        got_ += n;
        if (!reading_ && got_ == head_.size()) {
            const auto header = render::DecodeHeader(head_);
            if (!header) return false;
            if (onlyPage_ < 0 || seen_ == onlyPage_)
                pixels_ += std::int64_t(header->width) * header->height;
            // Four pictures of the largest size in all, as the pipeline holds them.
            if (pixels_ > 4 * grob::kMaxPixels) return false;
            page_ = Page{};
            page_.image.width = header->width;
            page_.image.height = header->height;
            page_.image.pixels.resize(std::size_t(header->width) * std::size_t(header->height));
            page_.delayMs = header->delayMs;
            page_.transparent = header->transparent;
            reading_ = true;
            got_ = 0;
        } else if (reading_ && got_ == page_.image.pixels.size() * 4) {
            if (onlyPage_ < 0 || seen_ == onlyPage_) pages_.push_back(std::move(page_));
            ++seen_;
            page_ = Page{};
            reading_ = false;
            got_ = 0;
        }
        return true;
    }
    bool whole() const { return !reading_ && got_ == 0 && seen_ > 0; }
    std::vector<Page> take() { return std::move(pages_); }

  private:
    std::array<std::uint8_t, render::kHeaderBytes> head_{};
    bool reading_ = false;
    std::size_t got_ = 0;
    Page page_;
    std::vector<Page> pages_;
    std::int64_t pixels_ = 0;
    const int onlyPage_;
    int seen_ = 0; // pages read
};

std::string LastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return {};
    const std::size_t start = text.find_last_of('\n', end);
    std::string line = text.substr(start == std::string::npos ? 0 : start + 1,
                                   end + 1 - (start == std::string::npos ? 0 : start + 1));
    line.erase(0, line.find_first_not_of(" \t\r"));
    return line;
}

// The lower of what is asked and what this process may have itself.
rlim_t Within(std::uint64_t wanted, int resource) {
    rlimit own{};
    ::getrlimit(resource, &own);
    rlim_t value = rlim_t(wanted);
    if (own.rlim_cur != RLIM_INFINITY) value = std::min(value, own.rlim_cur);
    if (own.rlim_max != RLIM_INFINITY) value = std::min(value, own.rlim_max);
    return value;
}

} // namespace

Result Render(const Request& request, std::span<const std::uint8_t> data) {
    using Clock = std::chrono::steady_clock;
    Result result;
    auto fail = [&result](std::string why) {
        result.pages.clear();
        result.error = std::move(why);
        return result;
    };
    if (request.renderer.empty() || ::access(request.renderer.c_str(), X_OK) != 0)
        return fail("the picture renderer is not installed");

    std::vector<std::string> args{request.renderer, request.kind};
    if (request.fit.any()) {
        args.emplace_back("--fit");
        args.push_back(std::to_string(request.fit.width) + "x" +
                       std::to_string(request.fit.height));
    }
    if (request.opacity) args.emplace_back("--opacity");
    if (request.keepStoredOrientation) args.emplace_back("--stored");
    // The pages of a document drawn one by one: only the one wanted is drawn.
    const bool onePage = request.kind == "frames" && request.onlyPage >= 0;
    if (onePage) {
        args.emplace_back("--page");
        args.push_back(std::to_string(request.onlyPage));
    }
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) env.emplace_back(*e);
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> argv = Pointers(args), envp = Pointers(env);

    const std::uint64_t asked = request.memoryBytes > 0 ? request.memoryBytes : kDefaultMemoryBytes;
    const rlim_t memory = Within(asked, RLIMIT_AS);
    const bool lowered = memory < asked; // to what this process may have: more cannot be given
    const rlim_t cpu = std::max<rlim_t>(
        1, Within(std::uint64_t(request.cpuSeconds > 0 ? request.cpuSeconds : kDefaultCpuSeconds),
                  RLIMIT_CPU));
    const int waitMs = request.waitMs > 0 ? request.waitMs : kDefaultWaitMs;
    const std::string memoryText =
        "the picture needs more memory than " + std::to_string(memory >> 20) + " MB to draw";
    const std::string cpuText =
        "drawing the picture takes more than " + std::to_string(cpu) + " s of processor time";

    // Standard input is a socket, so that writing to a renderer that has
    // stopped reading is an error here, never a signal that ends the program.
    Fd in, childIn, out, childOut, err, childErr, status, childStatus;
    int pair[2];
    const bool paired = ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0;
    if (paired) {
        in = Fd(pair[0]);
        childIn = Fd(pair[1]);
    }
    if (!paired || !Pipe(out, childOut) || !Pipe(err, childErr) || !Pipe(status, childStatus))
        return fail("the picture renderer cannot be started (" + ErrnoText(errno) + ")");
    const Child child{request.renderer.c_str(),
                      argv.data(),
                      envp.data(),
                      childIn.get(),
                      childOut.get(),
                      childErr.get(),
                      childStatus.get(),
                      ::getpid(),
                      {memory, memory},
                      {cpu, Within(std::uint64_t(cpu) + 1, RLIMIT_CPU)}};
    // No signal handler of this program may run in the child before exec.
    sigset_t all, before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t pid = ::fork();
    if (pid == 0) RunChild(child);
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (pid < 0)
        return fail("the picture renderer cannot be started (" + ErrnoText(forkError) + ")");
    childIn.reset();
    childOut.reset();
    childErr.reset();
    childStatus.reset();

    int execError = 0;
    ssize_t n = 0;
    do
        n = ::read(status.get(), &execError, sizeof execError);
    while (n < 0 && errno == EINTR);
    status.reset();
    if (n == sizeof execError) {
        int how = 0;
        while (::waitpid(pid, &how, 0) < 0 && errno == EINTR) {
        }
        return fail("the picture renderer cannot be started (" + ErrnoText(execError) + ")");
    }

    for (const Fd* fd : {&in, &out, &err})
        ::fcntl(fd->get(), F_SETFL, ::fcntl(fd->get(), F_GETFL) | O_NONBLOCK);
    Answer answer(onePage ? -1 : request.onlyPage);
    std::string said; // the end of its standard error
    std::size_t sent = 0;
    if (data.empty()) in.reset();
    bool damaged = false, waitedTooLong = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    while (out.open() || err.open()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            waitedTooLong = true;
            break;
        }
        pollfd fds[3];
        nfds_t count = 0;
        for (const Fd* fd : {&in, &out, &err})
            if (fd->open()) fds[count++] = {fd->get(), short(fd == &in ? POLLOUT : POLLIN), 0};
        if (::poll(fds, count, int(std::min<long long>(left, 1000))) < 0) {
            if (errno == EINTR) continue;
            damaged = true;
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == in.get()) {
                const ssize_t w = ::send(in.get(), data.data() + sent,
                                         std::min<std::size_t>(data.size() - sent, 1 << 16),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (w > 0) sent += std::size_t(w);
                // Stopped reading: the renderer says why, or its status does.
                if ((w < 0 && errno != EAGAIN && errno != EINTR) || sent == data.size()) in.reset();
            } else if (fds[i].fd == out.get()) {
                const std::span<std::uint8_t> room = answer.room();
                const ssize_t r = ::read(out.get(), room.data(), room.size());
                if (r > 0 && !answer.took(std::size_t(r))) {
                    damaged = true;
                    out.reset();
                } else if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) {
                    out.reset();
                }
            } else {
                char buffer[4096];
                const ssize_t r = ::read(err.get(), buffer, sizeof buffer);
                if (r > 0) {
                    said.append(buffer, std::size_t(r));
                    if (said.size() > 16384) said.erase(0, said.size() - 8192);
                } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                    err.reset();
                }
            }
        }
        if (damaged) break;
    }
    in.reset();
    out.reset();
    err.reset();
    // Its answer is over; it ends now (or is ended, when the clock says so).
    int how = 0;
    rusage usage{};
    bool ended = false;
    for (auto pause = std::chrono::milliseconds(1); !waitedTooLong && !damaged;) {
        const pid_t r = ::wait4(pid, &how, WNOHANG, &usage);
        if (r == pid || (r < 0 && errno != EINTR)) {
            ended = true;
            break;
        }
        if (Clock::now() >= deadline) {
            waitedTooLong = true;
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    if (!ended) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        while (::wait4(pid, &how, 0, &usage) < 0 && errno == EINTR) {
        }
    }

    if (waitedTooLong)
        return fail("drawing the picture takes too long: the renderer did not finish in " +
                    std::to_string((waitMs + 999) / 1000) + " s");
    if (damaged) return fail("the picture renderer gave no picture");
    if (WIFSIGNALED(how)) {
        const double used = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        if (WTERMSIG(how) == SIGXCPU || (WTERMSIG(how) == SIGKILL && used >= double(cpu) - 0.5))
            return fail(cpuText);
        // A library that does not check what it allocates may crash for want of memory.
        result.limited = !lowered;
        return fail("the picture cannot be drawn (the renderer crashed)");
    }
    if (WEXITSTATUS(how) == render::kExitMemory) {
        result.limited = !lowered;
        return fail(memoryText);
    }
    if (WEXITSTATUS(how) != 0) {
        const std::string line = LastLine(said);
        return fail(line.empty() ? "the picture cannot be drawn" : line);
    }
    if (!answer.whole()) return fail("the picture renderer gave no picture");
    result.pages = answer.take();
    return result;
}

} // namespace renderclient

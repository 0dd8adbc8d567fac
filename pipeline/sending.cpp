#include "sending.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace sending {

namespace {

// Kermit's settings for the calculators' Kermit: 8 data bits, no parity, no
// flow control, no carrier; block check 3 and every control character
// prefixed, short packets, and timeouts short enough that a calculator that
// does not answer is told within half a minute.
std::string KermitCommands(const Link& link, const std::string& path, const std::string& name) {
    std::string commands = "set line " + link.device + ", set speed " + std::to_string(link.speed) +
                           ", set carrier-watch off, set flow none, set parity none, "
                           "set modem type none, set block-check 3, set control prefix all, "
                           "set file type binary, set file names literal, "
                           "set receive timeout 5, set send timeout 5, set retry-limit 5, "
                           "set send packet-length 40, send /binary ";
    commands += path;
    commands += " ";
    commands += name;
    commands += ", echo RESULT \\v(status) [\\v(xfermsg)], exit";
    return commands;
}

struct Outcome {
    bool started = false;
    int status = -1;  // the exit status, -1 when it did not end normally
    std::string said; // its standard output and error
    std::string whyNot;
};

// Runs `args[0]` (found on PATH) with `args`, its standard input and
// output the open line `line` when there is one, else nothing and a pipe;
// everything it says is gathered.
Outcome Run(const std::vector<std::string>& args, int line) {
    Outcome outcome;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        outcome.whyNot = std::strerror(errno);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (line >= 0) {
        posix_spawn_file_actions_adddup2(&actions, line, 0);
        posix_spawn_file_actions_adddup2(&actions, line, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    }
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (error != 0) {
        ::close(pipeEnds[0]);
        outcome.whyNot = error == ENOENT ? "the program " + args[0] + " is not installed"
                                         : args[0] + ": " + std::strerror(error);
        return outcome;
    }
    outcome.started = true;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n > 0) {
            if (outcome.said.size() < 1 << 20) outcome.said.append(buffer, std::size_t(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipeEnds[0]);
    int how = 0;
    while (::waitpid(pid, &how, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(how)) outcome.status = WEXITSTATUS(how);
    return outcome;
}

// The last line of what a helper said, without its carriage returns.
std::string LastLine(std::string said) {
    for (char& c : said)
        if (c == '\r') c = '\n';
    while (!said.empty() && (said.back() == '\n' || said.back() == ' '))
        said.pop_back();
    const std::size_t start = said.rfind('\n');
    return said.substr(start == std::string::npos ? 0 : start + 1);
}

std::string Lowered(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string SendByKermit(const Link& link, const std::string& path, const std::string& name) {
    const Outcome run = Run({"kermit", "-Y", "-B", "-C", KermitCommands(link, path, name)}, -1);
    if (!run.started) return run.whyNot;
    const std::size_t at = run.said.rfind("RESULT ");
    if (at == std::string::npos) {
        // Kermit ended before the transfer: the line could not be opened.
        const std::string line = LastLine(run.said);
        return line.empty() ? "Kermit ended without sending" : line;
    }
    const std::size_t open = run.said.find('[', at), close = run.said.find(']', at);
    const int status = std::atoi(run.said.c_str() + at + 7);
    std::string message = open != std::string::npos && close != std::string::npos && close > open
                              ? run.said.substr(open + 1, close - open - 1)
                              : std::string();
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    if (status == 0) return {};
    const std::string lowered = Lowered(message);
    if (message.empty() || lowered.find("timed out") != std::string::npos ||
        lowered.find("too many retries") != std::string::npos ||
        lowered.find("timeout") != std::string::npos)
        return "no answer from the calculator on " + link.device + " (is it in SERVER mode, at " +
               std::to_string(link.speed) + " baud?)";
    if (lowered.find("remote error") != std::string::npos ||
        lowered.find("invalid") != std::string::npos)
        return "the calculator refused the file: " + message;
    return "the transfer failed: " + message;
}

// The line opened raw at the link's speed, 8 data bits, no parity, no flow
// control, held open while sx uses it; -1 with errno set when it cannot be.
int OpenLine(const Link& link) {
    const int fd = ::open(link.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    termios modes{};
    if (::tcgetattr(fd, &modes) == 0) {
        ::cfmakeraw(&modes);
        modes.c_cflag |= CLOCAL | CREAD;
        modes.c_cflag &= ~(CRTSCTS | CSTOPB);
        const speed_t speeds[][2] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                     {9600, B9600},   {19200, B19200},  {38400, B38400},
                                     {57600, B57600}, {115200, B115200}};
        for (const auto& [baud, code] : speeds)
            if (baud == speed_t(link.speed)) ::cfsetspeed(&modes, code);
        ::tcsetattr(fd, TCSANOW, &modes);
    }
    return fd;
}

std::string SendByXModem(const Link& link, const std::string& path) {
    const int line = OpenLine(link);
    if (line < 0) return link.device + ": " + std::strerror(errno);
    // Its timeout in tenths of a second: a calculator that does not answer
    // is told within about a minute.
    const Outcome run = Run({"sx", "-t", "50", path}, line);
    ::close(line);
    if (!run.started) return run.whyNot;
    if (run.status == 0) return {};
    const std::string last = LastLine(run.said);
    const std::string lowered = Lowered(run.said);
    if (lowered.find("timeout") != std::string::npos ||
        lowered.find("retry count exceeded") != std::string::npos)
        return "no answer from the calculator on " + link.device + " (is it waiting in XRECV?)";
    return "the transfer failed" + (last.empty() ? std::string() : ": " + last);
}

} // namespace

std::string CalculatorName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    std::string_view name = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    std::string kept;
    for (const char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)))
            kept += char(std::toupper(static_cast<unsigned char>(c)));
    // A name cannot start with a digit.
    std::string stored(kept.empty() || std::isdigit(static_cast<unsigned char>(kept[0])) ? 1 : 0,
                       'G');
    stored.append(kept);
    return stored;
}

std::string Send(const Link& link, const std::string& path, const std::string& name) {
    if (::access(link.device.c_str(), R_OK | W_OK) != 0)
        return link.device + ": " + std::strerror(errno);
    return link.protocol == Protocol::Kermit ? SendByKermit(link, path, name)
                                             : SendByXModem(link, path);
}

} // namespace sending

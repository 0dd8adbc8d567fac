#include "grob/encoders.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using grob::ErrorCode;
using grob::MemoryRaster;
using grob::Series;
using Bytes = std::vector<std::uint8_t>;
using testing_util::ReadBytes;
using testing_util::ScratchDir;
using testing_util::WriteBytes;

ErrorCode FailureOf(const std::function<void()>& convert, std::string* message = nullptr,
                    std::string* cause = nullptr) {
    try {
        convert();
    } catch (const grob::GrobError& e) {
        if (message) *message = e.what();
        if (cause) *cause = e.cause();
        return e.code();
    }
    ADD_FAILURE() << "conversion did not fail";
    return ErrorCode::WriteFailed;
}

TEST(GrobFile, MissingFolderOrEmptyNameFailsWithItsCause) {
    ScratchDir dir;
    std::string message;
    const std::string missing = dir.file("no-such-folder/out.gro");
    EXPECT_EQ(FailureOf([&] { grob::ConvertAndSave1(MemoryRaster(3, 3), Series::HP48, missing); },
                        &message),
              ErrorCode::CannotCreate);
    EXPECT_NE(message.find(missing), std::string::npos) << message;
    EXPECT_NE(message.find("No such file"), std::string::npos) << message;

    std::filesystem::create_directory(dir.file("folder"));
    for (const std::string& path : {std::string(), dir.file("folder")})
        EXPECT_EQ(FailureOf([&] { grob::ConvertAndSave4(MemoryRaster(3, 3), Series::HP48, path); }),
                  ErrorCode::CannotCreate);
    EXPECT_EQ(dir.entries(), 1u); // the folder, nothing else
}

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit lowered = previous_;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(GrobFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    ScratchDir dir;
    const std::string out = dir.file("keep.g16");
    const Bytes old(300, 0xAB);
    WriteBytes(out, old);
    std::string message;
    {
        FileSizeLimit limit(1000);
        EXPECT_EQ(
            FailureOf([&] { grob::ConvertAndSavePF(MemoryRaster(64, 64), Series::HP48, 4, out); },
                      &message),
            ErrorCode::WriteFailed);
    }
    EXPECT_NE(message.find(out), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(out), old);
    EXPECT_EQ(dir.entries(), 1u);

    // And the same conversion goes through once the disk has room.
    grob::ConvertAndSavePF(MemoryRaster(64, 64), Series::HP48, 4, out);
    EXPECT_EQ(ReadBytes(out).size(), 18u + 8 * 64 * 4);
    EXPECT_EQ(dir.entries(), 1u);
}

TEST(GrobFile, ReplacedFileKeepsItsPermissionsAndLinks) {
    ScratchDir dir;
    const std::string target = dir.file("shared.gro");
    WriteBytes(target, Bytes(100, 1));
    const auto perms = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                       std::filesystem::perms::group_read;
    std::filesystem::permissions(target, perms);
    const std::string link = dir.file("link.gro");
    std::filesystem::create_symlink(target, link);

    grob::ConvertAndSave1(MemoryRaster(8, 1, 0), Series::HP49, link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(target).size(), 19u);
    EXPECT_EQ(std::filesystem::status(target).permissions(), perms);
    EXPECT_EQ(dir.entries(), 2u);
}

TEST(GrobFile, OnlyRegularFilesAreReplaced) {
    ScratchDir dir;
    const std::string fifo = dir.file("pipe.gro");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(dir.file("x"));
    std::filesystem::create_symlink("../pipe.gro", dir.file("x/link.gro"));
    const std::string socketPath = dir.file("socket.gro");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::vector<std::pair<std::string, std::string>> targets = {
        {fifo, "pipe"}, {dir.file("x/link.gro"), "pipe"}, {socketPath, "socket"}};
    // A device node, where this user may make one (a copy of /dev/null).
    const std::string device = dir.file("null.gro");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        targets.push_back({device, "device"});

    for (const auto& [target, what] : targets) {
        std::string cause;
        // A pipe nobody reads would hang a writer: the check comes first.
        EXPECT_EQ(
            FailureOf([&] { grob::ConvertAndSave1(MemoryRaster(8, 1), Series::HP48, target); },
                      nullptr, &cause),
            ErrorCode::CannotCreate)
            << target;
        EXPECT_NE(cause.find(what), std::string::npos) << cause;
    }
    ::close(sock);
    struct stat info {};
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(dir.entries(), targets.size()); // pipe, x/, socket, device: nothing else left
}

TEST(GrobFile, TheLongestLegalNameWorks) {
    ScratchDir dir;
    const std::string out = dir.file(std::string(251, 'n') + ".gro"); // 255 bytes
    grob::ConvertAndSave1(MemoryRaster(8, 1, 0), Series::HP48, out);
    EXPECT_EQ(ReadBytes(out).size(), 19u);
}

// Temporary files that earlier runs left (killed while writing) go at the
// first write into their folder; one a run is writing (locked), one made
// during this run, and names that are not exactly the program's own stay.
TEST(GrobFile, EarlierRunsTemporariesGoButNeverOneBeingWritten) {
    ScratchDir dir;
    const std::time_t hourAgo = std::time(nullptr) - 3600;
    auto make = [&](const std::string& name, bool old) {
        WriteBytes(dir.file(name), Bytes(5, 1));
        const timespec times[2] = {{hourAgo, 0}, {hourAgo, 0}};
        if (old) ::utimensat(AT_FDCWD, dir.file(name).c_str(), times, 0);
        return dir.file(name);
    };
    const std::string stale = make(".grob-0123456789.tmp", true);
    const std::string written = make(".grob-abcdef0123.tmp", true);
    const std::vector<std::string> kept = {
        written, make(".grob-fedcba9876.tmp", false), make(".grob-ABCDEF0123.tmp", true),
        make(".grob-012345678.tmp", true), make(".grob-0123456789.tmp~", true)};
    const int writer = ::open(written.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    grob::WriteFileAtomically(dir.file("out.gro"), Bytes(3, 7));
    EXPECT_FALSE(std::filesystem::exists(stale));
    for (const std::string& path : kept)
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_EQ(dir.entries(), kept.size() + 1);
    ::close(writer);
}

TEST(GrobFile, ErrorsCarryTheirParts) {
    std::string message, cause;
    const grob::OutputKind threeBits{3, 0, "gro3", "-3", ""};
    EXPECT_EQ(
        FailureOf([&] { grob::EncodeGrob(threeBits, MemoryRaster(1, 1), Series::HP48, "p.gro3"); },
                  &message, &cause),
        ErrorCode::BadDepth);
    EXPECT_EQ(message, "cannot write \"p.gro3\": " + cause);
    EXPECT_EQ(FailureOf([&] { grob::ConvertAndSavePF(MemoryRaster(1, 1), Series::HP48, 1, "p"); }),
              ErrorCode::BadFrameCount);
}

} // namespace

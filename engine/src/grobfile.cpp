#include "grob/grobfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define GROB_HAVE_FSYNC 1
#endif

namespace grob {

namespace fs = std::filesystem;

namespace {

constexpr char kHeader48[] = "HPHP48-X";
constexpr char kHeader49[] = "HPHP49-X";

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

[[noreturn]] void Fail(ErrorCode code, const std::string& path, const std::string& cause) {
    throw GrobError(code, "cannot write " + Quoted(path) + ": " + cause);
}

// Opens a new, uniquely named file next to `target` for binary writing.
std::FILE* OpenTemporary(const fs::path& target, fs::path& tempPath, int& err) {
    std::random_device entropy;
    std::mt19937_64 random(entropy());
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 64; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        std::string name(1, '.');
        name += target.filename().string();
        name += suffix;
        tempPath = folder / name;
        errno = 0;
        // "x": fail rather than reuse a file that happens to have this name.
        if (std::FILE* file = std::fopen(tempPath.string().c_str(), "wbx")) return file;
        err = errno;
        if (err != EEXIST) return nullptr;
    }
    return nullptr;
}

} // namespace

std::array<std::uint8_t, kHeadSize> MakeHead(Series series, std::uint64_t grobWidth,
                                             std::uint64_t grobHeight, const std::string& path) {
    if (grobWidth >= kFieldLimit)
        Fail(ErrorCode::FieldOverflow, path,
             "the GROB is " + std::to_string(grobWidth) +
                 " columns wide; the width field holds at most 1048575");
    if (grobHeight >= kFieldLimit)
        Fail(ErrorCode::FieldOverflow, path,
             "the GROB is " + std::to_string(grobHeight) +
                 " rows high; the height field holds at most 1048575");
    const std::uint64_t bodyBytes = RowStride(static_cast<std::uint32_t>(grobWidth)) * grobHeight;
    const std::uint64_t size = 15 + 2 * bodyBytes;
    if (size >= kFieldLimit)
        Fail(ErrorCode::FieldOverflow, path,
             "the GROB body would be " + std::to_string(bodyBytes) +
                 " bytes; a GROB holds at most 524280");

    std::array<std::uint8_t, kHeadSize> head{};
    std::memcpy(head.data(), series == Series::HP49 ? kHeader49 : kHeader48, 8);
    const auto s = static_cast<std::uint32_t>(size);
    const auto h = static_cast<std::uint32_t>(grobHeight);
    const auto w = static_cast<std::uint32_t>(grobWidth);
    head[8] = 0x1E; // prologue 02B1E, low nibble first
    head[9] = 0x2B;
    head[10] = static_cast<std::uint8_t>((s & 0xF) << 4);
    head[11] = static_cast<std::uint8_t>(s >> 4);
    head[12] = static_cast<std::uint8_t>(s >> 12);
    head[13] = static_cast<std::uint8_t>(h);
    head[14] = static_cast<std::uint8_t>(h >> 8);
    head[15] = static_cast<std::uint8_t>(((h >> 16) & 0xF) | ((w & 0xF) << 4));
    head[16] = static_cast<std::uint8_t>(w >> 4);
    head[17] = static_cast<std::uint8_t>(w >> 12);
    return head;
}

void WriteGrobFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (path.empty()) Fail(ErrorCode::CannotCreate, path, "no file name given");

    std::error_code ec;
    fs::path target(path);
    // Writing through a link replaces the file it points to, not the link.
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    const fs::file_status status = fs::status(target, ec);
    const bool exists = fs::exists(status);
    if (exists) {
        if (fs::is_directory(status)) Fail(ErrorCode::CannotCreate, path, "it is a folder");
        // An existing file that cannot be opened for writing stays as it is.
        errno = 0;
        std::FILE* probe = std::fopen(target.string().c_str(), "ab");
        if (!probe) Fail(ErrorCode::CannotCreate, path, ErrnoText(errno));
        std::fclose(probe);
    }

    fs::path tempPath;
    int err = 0;
    std::FILE* file = OpenTemporary(target, tempPath, err);
    if (!file) Fail(ErrorCode::CannotCreate, path, ErrnoText(err));

    auto abandon = [&](const std::string& cause) {
        if (file) std::fclose(file);
        fs::remove(tempPath, ec);
        Fail(ErrorCode::WriteFailed, path, cause);
    };

    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        abandon(ErrnoText(errno));
    if (std::fflush(file) != 0) abandon(ErrnoText(errno));
#ifdef GROB_HAVE_FSYNC
    if (::fsync(::fileno(file)) != 0) abandon(ErrnoText(errno));
#endif
    const int closed = std::fclose(file);
    file = nullptr;
    if (closed != 0) abandon(ErrnoText(errno));

    if (exists) {
        fs::permissions(tempPath, status.permissions(), ec);
        ec.clear();
    }
    fs::rename(tempPath, target, ec);
    if (ec) abandon(ec.message());
}

} // namespace grob

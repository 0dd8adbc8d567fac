// The GROB file: an 8-byte header naming the calculator series, then one
// graphics object (prologue, size, height, width, body).
#pragma once

#include "grob/error.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace grob {

enum class Series { HP48, HP49 };

enum class ErrorCode {
    FieldOverflow, // size, height or width does not fit in five nibbles
    BadFrameCount, // page-flipping frame count outside 2..5
    BadDepth,      // fixed depth other than 1, 2 or 4 bits per pixel
    CannotCreate,  // output path cannot be created or opened for writing
    WriteFailed,   // writing, flushing or replacing the file failed
    BadBody,       // a GROB object whose body is not its width and height
};

// A conversion that failed: what went wrong, with which file, and why.
class GrobError : public Error {
  public:
    GrobError(ErrorCode code, std::string path, std::string cause);
    ErrorCode code() const { return code_; }

  private:
    ErrorCode code_;
};

constexpr std::uint32_t kFieldLimit = 0x100000; // five nibbles
constexpr std::size_t kHeadSize = 18;           // header and the ten head bytes

// Bytes in one GROB row: width / 8 rounded up.
constexpr std::uint32_t RowStride(std::uint32_t grobWidth) {
    return (grobWidth + 7) / 8;
}

// The 8-byte header and the ten head bytes for a GROB of the given size.
// Throws GrobError(FieldOverflow) when a field does not fit; `path` names the
// file in the message.
std::array<std::uint8_t, kHeadSize> MakeHead(Series series, std::uint64_t grobWidth,
                                             std::uint64_t grobHeight, const std::string& path);

// When the bytes of a written file reach the disk: before the file takes the
// place of the old one (each file on its own), or later, when the caller
// calls FlushLaterFiles (many files, one flush for each file system).
enum class Flush { EachFile, Later };

// Writes a whole file to `path`: every file the program writes (GROBs, their
// text form, PNGs, previews, the settings files) goes through here. The bytes
// go to a temporary file in the same folder, which is renamed over `path` only once it is
// completely written, so a failure never destroys an existing file and never leaves a partial one.
// Through a symbolic link the file it points to is replaced; a folder,
// device, pipe or socket is refused and never opened.
//
// Nothing is left behind: the temporary file is named .grob-XXXXXXXXXX.tmp
// (ten hexadecimal digits) and locked (flock) while it is written. SIGINT,
// SIGTERM or SIGHUP removes every temporary file in flight, then ends the
// program as it would have (a handler installed at the first write, for
// each of these signals whose action is still the default). The first write
// into a folder in a run removes the temporary files of this program that
// earlier runs left there (killed by SIGKILL, say): the user's own, made
// before this run, and only those whose lock it gets without waiting.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         Flush flush = Flush::EachFile);

// Holds SIGINT, SIGTERM and SIGHUP back in the calling thread for the rest of
// its life. For a thread that writes files while another thread, which
// never writes, is there to take those signals: its writes then need not hold
// them back one by one while each temporary file is made and named.
void HoldEndingSignalsInThisThread();

// Flushes each file system that a Flush::Later write reached since the last
// call. A descriptor of one file written there is kept open for it, so no
// folder is opened (a folder may be writable but not readable). Returns
// false, with errno set, when a flush fails; any thread may write meanwhile.
bool FlushLaterFiles();

} // namespace grob

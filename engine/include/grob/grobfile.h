// The GROB file: an 8-byte header naming the calculator series, then one
// graphics object (prologue, size, height, width, body).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace grob {

enum class Series { HP48, HP49 };

enum class ErrorCode {
    FieldOverflow, // size, height or width does not fit in five nibbles
    BadFrameCount, // page-flipping frame count outside 2..5
    CannotCreate,  // output path cannot be created or opened for writing
    WriteFailed,   // writing, flushing or replacing the file failed
};

class GrobError : public std::runtime_error {
  public:
    GrobError(ErrorCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
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

// Writes a whole GROB file (head and body) to `path`. The object is written to a temporary file in
// the same folder and renamed over `path` only once it is complete, so a
// failure never destroys an existing file and never leaves a partial object.
void WriteGrobFile(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace grob

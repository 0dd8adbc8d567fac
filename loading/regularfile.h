// Reading a file whole, safely: only a regular file is ever read (a folder,
// device, pipe or socket is refused without waiting on it), and never more
// than a fixed number of bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace loading {

// Bytes read from a file or a stream: owned, and not cleared before they are
// read into (a picture file can be tens of megabytes).
class Bytes {
  public:
    Bytes() = default;
    // Room for `size` bytes, not yet read; false when there is no memory for them.
    bool resize(std::size_t size);
    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::span<const std::uint8_t> span() const { return {data_.get(), size_}; }
    operator std::span<const std::uint8_t>() const { return span(); }

  private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t size_ = 0;
};

// A regular file open for reading, from its start.
class RegularFile {
  public:
    RegularFile() = default;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();
    // Opens `path`; false with `error` set (when given) when it cannot be
    // opened or is not a regular file (never waiting on a pipe or device).
    bool open(const std::string& path, std::string* error);
    // Its size when opened.
    std::int64_t size() const { return size_; }
    // Its next bytes, up to `count` of them: how many were read (fewer only
    // at its end), or -1 with errno set when reading failed.
    std::int64_t read(std::uint8_t* into, std::size_t count);

  private:
    int fd_ = -1;
    std::int64_t size_ = 0;
};

// The file's bytes, or nothing with `error` set (when given). A file larger
// than `maxBytes` is refused.
std::optional<Bytes> ReadRegularFile(const std::string& path, std::int64_t maxBytes,
                                     std::string* error);

} // namespace loading

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
#include <utility>

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

// A file open for reading, checked as ReadRegularFile checks it (a regular
// file, not larger than the limit), and its size then: to be read where it
// lies (with pread, at the file descriptor) or whole.
class RegularFile {
  public:
    // Nothing, with `error` set (when given), when it cannot be opened or
    // is refused.
    static std::optional<RegularFile> Open(const std::string& path, std::int64_t maxBytes,
                                           std::string* error);
    RegularFile(RegularFile&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), size_(other.size_), maxBytes_(other.maxBytes_) {}
    RegularFile& operator=(RegularFile&& other) noexcept {
        std::swap(fd_, other.fd_); // the other closes the file this held
        size_ = other.size_;
        maxBytes_ = other.maxBytes_;
        return *this;
    }
    ~RegularFile();

    int fd() const { return fd_; }
    std::uint64_t size() const { return size_; }
    // Its bytes, as many as it holds by now up to the limit; nothing, with
    // `error` set, when it cannot be read or has grown too large.
    std::optional<Bytes> readAll(std::string* error) const;
    // Its next bytes from where reading stands, up to `count` of them: how
    // many were read (fewer only at its end), or -1 with errno set when
    // reading failed.
    std::int64_t read(std::uint8_t* into, std::size_t count) const;

  private:
    RegularFile(int fd, std::uint64_t size, std::int64_t maxBytes)
        : fd_(fd), size_(size), maxBytes_(maxBytes) {}
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::int64_t maxBytes_ = 0;
};

// The file's bytes, or nothing with `error` set (when given). A file larger
// than `maxBytes` is refused.
std::optional<Bytes> ReadRegularFile(const std::string& path, std::int64_t maxBytes,
                                     std::string* error);

} // namespace loading

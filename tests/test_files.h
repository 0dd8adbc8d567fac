// File helpers shared by every test: a scratch folder and whole-file reads
// and writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace testing_util {

class ScratchDir {
  public:
    ScratchDir() {
        std::random_device entropy;
        path_ = std::filesystem::temp_directory_path() /
                ("veldar-test-" + std::to_string(entropy()) + std::to_string(entropy()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path_),
                                                      std::filesystem::directory_iterator()));
    }

  private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace testing_util

#ifdef QT_CORE_LIB
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QString>
#ifdef QT_GUI_LIB
#include <QImage>
#include <QImageWriter>
#endif

namespace testing_util {

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

inline QByteArray FromBytes(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())};
}

// A GIF of twelve 1 x 1 frames on a canvas at the pixel limit (16384 x
// 2048, 128 MiB at four bytes a pixel), 272 bytes: a dot at (i, 0) in frame
// i, black for odd i, white for even (LZW: clear, the colour, end); or as
// many frames on another canvas.
inline QByteArray WideAnimation(int width = 16384, int height = 2048, int frames = 12) {
    QByteArray gif = QByteArray("GIF89a") + char(width) + char(width >> 8) + char(height) +
                     char(height >> 8) + QByteArray("\x80\x00\x00\0\0\0\xff\xff\xff", 9);
    for (int i = 0; i < frames; ++i)
        gif += QByteArray("\x21\xf9\x04\x00\x0a\x00\x00\x00\x2c", 9) + char(i) +
               QByteArray("\0\0\0\x01\0\x01\0\0\x02\x02", 10) + char(0x44 | ((i + 1) % 2) << 3) +
               QByteArray("\x01\0", 2);
    return gif + ';';
}

#ifdef QT_GUI_LIB
// The picture of the fixtures in tests/data: 48 x 32, red on the left half,
// blue on the right, a green 8 x 8 square in the top-left corner.
inline QImage Reference() {
    QImage image(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            image.setPixel(x, y,
                           x < 8 && y < 8 ? qRgb(0, 255, 0)
                           : x < 24       ? qRgb(255, 0, 0)
                                          : qRgb(0, 0, 255));
    return image;
}

inline QByteArray Encode(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}
#endif

} // namespace testing_util
#endif

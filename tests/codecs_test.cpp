// The decoders of their own against the Qt loader (same sizes, same pixels,
// same refusals), GIF frames composed as designed, the limits, scaled JPEG
// decoding, the PNG encoder, and the icon chooser's tie-break.
#include "codecs.h"
#include "picturecheck.h"
#include "pictureloader.h"
#include "render.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>

#include <gtest/gtest.h>

#include "grob/prepare.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <span>
#include <tuple>

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_util::Encode;

namespace {

QByteArray Fixture(const char* name) {
    return testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/") + QLatin1String(name));
}

std::span<const std::uint8_t> Span(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

// The bytes as a file (in memory), open for reading.
struct MemoryFile {
    const int fd = ::memfd_create("picture", MFD_CLOEXEC);
    explicit MemoryFile(const QByteArray& b) {
        EXPECT_EQ(::write(fd, b.data(), b.size()), b.size());
    }
    ~MemoryFile() { ::close(fd); }
};

// Decoded from the bytes; where the format reads files where they lie, the
// same header and picture (or cause) from the bytes as a file.
codecs::Decoded Decode(const QByteArray& b, const codecs::DecodeOptions& options = {}) {
    const codecs::Handler* handler = codecs::Sniff(Span(b));
    codecs::Decoded decoded = codecs::Decode(Span(b), handler, options);
    if (handler && handler->readFile) {
        const MemoryFile memory(b);
        const codecs::File file{memory.fd, std::uint64_t(b.size())};
        const codecs::Decoded read = codecs::Decode(file, handler, options);
        EXPECT_EQ(read.error, decoded.error);
        EXPECT_EQ(read.image.pixels, decoded.image.pixels);
        const auto told = [](const std::optional<codecs::Header>& h) {
            const codecs::Header none{.width = -1};
            const codecs::Header& t = h ? *h : none;
            return std::tuple(t.width, t.height, t.orientation, t.exifAt, t.exifBytes, t.frames,
                              t.largestFrame, t.restores, t.interlaced, t.held);
        };
        EXPECT_EQ(told(codecs::PeekHeader(file, handler, options)),
                  told(codecs::PeekHeader(Span(b), handler, options)));
    }
    return decoded;
}

// A GIF's frames from its bytes; the same frames (or cause) from the bytes
// as a file.
std::vector<codecs::Frame> Frames(const QByteArray& b, const codecs::DecodeOptions& options,
                                  std::string* error) {
    std::vector<codecs::Frame> frames = codecs::DecodeGifFrames(Span(b), options, error);
    const MemoryFile memory(b);
    std::vector<codecs::Frame> read;
    std::string why;
    const bool ok = codecs::DecodeGifFrames(
        codecs::File{memory.fd, std::uint64_t(b.size())}, options,
        [&](const codecs::Frame& frame) {
            read.push_back(frame);
            return true;
        },
        &why);
    EXPECT_EQ(why, *error);
    EXPECT_EQ(ok, !frames.empty());
    EXPECT_EQ(read.size(), frames.size());
    for (std::size_t i = 0; i < std::min(read.size(), frames.size()); ++i) {
        EXPECT_EQ(read[i].image.pixels, frames[i].image.pixels);
        EXPECT_EQ(read[i].delayMs, frames[i].delayMs);
    }
    return frames;
}

// What the program shows today: Qt's reader, then the composition over white.
QImage ByQt(const QByteArray& b) {
    render::Rendered picture = render::ReadWithQt(b);
    return picture.ok() ? render::ComposeOverWhite(std::move(picture.image)) : QImage();
}

std::vector<std::uint32_t> Pixels(const QImage& composed) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < composed.height(); ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(composed.constScanLine(y));
        for (int x = 0; x < composed.width(); ++x)
            out.push_back(line[x] & 0xFFFFFFu);
    }
    return out;
}

// The colours of composed pixels, without the opacity in their top byte.
std::vector<std::uint32_t> Colours(std::vector<std::uint32_t> pixels) {
    for (std::uint32_t& pixel : pixels)
        pixel &= 0xFFFFFFu;
    return pixels;
}

// The opacity of each pixel of a picture as Qt read it, before composing.
std::vector<std::uint32_t> Opacity(const QImage& read) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < read.height(); ++y)
        for (int x = 0; x < read.width(); ++x)
            out.push_back(std::uint32_t(qAlpha(read.pixel(x, y))));
    return out;
}

// Colours and alpha that vary over the picture, so that every rounding shows.
QImage Varied(QImage::Format format, int w = 40, int h = 24) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(x * 6, y * 10, (x * y * 7) & 255, (x * 11 + y * 17) & 255));
    return image.convertToFormat(format);
}

QImage Opaque(QImage::Format format) {
    return Varied(QImage::Format_RGB32).convertToFormat(format);
}

QByteArray Progressive(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    return bytes;
}

QByteArray FlatJpeg(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(200, 100, 50));
    return Encode(image, "jpeg");
}

// The JPEG with an Exif APP1 segment recording `orientation` after its
// start of image: a big-endian TIFF header and one entry.
QByteArray WithOrientation(QByteArray jpeg, int orientation) {
    const char app1[] = "\xFF\xE1\x00\x22"
                        "Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0";
    return jpeg.insert(2,
                       QByteArray(app1, sizeof app1 - 1) + char(orientation) + QByteArray(6, '\0'));
}

} // namespace

TEST(Codecs, DecodeAsTheQtLoaderDoes) {
    QList<QPair<QString, QByteArray>> pictures = {
        {"rgb png", Encode(Opaque(QImage::Format_RGB32), "png")},
        {"rgba png", Encode(Varied(QImage::Format_ARGB32), "png")},
        {"palette png", Encode(Varied(QImage::Format_Indexed8), "png")},
        {"mono png", Encode(Opaque(QImage::Format_Mono), "png")},
        {"gray png", Encode(Opaque(QImage::Format_Grayscale8), "png")},
        {"gray16 png", Encode(Opaque(QImage::Format_Grayscale16), "png")},
        {"rgb16 png", Encode(Opaque(QImage::Format_RGBX64), "png")},
        {"rgba16 png", Encode(Varied(QImage::Format_RGBA64), "png")},
        {"jpeg", Encode(Opaque(QImage::Format_RGB32), "jpeg")},
        {"gray jpeg", Encode(Opaque(QImage::Format_Grayscale8), "jpeg")},
        {"progressive jpeg", Progressive(Opaque(QImage::Format_RGB32))},
        {"mono bmp", Encode(Opaque(QImage::Format_Mono), "bmp")},
        {"8-bit bmp", Encode(Opaque(QImage::Format_Indexed8), "bmp")},
        {"24-bit bmp", Encode(Opaque(QImage::Format_RGB32), "bmp")},
        {"32-bit bmp", Encode(Varied(QImage::Format_ARGB32), "bmp")},
        {"dib", Encode(Opaque(QImage::Format_RGB32), "bmp").mid(14)},
    };
    for (const char* name :
         {"reference.gif", "codecs-interlaced.png", "codecs-gray-alpha.png",
          "codecs-palette-trns.png", "codecs-cmyk.jpg", "codecs-rle8.bmp", "codecs-rle4.bmp",
          "codecs-os2.bmp", "codecs-transparent.gif", "codecs-frames.gif", "codecs-partial.gif",
          "codecs-rle8-runs.bmp", "codecs-interlaced-mono.png", "codecs-interlaced-rgba16.png"})
        pictures.append({name, Fixture(name)});
    QDirIterator corpus(QStringLiteral(VELDAR_PICTURE_CORPUS), QDir::Files,
                        QDirIterator::Subdirectories);
    while (corpus.hasNext()) {
        const QString path = corpus.next();
        const QByteArray bytes = testing_util::ReadAll(path);
        if (codecs::Sniff(Span(bytes))) pictures.append({path, bytes});
    }
    ASSERT_GE(pictures.size(), 28);
    for (const auto& [name, bytes] : pictures) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_NE(codecs::Sniff(Span(bytes)), nullptr);
        const QImage qt = ByQt(bytes);
        ASSERT_FALSE(qt.isNull());
        const codecs::Decoded own = Decode(bytes);
        ASSERT_TRUE(own.ok()) << own.error;
        ASSERT_EQ(own.image.width, qt.width());
        ASSERT_EQ(own.image.height, qt.height());
        EXPECT_EQ(Colours(own.image.pixels), Pixels(qt));
        std::vector<std::uint32_t> opacity;
        for (const std::uint32_t pixel : own.image.pixels)
            opacity.push_back(pixel >> 24);
        EXPECT_EQ(opacity, Opacity(render::ReadWithQt(bytes).image));
        const auto peeked = codecs::PeekHeader(Span(bytes), codecs::Sniff(Span(bytes)));
        ASSERT_TRUE(peeked.has_value());
        EXPECT_EQ(peeked->width, qt.width());
        EXPECT_EQ(peeked->height, qt.height());
    }
}

// The fixture codecs-frames.gif (tests/data/README.md): a 4 x 4 canvas, four
// frames with each disposal method and a transparent pixel.
TEST(Codecs, GifFramesComposedAsABrowserDoes) {
    const std::uint32_t B = 0xFF0000, R = 0x0000FF, W = 0xFFFFFF, G = 0x00FF00, Y = 0x00FFFF, K = 0;
    const std::vector<std::vector<std::uint32_t>> expected = {
        {B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B},
        {B, B, B, B, B, R, R, B, B, R, R, B, B, B, B, B},
        {B, B, B, B, B, W, W, B, B, W, G, B, B, B, B, Y}, // over the cleared square
        {K, B, B, B, B, W, W, B, B, W, W, B, B, B, B, B}, // the third frame undone
    };
    const std::vector<int> delays = {200, 100, 50, 100}; // 20, 0, 5 and 1 hundredths
    std::string error;
    const QByteArray gif = Fixture("codecs-frames.gif");
    const auto frames = Frames(gif, {}, &error);
    ASSERT_EQ(frames.size(), expected.size()) << error;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].image.width, 4);
        EXPECT_EQ(Colours(frames[i].image.pixels), expected[i]);
        EXPECT_EQ(frames[i].delayMs, delays[i]);
    }
    EXPECT_EQ(Decode(gif).image.pixels, frames[0].image.pixels);
    // The square the second frame cleared is clear (for masks); the rest opaque.
    EXPECT_EQ(frames[2].image.pixels[5] >> 24, 0u);
    EXPECT_EQ(frames[2].image.pixels[10] >> 24, 255u);
    // Around a first frame that leaves the canvas uncovered Qt shows the
    // background colour (entry 0, red); a browser shows the canvas clear.
    const QByteArray partial = Fixture("codecs-partial.gif");
    EXPECT_EQ(Decode(partial).image.pixels[0], 0xFF0000FFu);
    EXPECT_EQ(Frames(partial, {}, &error).at(0).image.pixels[0], 0x00FFFFFFu);
    const QByteArray transparent = Fixture("codecs-transparent.gif");
    const auto still = Frames(transparent, {}, &error);
    ASSERT_EQ(still.size(), 1u);
    EXPECT_EQ(still[0].image.pixels, Decode(transparent).image.pixels);
}

TEST(Codecs, DamagedDataRefusedLikeTheQtLoader) {
    const QList<QByteArray> whole = {
        Encode(Varied(QImage::Format_ARGB32, 64, 64), "png"),
        Encode(Varied(QImage::Format_RGB32, 64, 64), "jpeg", 95),
        Progressive(Varied(QImage::Format_RGB32, 64, 64)),
        Fixture("reference.gif"),
        Encode(Varied(QImage::Format_RGB32, 64, 64), "bmp"),
        Encode(Varied(QImage::Format_Indexed8, 64, 64), "bmp"),
        Fixture("codecs-rle8.bmp"),
    };
    for (const QByteArray& bytes : whole) {
        for (const double part : {0.1, 0.4, 0.7, 0.9}) {
            const QByteArray cut = bytes.left(qsizetype(double(bytes.size()) * part));
            SCOPED_TRACE(cut.size());
            const codecs::Decoded own = Decode(cut);
            EXPECT_FALSE(own.ok());
            EXPECT_FALSE(own.error.empty());
            EXPECT_TRUE(own.image.pixels.empty());
            EXPECT_TRUE(ByQt(cut).isNull());
        }
    }
    std::string error;
    const QByteArray frames = Fixture("codecs-frames.gif");
    EXPECT_TRUE(Frames(frames.left(150), {}, &error).empty());
    EXPECT_FALSE(error.empty());
}

// Hand-made JPEGs (tests/data/README.md, jpegs.py), each refused with its
// own cause: kinds libjpeg-turbo does not decode are not damage, a repeated
// progression is, and a flood of scans is refused before any is decoded.
TEST(Codecs, JpegRefusalsSayWhy) {
    for (const auto& [name, cause] : std::initializer_list<std::pair<const char*, const char*>>{
             {"codecs-12bit.jpg", "a 12-bit JPEG, which this program does not read"},
             {"codecs-lossless.jpg", "a lossless JPEG, which this program does not read"},
             {"codecs-progression.jpg", "the picture is damaged (Inconsistent progression "
                                        "sequence for component 0 coefficient 0)"},
             {"codecs-scans.jpg", "the JPEG has 601 scans; this program reads at most 500"}}) {
        const QByteArray jpeg = Fixture(name);
        EXPECT_EQ(Decode(jpeg).error, cause) << name;
        EXPECT_TRUE(codecs::JpegComplete(Span(jpeg))) << name;
        EXPECT_FALSE(codecs::JpegComplete(Span(jpeg.chopped(1)))) << name;
        EXPECT_EQ(Decode(jpeg.chopped(1)).error, "the JPEG data is cut short") << name;
    }
}

// Beyond the limits, refused from the header; a PNG, a JPEG and a bitmap of
// 40 x 24 = 960 pixels at exactly the limits asked for, and one pixel beyond each.
TEST(Codecs, LimitsRefusedFromTheHeader) {
    for (const char* name : {"huge.png", "huge.jpg", "huge.gif", "huge.bmp"}) {
        SCOPED_TRACE(name);
        const QByteArray bytes = Fixture(name);
        const codecs::Decoded own = Decode(bytes);
        EXPECT_NE(own.error.find("at most 16384 x 16384 and 32 million pixels"), std::string::npos)
            << own.error;
        EXPECT_TRUE(ByQt(bytes).isNull());
    }
    EXPECT_EQ(codecs::PeekHeader(Span(Fixture("huge.jpg")), codecs::ByName("JPEG"))->width, 8000);
    for (const char* format : {"png", "jpeg", "bmp"}) {
        SCOPED_TRACE(format);
        const QByteArray bytes = Encode(Varied(QImage::Format_RGB32), format);
        codecs::DecodeOptions limits;
        limits.maxSide = 40;
        limits.maxPixels = 960;
        EXPECT_TRUE(Decode(bytes, limits).ok());
        limits.maxPixels = 959;
        EXPECT_EQ(
            Decode(bytes, limits).error,
            "the picture is 40 x 24 pixels; at most 40 x 40 and 0 million pixels are accepted");
        limits.maxPixels = 960;
        limits.maxSide = 39;
        EXPECT_FALSE(Decode(bytes, limits).ok());
    }
}

// The scale n/8 worked out by hand for a 131 x 64 box: the smallest whose
// size still covers the picture fitted into the box.
TEST(Codecs, JpegDecodedSmallerForABox) {
    struct Case {
        int w, h, outW, outH;
    };
    for (const Case& c : {Case{4000, 3000, 500, 375}, // fitted 85 x 64: 1/8
                          Case{400, 300, 100, 75},    // fitted 85 x 64: 1/8 gives 50 x 38, 2/8
                          Case{200, 100, 150, 75},    // fitted 128 x 64: 6/8
                          Case{1048, 512, 131, 64},   // fitted 131 x 64: exactly 1/8
                          Case{8, 504, 2, 126},       // fitted 1 x 64: 1/8 would give 1 x 63
                          Case{159, 240, 159, 240},   // fitted 42 x 64, every smaller scale 43 x 64
                          Case{100, 50, 100, 50}}) {  // smaller than the box: as it is
        SCOPED_TRACE(c.w);
        codecs::DecodeOptions fit;
        fit.fit = {131, 64};
        const codecs::Decoded own = Decode(FlatJpeg(c.w, c.h), fit);
        ASSERT_TRUE(own.ok()) << own.error;
        EXPECT_EQ(own.image.width, c.outW);
        EXPECT_EQ(own.image.height, c.outH);
        const std::uint32_t p = own.image.pixels[own.image.pixels.size() / 2];
        EXPECT_NEAR(int(p & 255), 200, 3);
        EXPECT_NEAR(int((p >> 16) & 255), 50, 3);
    }
}

// A 240 x 159 JPEG stored with orientation 6 (codecs-photo-orient6.jpg) is a
// 159 x 240 picture: its size, its limits and the scale of its decoding for
// a box all go by the upright picture; asked to, it is kept as stored.
TEST(Codecs, JpegTurnedUprightFirst) {
    const QByteArray photo = Fixture("codecs-photo-orient6.jpg");
    const auto peeked = codecs::PeekHeader(Span(photo), codecs::ByName("JPEG"));
    ASSERT_TRUE(peeked.has_value());
    EXPECT_EQ(peeked->width, 159);
    EXPECT_EQ(peeked->height, 240);
    const codecs::Decoded upright = Decode(photo);
    EXPECT_EQ(upright.image.width, 159);
    EXPECT_EQ(upright.image.height, 240);
    codecs::DecodeOptions options;
    options.keepStoredOrientation = true;
    const codecs::Decoded stored = Decode(photo, options);
    EXPECT_EQ(stored.image.width, 240);
    EXPECT_EQ(stored.image.height, 159);
    // Row 0 upright is column 0 stored, bottom to top (a quarter turn clockwise).
    for (int x = 0; x < 159; ++x)
        EXPECT_EQ(upright.image.pixels[std::size_t(x)],
                  stored.image.pixels[std::size_t(158 - x) * 240]);
    // Fitted into 131 x 64 it is 42 x 64; every smaller scale rounds up to
    // proportions that fit to 43 x 64, so it is decoded whole.
    options = {};
    options.fit = {131, 64};
    EXPECT_EQ(Decode(photo, options).image.width, 159);
    options.fitted = true;
    const codecs::Decoded fitted = Decode(photo, options);
    EXPECT_EQ(fitted.image.width, 42);
    EXPECT_EQ(fitted.image.height, 64);
    // 100 x 113 stored, 113 x 100 upright, fits to 72 x 64: 7/8 (99 x 88
    // upright); the stored picture's box would take 5/8.
    options.fitted = false;
    const codecs::Decoded turned = Decode(WithOrientation(FlatJpeg(100, 113), 6), options);
    EXPECT_EQ(turned.image.width, 99);
    EXPECT_EQ(turned.image.height, 88);
    options.maxSide = 239; // the upright picture's longer side is 240
    EXPECT_FALSE(Decode(photo, options).ok());
    // Mirrored (2) as its rows are decoded, whole or fitted: 16 x 8, black
    // on the left as stored, on the right as shown.
    QImage halves(16, 8, QImage::Format_RGB32);
    halves.fill(Qt::white);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            halves.setPixel(x, y, qRgb(0, 0, 0));
    const QByteArray mirrored = WithOrientation(Encode(halves, "jpeg"), 2);
    for (const codecs::DecodeOptions& box :
         {codecs::DecodeOptions{}, codecs::DecodeOptions{.fit = {16, 8}, .fitted = true}}) {
        const codecs::Decoded shown = Decode(mirrored, box);
        ASSERT_EQ(shown.image.width, 16);
        EXPECT_GT(shown.image.pixels[4 * 16 + 1] & 255, 215u) << box.fitted;
        EXPECT_LT(shown.image.pixels[4 * 16 + 14] & 255, 40u) << box.fitted;
    }
}

namespace {
// The pixels libpng itself reads from a PNG file, as 0x00BBGGRR.
std::vector<std::uint32_t> ByLibpng(const std::vector<std::uint8_t>& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    std::vector<std::uint32_t> pixels;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        pixels.push_back(rgb[i] | rgb[i + 1] << 8 | std::uint32_t(rgb[i + 2]) << 16);
    return pixels;
}
} // namespace

// Each picture in its smallest exact form (the bit depth and colour type in
// IHDR, bytes 24 and 25), read back to the same pixels by libpng and by the
// decoder: black and white in 1-bit gray; the grays of 4 and 16 shades in 2-
// and 4-bit gray; the 8 of g08 (255 k / 7) as a 4-bit palette; two colours
// as a 1-bit palette, three as a 2-bit one; 300 colours, and the earlier form, in 8-bit RGB.
TEST(Codecs, PngWrittenInItsSmallestExactForm) {
    auto picture = [](int colours, std::uint32_t (*colour)(int)) {
        std::vector<std::uint32_t> pixels;
        for (int i = 0; i < 2 * colours + 3; ++i)
            pixels.push_back(colour(i * 7 % colours) | 0xAB000000u); // the top byte is not written
        return pixels;
    };
    struct Case {
        std::vector<std::uint32_t> pixels;
        int depth, type;
    };
    const Case cases[] = {
        {picture(2, [](int i) { return std::uint32_t(i * 255) * 0x010101u; }), 1, 0},
        {picture(4, [](int i) { return std::uint32_t(i * 85) * 0x010101u; }), 2, 0},
        {picture(16, [](int i) { return std::uint32_t(i * 17) * 0x010101u; }), 4, 0},
        {picture(8, [](int i) { return std::uint32_t(i * 255 / 7) * 0x010101u; }), 4, 3},
        {picture(2, [](int i) { return 0x0000FFu << (8 * i); }), 1, 3},
        {picture(3, [](int i) { return 0x0000FFu << (8 * i); }), 2, 3},
        {picture(300, [](int i) { return std::uint32_t(i * 101); }), 8, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixels.size());
        const int w = int(c.pixels.size());
        std::string error;
        const std::vector<std::uint8_t> png =
            codecs::EncodePngSmallest(c.pixels.data(), w, 1, w, &error);
        ASSERT_GT(png.size(), 33u) << error;
        EXPECT_EQ(png[24], c.depth);
        EXPECT_EQ(png[25], c.type);
        EXPECT_EQ(ByLibpng(png), Colours(c.pixels));
        const codecs::Decoded back = Decode(testing_util::FromBytes(png));
        EXPECT_EQ(Colours(back.image.pixels), Colours(c.pixels));
    }
    // A form that cannot hold the picture is refused, never written wrong.
    codecs::PngForm gray{.kind = codecs::PngForm::Kind::Gray, .depth = 1};
    std::string error;
    EXPECT_TRUE(codecs::EncodePng(cases[1].pixels.data(), 8, 1, 8, gray, &error).empty());
    EXPECT_EQ(error, "the picture has colours this PNG form cannot hold");

    const QByteArray source = Encode(Opaque(QImage::Format_RGB32), "png");
    const codecs::Decoded picture8 = Decode(source);
    const std::vector<std::uint8_t> png =
        codecs::EncodePng(picture8.image.pixels.data(), picture8.image.width, picture8.image.height,
                          picture8.image.width, &error);
    ASSERT_FALSE(png.empty()) << error;
    const QByteArray bytes = testing_util::FromBytes(png);
    EXPECT_EQ(QImage::fromData(bytes, "png").format(), QImage::Format_RGB32); // 8-bit RGB
    EXPECT_EQ(Pixels(ByQt(bytes)), Colours(picture8.image.pixels));
    EXPECT_EQ(Decode(bytes).image.pixels, picture8.image.pixels);
    EXPECT_TRUE(codecs::EncodePng(nullptr, 0, 0, 0, &error).empty());
    EXPECT_FALSE(error.empty());
}

// File pairs: each picture beside the PNG it must decode to (a PNG beside
// its upright picture). Interlaced GIF frames 4 and 3 rows high (rows red,
// green, blue, yellow), placed as browsers place them; PNGs whose eXIf chunk
// records orientations 6 and 8, turned upright (3 x 2 stored, 2 x 3 shown);
// bitmaps whose bit-field channels reach white, packed DIBs with their masks
// in the header; JPEGs of 8 x 8 blocks with orientations 6 and 8.
TEST(Codecs, FilePairsDecodeAsTheirPictures) {
    for (const char* name :
         {"gif-interlaced-4rows.gif", "gif-interlaced-3rows.gif", "orientation-6.png",
          "orientation-8.png", "codecs-a2r10g10b10.bmp", "codecs-rgb444.bmp", "codecs-rgb555.bmp",
          "codecs-bitfields16.bmp", "codecs-v3-alpha.bmp", "codecs-v4-bitfields.dib",
          "codecs-v5-bitfields.dib", "codecs-orient6.jpg", "codecs-orient8.jpg"}) {
        SCOPED_TRACE(name);
        const QByteArray bytes = Fixture(name);
        const std::string_view format = codecs::Sniff(Span(bytes))->name;
        const QString stem = QString::fromLatin1(name).section(u'.', 0, 0);
        const QString expected = stem + (format == "PNG" ? ".upright.png" : ".png");
        const codecs::Decoded own = Decode(bytes);
        const codecs::Decoded shown = Decode(Fixture(expected.toLatin1().constData()));
        EXPECT_EQ(own.error, "");
        EXPECT_EQ(own.image.width, shown.image.width);
        EXPECT_EQ(own.image.height, shown.image.height);
        EXPECT_EQ(own.image.pixels, shown.image.pixels);
        const auto peeked = codecs::PeekHeader(Span(bytes), codecs::Sniff(Span(bytes)));
        EXPECT_EQ(peeked->width, shown.image.width);
        if (format == "PNG") {
            const codecs::Decoded stored = Decode(bytes, {.keepStoredOrientation = true});
            EXPECT_EQ(stored.image.width, 3);
            EXPECT_EQ(stored.image.pixels[0], 0xFF0000FFu); // red, top left as stored
        } else if (format == "GIF") {
            std::string error;
            EXPECT_EQ(Frames(bytes, {}, &error).at(0).image.pixels, shown.image.pixels);
        }
    }
    // Every orientation of a 3 x 2 PNG of six colours (a b c over d e f),
    // recorded in an eXIf chunk after IHDR, decoded whole and fitted to its
    // own size (rows mirrored on their way to the fitter for 2).
    const std::uint32_t six[6] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x000000, 0x00FFFF};
    QImage stored(3, 2, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i)
        stored.setPixel(i % 3, i / 3, qRgb(six[i] & 255, six[i] >> 8 & 255, six[i] >> 16));
    const char* const upright[] = {"abc def",  "cba fed",  "fed cba",  "def abc",
                                   "ad be cf", "da eb fc", "fc eb da", "cf be ad"};
    auto be32 = [](quint32 value) {
        QByteArray b(4, '\0');
        qToBigEndian(value, b.data());
        return b;
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const QByteArray chunk =
            "eXIf" + QByteArray("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) +
            char(orientation) + QByteArray(6, '\0');
        const auto crc = quint32(
            crc32(0, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(chunk.size())));
        const QByteArray png =
            Encode(stored, "png").insert(33, be32(quint32(chunk.size() - 4)) + chunk + be32(crc));
        std::vector<std::uint32_t> want;
        const std::string rows = upright[orientation - 1];
        for (const char c : rows)
            if (c != ' ') want.push_back(six[c - 'a']);
        const int w = int(rows.find(' '));
        for (const codecs::DecodeOptions& options :
             {codecs::DecodeOptions{}, codecs::DecodeOptions{.fit = {w, 6 / w}, .fitted = true}}) {
            const codecs::Decoded d = Decode(png, options);
            EXPECT_EQ(d.image.width, w);
            EXPECT_EQ(Colours(d.image.pixels), want) << options.fitted;
        }
    }
}

// Fitted while decoding (PNG, GIF, JPEG and BMP rows straight into the
// fitter, in every row order the decoders know: JPEG as stored, mirrored
// and turned, bitmaps bottom-up, top-down and run-length coded), the pixels
// are those of the picture decoded whole (at the same DCT scale) and then
// fitted: shrunk to 7 x 5, enlarged by whole factors into 131 x 64, or left
// as they are.
TEST(Codecs, FittedWhileDecodedAsFittedAfter) {
    QList<QByteArray> pictures;
    for (const auto format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Indexed8, QImage::Format_Mono,
          QImage::Format_Grayscale16, QImage::Format_RGBA64})
        pictures.append(Encode(Varied(format), "png"));
    pictures.append(Encode(Varied(QImage::Format_RGB32, 301, 157), "jpeg"));
    pictures.append(Progressive(Varied(QImage::Format_Grayscale8, 97, 211)));
    for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Indexed8,
                              QImage::Format_Mono})
        pictures.append(Encode(Varied(format, 41, 29), "bmp"));
    // A 24-bit bitmap with its rows stored top first, under a negative height.
    const QByteArray bottomUp = Encode(Varied(QImage::Format_RGB32, 37, 23), "bmp");
    QByteArray topDown = bottomUp;
    const qsizetype stride = (37 * 3 + 3) / 4 * 4, start = 54;
    for (int y = 0; y < 23; ++y)
        topDown.replace(start + y * stride, stride,
                        bottomUp.mid(start + (22 - y) * stride, stride));
    qToLittleEndian<qint32>(-23, topDown.data() + 22);
    ASSERT_EQ(Decode(topDown).image.pixels, Decode(bottomUp).image.pixels);
    pictures.append(topDown);
    for (const char* name :
         {"codecs-interlaced.png", "codecs-palette-trns.png", "orientation-6.png", "reference.gif",
          "codecs-transparent.gif", "codecs-partial.gif", "gif-interlaced-4rows.gif",
          "codecs-frames.gif", "codecs-orient6.jpg", "codecs-orient8.jpg",
          "codecs-photo-orient6.jpg", "codecs-rle4.bmp", "codecs-rle8-runs.bmp",
          "codecs-a2r10g10b10.bmp", "codecs-os2.bmp"})
        pictures.append(Fixture(name));
    struct Box {
        int width, height;
        bool upscale;
    };
    for (const Box box : {Box{7, 5, false}, Box{131, 64, true}, Box{48, 40, false}}) {
        const codecs::DecodeOptions fit{.fit = {box.width, box.height, box.upscale},
                                        .fitted = true};
        auto fitAfter = [&](const codecs::Image& whole) {
            std::vector<std::uint32_t> pixels;
            const grob::MemoryRaster fitted =
                grob::Fit({whole.pixels.data(), whole.width, whole.height, whole.width}, fit.fit);
            for (int y = 0; y < fitted.height(); ++y)
                for (int x = 0; x < fitted.width(); ++x)
                    pixels.push_back(grob::Colour(fitted.point(x, y)) | 0xFF000000u);
            return pixels;
        };
        for (const QByteArray& bytes : pictures) {
            SCOPED_TRACE(box.width);
            SCOPED_TRACE(bytes.left(4).toHex().toStdString());
            const codecs::Decoded whole = Decode(bytes, {.fit = {box.width, box.height}});
            const codecs::Decoded fitted = Decode(bytes, fit);
            ASSERT_TRUE(fitted.ok()) << fitted.error;
            EXPECT_EQ(fitted.image.pixels, fitAfter(whole.image));
        }
        std::string error;
        const auto frames = codecs::DecodeGifFrames(Span(Fixture("codecs-frames.gif")), {}, &error);
        std::size_t i = 0;
        codecs::DecodeGifFrames(
            Span(Fixture("codecs-frames.gif")), fit,
            [&](const codecs::Frame& frame) {
                EXPECT_EQ(frame.image.pixels, fitAfter(frames.at(i++).image));
                return true;
            },
            &error);
        EXPECT_EQ(i, 4u);
    }
}

// An address-space limit tells nothing under AddressSanitizer, whose own
// allocator dies rather than fail an allocation: those tests are skipped.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WITHOUT_ADDRESS_LIMITS() GTEST_SKIP() << "no address-space limit under the sanitizer"
#else
#define SKIP_WITHOUT_ADDRESS_LIMITS()
#endif

namespace {
// What `work` says, run in a child process whose address space may grow by
// at most `headroom` bytes (as `ulimit -v` holds a program).
std::string Within(std::size_t headroom, const std::function<std::string()>& work) {
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("VmSize:");
    const std::size_t size =
        at < 0 ? 0 : text.mid(at + 7, 20).trimmed().split(' ')[0].toULongLong();
    int pipe[2];
    if (size == 0 || ::pipe(pipe) != 0) return "no child";
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{size * 1024 + headroom, size * 1024 + headroom}; // size in KiB
        ::setrlimit(RLIMIT_AS, &limit);
        const std::string said = work();
        ::_exit(::write(pipe[1], said.data(), said.size()) < 0);
    }
    ::close(pipe[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, std::size_t(n));
    ::close(pipe[0]);
    int how = 0;
    ::waitpid(child, &how, 0);
    return WIFEXITED(how) ? said : "the child died";
}

// The size decoded, or why not; a GIF's frames one at a time (`frames`):
// the height of each, or why not.
std::string Outcome(const QByteArray& bytes, const codecs::DecodeOptions& options,
                    bool frames = false) {
    std::string said, error;
    if (frames)
        codecs::DecodeGifFrames(
            Span(bytes), options,
            [&](const codecs::Frame& frame) {
                return !(said += std::to_string(frame.image.height)).empty();
            },
            &error);
    const codecs::Decoded d = frames ? codecs::Decoded{} : Decode(bytes, options);
    if (frames || !d.ok()) return said + error + d.error;
    return std::to_string(d.image.width) + " x " + std::to_string(d.image.height);
}

constexpr std::size_t MiB = 1 << 20;
const codecs::DecodeOptions kFit{.fit = {131, 64}, .fitted = true};
} // namespace

// Memory follows what the file can give, not what its header claims: data
// too short for the picture (a chunk claiming 1.5 GiB after a 1 x 1 PNG
// too) is refused before memory is taken for it; a picture at the limits
// (16384 x 2048, 32 x 1024 x 1024 pixels) decoded for a 131 x 64 box takes
// memory for the fitted picture only, and one pixel more (12153 x 2761) is
// refused; an interlaced 16-bit picture is held once, in its final pixels;
// an animation on a canvas at the limits, frame by frame, holds the canvas
// and no frame it has handed on.
TEST(Codecs, MemoryBoundedByTheData) {
    SKIP_WITHOUT_ADDRESS_LIMITS();
    for (const char* name : {"png-no-data.png", "huge-chunk.png", "gif-no-data.gif"})
        EXPECT_EQ(Within(32 * MiB, [&] { return Outcome(Fixture(name), {}); }).substr(4),
                  std::string(name).ends_with("png") ? "PNG data is cut short"
                                                     : "GIF data is cut short");
    for (const char* name : {"limit-16384x2048.png", "limit-16384x2048.gif"})
        EXPECT_EQ(Within(32 * MiB, [&] { return Outcome(Fixture(name), kFit); }), "131 x 16")
            << name;
    for (const char* name : {"over-12153x2761.png", "over-12153x2761.gif"})
        EXPECT_EQ(Outcome(Fixture(name), kFit), "the picture is 12153 x 2761 pixels; at most 16384 "
                                                "x 16384 and 32 million pixels are accepted");
    // 1024 x 1024: 4 MiB of pixels, 8 MiB as libpng gives them.
    EXPECT_EQ(Within(8 * MiB, [] { return Outcome(Fixture("codecs-interlaced-rgba16.png"), {}); }),
              "1024 x 1024");
    EXPECT_EQ(Within(160 * MiB, [] { return Outcome(Fixture("gif-wide-canvas.gif"), kFit, true); }),
              "16161616");
}

// Memory running out inside libjpeg (the coefficients of a progressive
// picture, kept whole even when it is decoded at 1/8) is said as such, not
// as damage; a run-length bitmap whose data stops early (codecs-rle8-cut.bmp,
// claiming 16384 x 2048) is found cut short before its picture is set aside.
TEST(Codecs, JpegAndBitmapMemoryOnlyForDataThatIsThere) {
    SKIP_WITHOUT_ADDRESS_LIMITS();
    // A progressive 16 x 16 JPEG whose frame header says 8192 x 4096: 96 MiB
    // of coefficients are asked for before any scan is read.
    QByteArray claim = Progressive(Varied(QImage::Format_RGB32, 16, 16));
    qToBigEndian<quint16>(4096, claim.data() + claim.indexOf("\xFF\xC2") + 5);
    qToBigEndian<quint16>(8192, claim.data() + claim.indexOf("\xFF\xC2") + 7);
    EXPECT_EQ(Within(16 * MiB, [&] { return Outcome(claim, kFit); }),
              "there is not enough memory for the picture");
    EXPECT_EQ(Within(16 * MiB, [] { return Outcome(Fixture("codecs-rle8-cut.bmp"), {}); }),
              "the bitmap's pixel data is cut short");
}

// The frames kept together hold at most 4 x maxPixels pixels: five 2 x 2
// frames are 20 pixels, within 4 x 5 and beyond 4 x 4.
TEST(Codecs, HeldFramesCapped) {
    const QByteArray five = Fixture("gif-five-frames.gif");
    std::string error;
    EXPECT_EQ(codecs::DecodeGifFrames(Span(five), {.maxPixels = 5}, &error).size(), 5u);
    EXPECT_TRUE(codecs::DecodeGifFrames(Span(five), {.maxPixels = 4}, &error).empty());
    EXPECT_EQ(error, "the animation has too many frames of this size to hold at once");
}

// One frame of many asked for: that one alone (the third of red, green,
// blue, yellow, red is blue; the second GROB of a list), and a file with
// fewer frames, or one picture, says which it lacks.
TEST(Codecs, OnlyTheFrameAskedForKept) {
    auto only = [](const QByteArray& bytes, int frame) {
        pictureloader::Options options;
        options.allFrames = true;
        options.onlyFrame = frame;
        return pictureloader::LoadBytes(Span(bytes), options, "l");
    };
    const QByteArray five = Fixture("gif-five-frames.gif");
    const loading::Picture blue = only(five, 2);
    ASSERT_EQ(blue.frames.size(), 1u);
    EXPECT_EQ(blue.image().pixels, std::vector<std::uint32_t>(4, 0xFFFF0000u));
    EXPECT_EQ(only(five, 5).error, "it has no frame 6");
    const QByteArray list = Fixture("asc-two-8x2.lst");
    const loading::Picture second = only(list, 1);
    ASSERT_EQ(second.frames.size(), 1u);
    EXPECT_EQ(second.image().pixels, only(list, -1).frames.at(1).image.pixels);
    EXPECT_EQ(only(list, 2).error, "it has no frame 3");
    EXPECT_EQ(only(Fixture("codecs-rgb444.png"), 1).error, "it has no frame 2");
    // Twelve frames at the pixel limit are more than the loader keeps at
    // once; one of them is not.
    EXPECT_EQ(only(testing_util::WideAnimation(), -1).error,
              "the animation has too many frames of this size to hold at once");
    EXPECT_EQ(only(testing_util::WideAnimation(), 11).frames.size(), 1u);
}

// What the headers tell, read as the file lies: the frames of a GIF
// (counted, not decoded), the upright size of a PNG and of a JPEG, the
// coefficients libjpeg keeps for a JPEG in several scans, a run-length
// bitmap's indices; and what the loader's header says loading takes
// includes the pictures it gives.
TEST(Codecs, HeadersTellSizesFramesAndWhatIsHeld) {
    const auto frames =
        codecs::PeekHeader(Span(Fixture("codecs-frames.gif")), codecs::ByName("GIF"));
    EXPECT_EQ(frames->frames, 4);
    EXPECT_TRUE(frames->restores);
    const auto header = [](const QByteArray& bytes) {
        return *codecs::PeekHeader(Span(bytes), codecs::Sniff(Span(bytes)));
    };
    EXPECT_EQ(header(Fixture("orientation-8.png")).orientation, 8);
    EXPECT_EQ(header(Fixture("orientation-8.png")).width, 2);
    const QImage large = Varied(QImage::Format_RGB32, 1024, 768);
    const QByteArray baseline = Encode(large, "jpeg"), turned = WithOrientation(baseline, 6);
    EXPECT_EQ(header(baseline).held, 0u);
    // 4:2:0: 128 x 96 blocks of luma and 64 x 48 of each chroma, 128 bytes each.
    EXPECT_EQ(header(Progressive(large)).held, (128u * 96 + 2 * 64 * 48) * 128);
    EXPECT_EQ(header(turned).width, 768);
    EXPECT_EQ(header(turned).orientation, 6);
    EXPECT_EQ(header(Fixture("codecs-rle8.bmp")).held, 8u * (12 + 48)); // 8 rows of 12 bytes
    // The four frames of the wide-canvas GIF made 1024 x 1024 (its frames
    // moved inside), each kept with its opacity, are 20 MiB.
    QByteArray gif = Fixture("gif-wide-canvas.gif");
    for (const int at : {6, 8, 0x3A, 0x3C, 0x52, 0x54, 0x6A, 0x6C})
        qToLittleEndian<quint16>(at < 10 ? 1024 : 1000, gif.data() + at);
    pictureloader::Options every;
    every.allFrames = every.opacity = true;
    const pictureloader::Format& gifs = pictureloader::Recognise(Span(gif));
    EXPECT_GE(gifs.header(Span(gif), every)->memory, 4u * 5 * MiB);
    pictureloader::Options one = every;
    one.onlyFrame = 2; // one frame kept, not four
    EXPECT_LT(gifs.header(Span(gif), one)->memory, 3u * 5 * MiB);
    EXPECT_EQ(gifs.load(Span(gif), every, "g.gif").frames.size(), 4u);
}

namespace {
// The most memory `work` holds at once, measured: in a child process, the
// peak of its resident memory (VmHWM) less what it held before. The work is
// done once first, so that the code and libraries it runs are resident
// already, then again with the peak reset (clear_refs) once free memory went
// back to the system, every block of 64 KiB or more mapped afresh. The most
// there is when the work fails.
std::uint64_t PeakOf(const std::function<bool()>& work) {
    int pipe[2];
    if (::pipe(pipe) != 0) return ~0ull;
    const pid_t child = ::fork();
    if (child == 0) {
        ::mallopt(M_MMAP_THRESHOLD, 64 << 10);
        const bool warm = work();
        ::malloc_trim(0);
        const auto highWater = [] {
            std::ifstream status("/proc/self/status");
            for (std::string line; std::getline(status, line);)
                if (line.starts_with("VmHWM:")) return std::stoull(line.substr(6)) * 1024;
            return 0ull;
        };
        std::ofstream("/proc/self/clear_refs") << "5";
        const std::uint64_t before = highWater();
        const std::uint64_t peak = work() && warm ? highWater() - before : ~0ull;
        ::_exit(::write(pipe[1], &peak, sizeof peak) != sizeof peak);
    }
    ::close(pipe[1]);
    std::uint64_t peak = ~0ull;
    if (::read(pipe[0], &peak, sizeof peak) != sizeof peak) peak = ~0ull;
    ::close(pipe[0]);
    ::waitpid(child, nullptr, 0);
    return peak;
}
} // namespace

// The memory a decoding is said to need (what a run's budget sets aside)
// against the most it holds, measured: large pictures decoded whole and
// fitted to 131 x 64, each kind and each way its decoder holds memory (a
// PNG's rows streamed, a progressive JPEG's coefficients, a JPEG turned
// once whole, a bitmap, an interlaced 16-bit PNG, an animation's canvas
// frame by frame).
TEST(Codecs, MemoryEstimateHoldsWhatDecodingTakes) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory is resident too";
#endif
    QImage large(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            reinterpret_cast<QRgb*>(large.scanLine(y))[x] =
                qRgb(x * 255 / 4000, y * 255 / 3000, (x ^ y) & 255);
    const std::pair<QByteArray, bool> pictures[] = {
        {Encode(large, "png"), false},
        {Progressive(large), false},
        {WithOrientation(Encode(large, "jpeg"), 6), false},
        {Encode(large, "bmp"), false},
        {Fixture("codecs-interlaced-rgba16.png"), false},
        {Fixture("gif-wide-canvas.gif"), true},
    };
    for (const auto& [bytes, frames] : pictures)
        for (const codecs::DecodeOptions& options : {codecs::DecodeOptions{}, kFit}) {
            const codecs::Handler* format = codecs::Sniff(Span(bytes));
            const std::size_t need =
                format->memory(*codecs::PeekHeader(Span(bytes), format, options), options, frames);
            const std::uint64_t peak = PeakOf([&] {
                std::string error;
                return frames ? format->readFrames(
                                    Span(bytes), options, [](const codecs::Frame&) { return true; },
                                    &error)
                              : format->read(Span(bytes), options).ok();
            });
            // A small margin: the kernel counts resident pages in batches.
            EXPECT_LE(peak, need + MiB) << format->name << (options.fitted ? " fitted" : "");
        }
}

// The bytes this process reads from files while `work` runs.
std::uint64_t BytesRead(const std::function<bool()>& work) {
    const auto read = [] {
        std::ifstream io("/proc/self/io");
        for (std::string line; std::getline(io, line);)
            if (line.starts_with("rchar:")) return std::stoull(line.substr(6));
        return 0ull;
    };
    const std::uint64_t before = read();
    work();
    return read() - before;
}

// A picture file read where it lies holds its rows and a small buffer,
// however large the file: with 64 MiB of a hole in it (a PNG chunk of its
// own after the image data, after a JPEG's or a GIF's end, between a BMP's
// headers and its pixels), fitted, it takes less than 4 MiB and gives the
// picture (and a GIF its frames) its bytes give, reading what it reads
// about once (a bottom-up BMP's rows backwards; a PNG is read on through
// its chunks to its end). A file that grows meanwhile gives that picture;
// one that shrinks is cut short.
TEST(Codecs, FilesReadAPieceAtATime) {
    const QImage picture = Varied(QImage::Format_RGB32, 1280, 960); // 200 KB, 400 KB, 3.7 MB
    for (const std::string_view format : {"png", "jpeg", "gif", "bmp"}) {
        SCOPED_TRACE(format);
        const QByteArray bytes =
            format == "gif" ? Fixture("codecs-frames.gif") : Encode(picture, format.data());
        const bool png = format == "png", bmp = format == "bmp";
        // What lies before the hole and after it.
        QByteArray head = png ? bytes.chopped(12) + QByteArray("\4\0\0\0zzZz", 8)
                              : bytes.left(bmp ? 54 : bytes.size());
        const QByteArray tail = png ? bytes.right(16) : bmp ? bytes.mid(54) : QByteArray();
        if (bmp) qToLittleEndian(quint32(54 + 64 * MiB), head.data() + 10); // where pixels start
        const std::uint64_t size = std::uint64_t(bytes.size()) + 64 * MiB + (png ? 12 : 0);
        const MemoryFile large(head);
        ASSERT_EQ(::ftruncate(large.fd, off_t(size)), 0);
        ASSERT_EQ(::pwrite(large.fd, tail.data(), tail.size(), off_t(size) - tail.size()),
                  tail.size());
        const codecs::File file{large.fd, size};
        const codecs::Handler* handler = codecs::Sniff(Span(bytes));
        const std::uint64_t peak = PeakOf([&] { return codecs::Decode(file, handler, kFit).ok(); });
        EXPECT_LT(peak, 4 * MiB);
        const std::uint64_t read =
            BytesRead([&] { return codecs::Decode(file, handler, kFit).ok(); });
        EXPECT_TRUE(png || read < 3 * std::uint64_t(bytes.size()) + MiB) << read;
        const std::vector<std::uint32_t> fitted = Decode(bytes, kFit).image.pixels;
        EXPECT_EQ(codecs::Decode(file, handler, kFit).image.pixels, fitted);
        if (handler->readFileFrames) {
            std::vector<std::vector<std::uint32_t>> frames;
            std::string error;
            EXPECT_TRUE(handler->readFileFrames(
                file, kFit,
                [&](const codecs::Frame& frame) {
                    frames.push_back(frame.image.pixels);
                    return true;
                },
                &error));
            ASSERT_EQ(frames.size(), 4u) << error;
            EXPECT_EQ(frames[0], fitted);
        }
        ASSERT_EQ(::pwrite(large.fd, "more", 4, off_t(size)), 4);
        EXPECT_EQ(codecs::Decode(file, handler, kFit).image.pixels, fitted);
        ASSERT_EQ(::ftruncate(large.fd, bytes.size() / 4), 0);
        const codecs::Decoded cut = codecs::Decode(file, handler, kFit);
        EXPECT_EQ(cut.error, png                ? "the PNG data is cut short"
                             : format == "jpeg" ? "the JPEG data is cut short"
                             : bmp              ? "the bitmap's pixel data is cut short"
                                                : "the GIF data is cut short");
    }
}

// Two 16 x 16 entries, 1 bit then 32 bits: the richer, second one is shown.
TEST(Codecs, IconOfTheSameSizeWithMoreColoursChosen) {
    EXPECT_EQ(picturecheck::BestIconEntry(Span(Fixture("two-depths.ico"))), 1);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

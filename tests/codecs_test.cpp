// The decoders of their own against the Qt loader (same sizes, same pixels,
// same refusals), GIF frames composed as designed, the limits, scaled JPEG
// decoding, the PNG encoder, and the icon chooser's tie-break.
#include "codecs.h"
#include "picturecheck.h"
#include "render.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>

using testing_util::Encode;

namespace {

QByteArray Fixture(const char* name) {
    return testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/") + QLatin1String(name));
}

std::span<const std::uint8_t> Span(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

codecs::Decoded Decode(const QByteArray& b, const codecs::DecodeOptions& options = {}) {
    return codecs::Decode(Span(b), codecs::Sniff(Span(b)), options);
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
          "codecs-bitfields16.bmp", "codecs-os2.bmp", "codecs-transparent.gif", "codecs-frames.gif",
          "codecs-partial.gif", "codecs-rle8-runs.bmp"})
        pictures.append({name, Fixture(name)});
    QDirIterator corpus(QStringLiteral(VELDAR_PICTURE_CORPUS), QDir::Files,
                        QDirIterator::Subdirectories);
    while (corpus.hasNext()) {
        const QString path = corpus.next();
        const QByteArray bytes = testing_util::ReadAll(path);
        if (codecs::Sniff(Span(bytes)) != codecs::Format::Other) pictures.append({path, bytes});
    }
    ASSERT_GE(pictures.size(), 28);
    for (const auto& [name, bytes] : pictures) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_NE(codecs::Sniff(Span(bytes)), codecs::Format::Other);
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
        const auto peeked = codecs::PeekSize(Span(bytes), codecs::Sniff(Span(bytes)));
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
    const auto frames = codecs::DecodeGifFrames(Span(gif), {}, &error);
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
    EXPECT_EQ(codecs::DecodeGifFrames(Span(partial), {}, &error).at(0).image.pixels[0],
              0x00FFFFFFu);
    const QByteArray transparent = Fixture("codecs-transparent.gif");
    const auto still = codecs::DecodeGifFrames(Span(transparent), {}, &error);
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
    EXPECT_TRUE(codecs::DecodeGifFrames(Span(frames.left(150)), {}, &error).empty());
    EXPECT_FALSE(error.empty());
}

TEST(Codecs, LimitsRefusedFromTheHeader) {
    for (const char* name : {"huge.png", "huge.jpg", "huge.gif", "huge.bmp"}) {
        SCOPED_TRACE(name);
        const QByteArray bytes = Fixture(name);
        const codecs::Decoded own = Decode(bytes);
        EXPECT_NE(own.error.find("at most 16384 x 16384 and 32 million pixels"), std::string::npos)
            << own.error;
        EXPECT_TRUE(ByQt(bytes).isNull());
    }
    EXPECT_EQ(codecs::PeekSize(Span(Fixture("huge.jpg")), codecs::Format::Jpeg)->width, 8000);
    codecs::DecodeOptions small;
    small.maxSide = 40;
    small.maxPixels = 1000; // Varied() is 40 x 24 = 960
    EXPECT_TRUE(Decode(Encode(Varied(QImage::Format_RGB32), "png"), small).ok());
    small.maxPixels = 959;
    EXPECT_EQ(Decode(Encode(Varied(QImage::Format_RGB32), "png"), small).error,
              "the picture is 40 x 24 pixels; at most 40 x 40 and 0 million pixels are accepted");
}

namespace {
// The process's address space in KiB: "VmSize" now, or "VmPeak" so far.
long long AddressSpaceKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)) + 1).trimmed().split(' ')[0].toLongLong();
    return -1;
}
} // namespace

// A 1 x 1 PNG followed by a text chunk whose header claims 1.5 GiB: refused as
// cut short without first setting aside what the header claims.
TEST(Codecs, ChunkLengthClaimsNotTakenOnTrust) {
    const QByteArray bytes = Fixture("huge-chunk.png");
    const long long size = AddressSpaceKiB("VmSize:"), peak = AddressSpaceKiB("VmPeak:");
    ASSERT_GT(size, 0);
    EXPECT_EQ(Decode(bytes).error, "the PNG data is cut short");
    EXPECT_LE(AddressSpaceKiB("VmPeak:"), std::max(peak, size + 256 * 1024));
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
                          Case{100, 50, 100, 50}}) {  // smaller than the box: as it is
        SCOPED_TRACE(c.w);
        codecs::DecodeOptions fit;
        fit.fitWidth = 131;
        fit.fitHeight = 64;
        const codecs::Decoded own = Decode(FlatJpeg(c.w, c.h), fit);
        ASSERT_TRUE(own.ok()) << own.error;
        EXPECT_EQ(own.image.width, c.outW);
        EXPECT_EQ(own.image.height, c.outH);
        const std::uint32_t p = own.image.pixels[own.image.pixels.size() / 2];
        EXPECT_NEAR(int(p & 255), 200, 3);
        EXPECT_NEAR(int((p >> 16) & 255), 50, 3);
    }
}

TEST(Codecs, PngEncoderWritesWhatBothReadersReadBack) {
    const QByteArray source = Encode(Opaque(QImage::Format_RGB32), "png");
    const codecs::Decoded picture = Decode(source);
    std::string error;
    const std::vector<std::uint8_t> png =
        codecs::EncodePng(picture.image.pixels.data(), picture.image.width, picture.image.height,
                          picture.image.width, &error);
    ASSERT_FALSE(png.empty()) << error;
    const QByteArray bytes = testing_util::FromBytes(png);
    EXPECT_EQ(QImage::fromData(bytes, "png").format(), QImage::Format_RGB32); // 8-bit RGB
    EXPECT_EQ(Pixels(ByQt(bytes)), Colours(picture.image.pixels));
    EXPECT_EQ(Decode(bytes).image.pixels, picture.image.pixels);
    EXPECT_TRUE(codecs::EncodePng(nullptr, 0, 0, 0, &error).empty());
    EXPECT_FALSE(error.empty());
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

#include "grob/reader.h"

#include <algorithm>
#include <cstring>

namespace grob {

GrobReadError::GrobReadError(std::string path, std::string cause)
    : std::runtime_error("cannot read \"" + path + "\" as a GROB: " + cause),
      path_(std::move(path)), cause_(std::move(cause)) {}

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& cause) {
    throw GrobReadError(path, cause);
}

// Five nibbles, least significant first, starting at nibble `at` of `bytes`.
std::uint32_t Nibbles5(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        const std::size_t n = at + i;
        const std::uint32_t nibble = (bytes[n / 2] >> (n % 2 ? 4 : 0)) & 0xF;
        value |= nibble << (4 * i);
    }
    return value;
}

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// The offset of the word "GROB" standing on its own, or npos.
std::size_t FindGrobWord(std::span<const std::uint8_t> data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    for (std::size_t at = text.find("GROB"); at != std::string_view::npos;
         at = text.find("GROB", at + 1)) {
        const bool before =
            at == 0 || IsSpace(static_cast<std::uint8_t>(text[at - 1])) || text[at - 1] == ';';
        const bool after = at + 4 < text.size() && IsSpace(static_cast<std::uint8_t>(text[at + 4]));
        if (before && after) return at;
    }
    return std::string_view::npos;
}

} // namespace

bool LooksLikeBinaryGrob(std::span<const std::uint8_t> data) {
    return data.size() >= 8 && (std::memcmp(data.data(), "HPHP48-", 7) == 0 ||
                                std::memcmp(data.data(), "HPHP49-", 7) == 0);
}

bool LooksLikeTextGrob(std::span<const std::uint8_t> data) {
    // Text up to the word: no control bytes other than white space. Binary
    // pictures have some in their first bytes, so they are let go early.
    auto isText = [&](std::size_t end) {
        for (std::size_t i = 0; i < end; ++i)
            if (data[i] < 0x20 && !IsSpace(data[i])) return false;
        return true;
    };
    if (!isText(std::min<std::size_t>(data.size(), 512))) return false;
    const std::size_t at = FindGrobWord(data);
    return at != std::string_view::npos && isText(at);
}

GrobObject ReadBinaryGrob(std::span<const std::uint8_t> data, const std::string& path) {
    if (!LooksLikeBinaryGrob(data)) Fail(path, "it does not start with \"HPHP48-\" or \"HPHP49-\"");
    const std::uint8_t letter = data[7];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
        Fail(path, "the header's eighth byte is not a letter");
    if (data.size() < kHeadSize) Fail(path, "the GROB's head is cut short");
    if (data[8] != 0x1E || data[9] != 0x2B)
        Fail(path, "the object is not a GROB (its prologue is not 02B1E)");
    const auto object = data.subspan(8);
    const std::uint32_t size = Nibbles5(object, 5);
    const std::uint32_t height = Nibbles5(object, 10);
    const std::uint32_t width = Nibbles5(object, 15);
    const std::uint64_t bodyBytes = std::uint64_t{RowStride(width)} * height;
    if (size != 15 + 2 * bodyBytes)
        Fail(path, "the size field (" + std::to_string(size) + ") does not match " +
                       std::to_string(width) + " x " + std::to_string(height));
    const std::uint64_t available = data.size() - kHeadSize;
    if (available < bodyBytes)
        Fail(path, "the body is cut short: " + std::to_string(available) + " of " +
                       std::to_string(bodyBytes) + " bytes");
    if (available > bodyBytes)
        Fail(path, std::to_string(available - bodyBytes) + " bytes follow the GROB");
    GrobObject grob;
    grob.series = data[5] == '8' ? Series::HP48 : Series::HP49;
    grob.width = width;
    grob.height = height;
    grob.body.assign(data.begin() + kHeadSize, data.end());
    return grob;
}

GrobObject ReadTextGrob(std::span<const std::uint8_t> data, const std::string& path) {
    const std::size_t start = FindGrobWord(data);
    if (start == std::string_view::npos) Fail(path, "it holds no \"GROB\"");
    std::size_t at = start + 4;
    auto skipSpace = [&] {
        while (at < data.size() && IsSpace(data[at]))
            ++at;
    };
    auto number = [&](const char* what) {
        skipSpace();
        std::uint64_t value = 0;
        const std::size_t first = at;
        for (; at < data.size() && data[at] >= '0' && data[at] <= '9'; ++at)
            if (value < kFieldLimit)
                value = value * 10 + (data[at] - '0'); // no further: it is too large
        if (at == first || (at < data.size() && !IsSpace(data[at])))
            Fail(path, std::string("the ") + what + " is not a whole number");
        if (value >= kFieldLimit)
            Fail(path, std::string("the ") + what + " is larger than 1048575");
        return static_cast<std::uint32_t>(value);
    };
    const std::uint32_t width = number("width");
    const std::uint32_t height = number("height");
    const std::uint64_t bodyBytes = std::uint64_t{RowStride(width)} * height;
    if (15 + 2 * bodyBytes >= kFieldLimit)
        Fail(path, "a GROB of " + std::to_string(width) + " x " + std::to_string(height) +
                       " is larger than "
                       "a GROB can be");
    // Every digit needs a byte of the file: check before allocating.
    if (2 * bodyBytes > data.size() - at) Fail(path, "the body is cut short");
    GrobObject grob;
    grob.width = width;
    grob.height = height;
    grob.body.resize(static_cast<std::size_t>(bodyBytes));
    skipSpace();
    for (std::size_t digit = 0; digit < 2 * bodyBytes; ++digit) {
        while (at < data.size() && IsSpace(data[at]))
            ++at;
        if (at == data.size()) Fail(path, "the body is cut short");
        const int value = HexValue(data[at]);
        if (value < 0) {
            std::string cause = "a body character is not a hexadecimal digit: \"";
            cause.push_back(static_cast<char>(data[at]));
            cause.push_back('"');
            Fail(path, cause);
        }
        ++at;
        grob.body[digit / 2] |= static_cast<std::uint8_t>(digit % 2 ? value << 4 : value);
    }
    // The body ends there: another digit straight after it would be more body.
    if (at < data.size() && HexValue(data[at]) >= 0) Fail(path, "the body is longer than its size");
    return grob;
}

std::string TextGrob(const GrobObject& object) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(64 + object.body.size() * 2 + object.height * 2);
    text.append("%%HP: T(3)A(R)F(.);\r\nGROB ");
    text.append(std::to_string(object.width));
    text.push_back(' ');
    text.append(std::to_string(object.height));
    text.push_back(' ');
    const std::uint32_t stride = RowStride(object.width);
    for (std::size_t i = 0; i < object.body.size(); ++i) {
        if (stride && i % stride == 0 && i) text.append("\r\n");
        text.push_back(kDigits[object.body[i] & 0xF]);
        text.push_back(kDigits[object.body[i] >> 4]);
    }
    text.append("\r\n");
    return text;
}

std::vector<std::uint8_t> BinaryGrob(const GrobObject& object, const std::string& path) {
    const auto head = MakeHead(object.series, object.width, object.height, path);
    std::vector<std::uint8_t> file(kHeadSize + object.body.size());
    std::copy(head.begin(), head.end(), file.begin());
    std::copy(object.body.begin(), object.body.end(), file.begin() + kHeadSize);
    return file;
}

ShadePicture ShadesOf(const GrobObject& object, const OutputKind& kind, const std::string& path,
                      std::int64_t maxSide, std::int64_t maxPixels) {
    ShadePicture picture;
    std::uint32_t w = object.width, h = object.height;
    if (kind.pageFlipping()) {
        if (h % static_cast<std::uint32_t>(kind.frames) != 0)
            Fail(path, "its height of " + std::to_string(h) + " rows is not a whole number of " +
                           std::to_string(kind.frames) + " frames");
        h /= static_cast<std::uint32_t>(kind.frames);
    } else if (w % static_cast<std::uint32_t>(kind.depth) != 0) {
        Fail(path, "its width of " + std::to_string(w) + " columns is not a whole number of " +
                       std::to_string(kind.depth) + "-bit pixels");
    } else {
        w /= static_cast<std::uint32_t>(kind.depth);
    }
    if (w > maxSide || h > maxSide || std::int64_t{w} * h > maxPixels)
        Fail(path,
             "the picture would be " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
    picture.width = static_cast<int>(w);
    picture.height = static_cast<int>(h);
    picture.shades = kind.shades();
    picture.levels.assign(static_cast<std::size_t>(w) * h, 0);
    const std::uint32_t stride = RowStride(object.width);
    auto bit = [&](std::uint32_t row, std::uint32_t column) {
        return (object.body[std::size_t{row} * stride + column / 8] >> (column % 8)) & 1u;
    };
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            unsigned level = 0;
            if (kind.pageFlipping()) {
                // Frame j carries bit 7 - j of the inverted brightness.
                for (int j = 0; j < kind.frames; ++j)
                    level = level << 1 | bit(y + h * static_cast<std::uint32_t>(j), x);
            } else {
                for (int b = 0; b < kind.depth; ++b)
                    level |= bit(y, x * static_cast<std::uint32_t>(kind.depth) +
                                        static_cast<std::uint32_t>(b))
                             << b;
            }
            picture.levels[std::size_t{y} * w + x] = static_cast<std::uint8_t>(level);
        }
    return picture;
}

std::uint8_t GrayOfShade(const OutputKind& kind, int level) {
    if (kind.pageFlipping()) {
        // The top `frames` bits of the mean are the inverted level; the rest
        // sits in the middle of the band.
        const int bits = kind.frames;
        const int top = (kind.shades() - 1 - level) << (8 - bits);
        return static_cast<std::uint8_t>(top | (1 << (7 - bits)));
    }
    // Bands of the channel sum: 384, 192 or 48 wide; three equal channels.
    const int band = 768 / kind.shades();
    const int inverted = kind.shades() - 1 - level;
    return static_cast<std::uint8_t>((band * inverted + band / 2) / 3);
}

} // namespace grob

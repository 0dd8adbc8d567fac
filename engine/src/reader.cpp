#include "grob/reader.h"

#include "grobcodec.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace grob {

GrobReadError::GrobReadError(std::string path, std::string cause)
    : Error("cannot read \"" + path + "\" as a GROB: " + cause, path, cause) {}

namespace codec {

void Fail(const std::string& path, const std::string& cause) {
    throw GrobReadError(path, cause.empty() ? std::string("it is damaged") : cause);
}

std::string PrologueText(std::uint32_t prologue) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(5, '0');
    for (int i = 4; i >= 0; --i, prologue >>= 4)
        text[std::size_t(i)] = kDigits[prologue & 0xF];
    return text;
}

Series CheckHeader(std::span<const std::uint8_t> data, const std::string& path) {
    if (!LooksLikeBinaryGrob(data)) Fail(path, "it does not start with \"HPHP48-\" or \"HPHP49-\"");
    const std::uint8_t letter = data[7];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
        Fail(path, "the header's eighth byte is not a letter");
    return data[5] == '8' ? Series::HP48 : Series::HP49;
}

std::uint32_t NibbleReader::Take(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++at_) {
        const std::uint32_t nibble = (bytes_[at_ / 2] >> (at_ % 2 ? 4 : 0)) & 0xF;
        value |= nibble << (4 * i);
    }
    return value;
}

void NibbleReader::TakeBytes(std::uint8_t* out, std::size_t count) {
    if (at_ % 2 == 0) {
        if (count) std::memcpy(out, bytes_.data() + at_ / 2, count);
        at_ += 2 * std::uint64_t{count};
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(Take(2));
}

void NibbleWriter::Put(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i, ++count_, value >>= 4) {
        if (count_ % 2 == 0)
            bytes_.push_back(static_cast<std::uint8_t>(value & 0xF));
        else
            bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (value & 0xF) << 4);
    }
}

void NibbleWriter::PutBytes(std::span<const std::uint8_t> bytes) {
    if (count_ % 2 == 0) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        count_ += 2 * std::uint64_t{bytes.size()};
        return;
    }
    for (const std::uint8_t byte : bytes)
        Put(byte, 2);
}

void CheckSizeField(std::uint32_t size, std::uint32_t width, std::uint32_t height,
                    const std::string& path) {
    if (size != 15 + 2 * std::uint64_t{RowStride(width)} * height)
        Fail(path, "the size field (" + std::to_string(size) + ") does not match " +
                       std::to_string(width) + " x " + std::to_string(height));
}

void CheckGrobPrologue(std::uint32_t prologue, const std::string& path) {
    if (prologue != kGrobPrologue)
        Fail(path, "the object is not a GROB (its prologue is " + PrologueText(prologue) +
                       ", not 02B1E)");
}

GrobObject ReadGrobFields(NibbleReader& in, Series series, const std::string& path) {
    if (in.left() < 15) Fail(path, "the GROB's head is cut short");
    const std::uint32_t size = in.Take(5);
    const std::uint32_t height = in.Take(5);
    const std::uint32_t width = in.Take(5);
    CheckSizeField(size, width, height, path);
    const std::uint64_t bodyBytes = std::uint64_t{RowStride(width)} * height;
    if (in.left() < 2 * bodyBytes)
        Fail(path, "the body is cut short: " + std::to_string(in.left() / 2) + " of " +
                       std::to_string(bodyBytes) + " bytes");
    GrobObject grob;
    grob.series = series;
    grob.width = width;
    grob.height = height;
    grob.body.resize(static_cast<std::size_t>(bodyBytes));
    in.TakeBytes(grob.body.data(), grob.body.size());
    return grob;
}

void CheckBody(const GrobObject& object, const std::string& path) {
    if (object.body.size() != std::size_t{RowStride(object.width)} * object.height)
        throw GrobError(ErrorCode::BadBody, path,
                        "a GROB body of " + std::to_string(object.body.size()) + " bytes for " +
                            std::to_string(object.width) + " x " + std::to_string(object.height));
}

void WriteGrobObject(NibbleWriter& out, const GrobObject& object, const std::string& path) {
    const auto head = MakeHead(object.series, object.width, object.height, path);
    CheckBody(object, path);
    out.PutBytes(std::span(head).subspan(8)); // prologue, size, height and width
    out.PutBytes(object.body);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

enum class Utf16 { No, LittleEndian, BigEndian };

// UTF-16 by its byte-order mark, or by its first characters: plain ASCII
// with a zero byte beside each.
Utf16 Utf16Order(std::span<const std::uint8_t> data, std::size_t& skip) {
    skip = 2;
    if (data.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE) return Utf16::LittleEndian;
    if (data.size() >= 2 && data[0] == 0xFE && data[1] == 0xFF) return Utf16::BigEndian;
    skip = 0;
    const std::size_t units = std::min<std::size_t>(data.size() / 2, 8);
    if (units < 2) return Utf16::No;
    auto plain = [](std::uint8_t c) { return (c >= 0x20 && c < 0x7F) || IsSpace(char(c)); };
    bool little = true, big = true;
    for (std::size_t i = 0; i < units; ++i) {
        little = little && data[2 * i + 1] == 0 && plain(data[2 * i]);
        big = big && data[2 * i] == 0 && plain(data[2 * i + 1]);
    }
    return little ? Utf16::LittleEndian : big ? Utf16::BigEndian : Utf16::No;
}

// Whether a token of digits following a body is more body. Prose made of
// the letters a-f ("a", "Added") is not: a lone letter, or both cases.
bool MoreDigits(std::string_view token) {
    bool digit = false, upper = false, lower = false;
    for (const char c : token) {
        if (HexValue(c) < 0) return false;
        digit = digit || (c >= '0' && c <= '9');
        upper = upper || (c >= 'A' && c <= 'F');
        lower = lower || (c >= 'a' && c <= 'f');
    }
    return !token.empty() && (digit || (token.size() > 1 && upper != lower));
}

std::string Shown(char c) {
    if (c > 0x20 && c < 0x7F) return std::string("\"") + c + '"';
    static const char kDigits[] = "0123456789ABCDEF";
    const auto byte = static_cast<std::uint8_t>(c);
    return std::string("the byte 0x") + kDigits[byte >> 4] + kDigits[byte & 0xF];
}

} // namespace

std::string_view TextOf(std::span<const std::uint8_t> data, std::string& storage) {
    std::size_t skip = 0;
    const Utf16 order = Utf16Order(data, skip);
    std::string_view text;
    if (order != Utf16::No) {
        storage.clear();
        storage.reserve((data.size() - skip) / 2);
        for (std::size_t i = skip; i + 1 < data.size(); i += 2) {
            const unsigned unit = order == Utf16::LittleEndian ? data[i] | data[i + 1] << 8
                                                               : data[i] << 8 | data[i + 1];
            storage.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
        text = storage;
    } else {
        text = {reinterpret_cast<const char*>(data.data()), data.size()};
        if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    }
    while (!text.empty() && (text.back() == '\0' || text.back() == '\x1A'))
        text.remove_suffix(1);
    return text;
}

bool IsPlainText(std::string_view text, std::size_t end) {
    end = std::min(end, text.size());
    for (std::size_t i = 0; i < end; ++i)
        if (static_cast<std::uint8_t>(text[i]) < 0x20 && !IsSpace(text[i])) return false;
    return true;
}

std::size_t FindWord(std::string_view text, std::string_view word, std::size_t from) {
    for (std::size_t at = text.find(word, from); at != std::string_view::npos;
         at = text.find(word, at + 1)) {
        const bool before =
            at == 0 || IsSpace(text[at - 1]) || text[at - 1] == ';' || text[at - 1] == '{';
        const std::size_t end = at + word.size();
        if (before && end < text.size() && IsSpace(text[end])) return at;
    }
    return std::string_view::npos;
}

bool ParseTextGrob(std::string_view text, std::size_t& at, GrobObject& out, std::string& cause,
                   bool& numbers) {
    numbers = false;
    cause.clear();
    std::size_t pos = at;
    auto skipSpace = [&] {
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
    };
    auto number = [&](const char* what, std::uint32_t& value) {
        skipSpace();
        std::uint64_t v = 0;
        const std::size_t first = pos;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
            if (v < kFieldLimit) v = v * 10 + std::uint64_t(text[pos] - '0'); // no further
        if (pos == first || (pos < text.size() && !IsSpace(text[pos])))
            cause = std::string("the ") + what + " is not a whole number";
        else if (v >= kFieldLimit)
            cause = std::string("the ") + what + " is larger than 1048575";
        value = static_cast<std::uint32_t>(v);
        return cause.empty();
    };
    GrobObject grob;
    if (!number("width", grob.width) || !number("height", grob.height)) return false;
    numbers = true;
    const std::uint64_t bodyBytes = std::uint64_t{RowStride(grob.width)} * grob.height;
    if (15 + 2 * bodyBytes >= kFieldLimit) {
        cause = "a GROB of " + std::to_string(grob.width) + " x " + std::to_string(grob.height) +
                " is larger than a GROB can be";
        return false;
    }
    // The body grows with the digits found, so a size that the text cannot
    // fill allocates nothing. White space may split the digits anywhere.
    for (std::uint64_t digit = 0; digit < 2 * bodyBytes; ++digit) {
        skipSpace();
        const int value = pos < text.size() ? HexValue(text[pos]) : -1;
        if (value < 0) {
            // Inside a run of digits a wrong character; after white space the body ended.
            if (pos < text.size() && !IsSpace(text[pos - 1]))
                cause = "a body character is not a hexadecimal digit: " + Shown(text[pos]);
            else
                cause = "the body is cut short: " + std::to_string(digit) + " of " +
                        std::to_string(2 * bodyBytes) + " digits";
            return false;
        }
        ++pos;
        if (digit % 2 == 0)
            grob.body.push_back(static_cast<std::uint8_t>(value));
        else
            grob.body.back() = static_cast<std::uint8_t>(grob.body.back() | value << 4);
    }
    // More digits, on the same line or after a break, would be more body.
    std::size_t next = pos;
    while (next < text.size() && IsSpace(text[next]))
        ++next;
    std::size_t end = next;
    while (end < text.size() && !IsSpace(text[end]))
        ++end;
    if ((pos < text.size() && HexValue(text[pos]) >= 0) ||
        MoreDigits(text.substr(next, end - next))) {
        cause = "the body is longer than its size: more digits follow";
        return false;
    }
    at = pos;
    out = std::move(grob);
    return true;
}

void AppendTextGrob(std::string& text, const GrobObject& object) {
    static const char kDigits[] = "0123456789ABCDEF";
    text.append("GROB ");
    text.append(std::to_string(object.width));
    text.push_back(' ');
    text.append(std::to_string(object.height));
    text.push_back(' ');
    for (const std::uint8_t byte : object.body) {
        text.push_back(kDigits[byte & 0xF]);
        text.push_back(kDigits[byte >> 4]);
    }
}

} // namespace codec

using codec::Fail;

bool LooksLikeBinaryGrob(std::span<const std::uint8_t> data) {
    return data.size() >= 8 && (std::memcmp(data.data(), "HPHP48-", 7) == 0 ||
                                std::memcmp(data.data(), "HPHP49-", 7) == 0);
}

bool LooksLikeTextGrob(std::span<const std::uint8_t> data) {
    // Text up to the word: no control bytes other than white space. Binary
    // pictures have some in their first bytes, so they are let go early.
    std::string storage;
    const std::string_view text = codec::TextOf(data, storage);
    if (!codec::IsPlainText(text, 512)) return false;
    const std::size_t at = codec::FindWord(text, "GROB", 0);
    return at != std::string_view::npos && codec::IsPlainText(text, at);
}

bool MayBeText(std::span<const std::uint8_t> start) {
    std::string storage;
    const std::string_view text = codec::TextOf(start, storage);
    return !text.empty() && codec::IsPlainText(text, 512);
}

GrobObject ReadBinaryGrob(std::span<const std::uint8_t> data, const std::string& path) {
    const Series series = codec::CheckHeader(data, path);
    codec::NibbleReader in(data.subspan(8));
    if (in.left() < 5) Fail(path, "the GROB's head is cut short");
    codec::CheckGrobPrologue(in.Take(5), path);
    GrobObject grob = codec::ReadGrobFields(in, series, path);
    if (in.left() > 0) Fail(path, std::to_string((in.left() + 1) / 2) + " bytes follow the GROB");
    return grob;
}

GrobObject ReadTextGrob(std::span<const std::uint8_t> data, const std::string& path) {
    std::string storage;
    const std::string_view text = codec::TextOf(data, storage);
    // Prose may say "GROB" before the object: the first candidate that reads
    // wins. Otherwise the first one with a width and a height says what is wrong.
    std::optional<std::string> first, plausible;
    for (std::size_t at = codec::FindWord(text, "GROB", 0); at != std::string_view::npos;
         at = codec::FindWord(text, "GROB", at + 1)) {
        std::size_t pos = at + 4;
        GrobObject grob;
        std::string cause;
        bool numbers = false;
        if (codec::ParseTextGrob(text, pos, grob, cause, numbers)) return grob;
        if (!first) first = cause;
        if (numbers && !plausible) plausible = cause;
    }
    Fail(path, plausible ? *plausible : first ? *first : "it holds no \"GROB\"");
}

std::string TextGrob(const GrobObject& object, TextHeader header) {
    std::string text;
    text.reserve(64 + object.body.size() * 2);
    if (header == TextHeader::With) text.append(codec::kTextHeader);
    codec::AppendTextGrob(text, object);
    text.append("\r\n");
    return text;
}

std::vector<std::uint8_t> BinaryGrob(const GrobObject& object, const std::string& path) {
    const auto head = MakeHead(object.series, object.width, object.height, path);
    codec::CheckBody(object, path);
    std::vector<std::uint8_t> file(kHeadSize + object.body.size());
    std::copy(head.begin(), head.end(), file.begin());
    std::copy(object.body.begin(), object.body.end(), file.begin() + kHeadSize);
    return file;
}

ShadePicture ShadesOf(const GrobObject& object, const OutputKind& kind, const std::string& path,
                      std::int64_t maxSide, std::int64_t maxPixels) {
    ShadePicture picture;
    picture.shades = kind.shades();
    bool whole = false;
    const Extent pixels = PictureExtent(kind, object.width, object.height, &whole);
    const auto w = static_cast<std::uint32_t>(pixels.width);
    const auto h = static_cast<std::uint32_t>(pixels.height);
    const auto frames = static_cast<std::uint32_t>(kind.frames);
    const auto depth = static_cast<std::uint32_t>(kind.depth);
    if (object.width == 0 || object.height == 0) {
        // An empty GROB is a valid object of any kind: a picture without pixels.
        picture.width = static_cast<int>(w);
        picture.height = static_cast<int>(h);
        return picture;
    }
    const std::uint32_t stride = RowStride(object.width);
    if (object.body.size() < std::size_t{stride} * object.height)
        Fail(path, "the body holds " + std::to_string(object.body.size()) + " of " +
                       std::to_string(std::size_t{stride} * object.height) + " bytes");
    if (!whole && kind.pageFlipping())
        Fail(path, "its height of " + std::to_string(object.height) +
                       " rows is not a whole number of " + std::to_string(kind.frames) + " frames");
    if (!whole)
        Fail(path, "its width of " + std::to_string(object.width) +
                       " columns is not a whole number of " + std::to_string(kind.depth) +
                       "-bit pixels");
    if (w > maxSide || h > maxSide || std::int64_t{w} * h > maxPixels)
        Fail(path,
             "the picture would be " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
    picture.width = static_cast<int>(w);
    picture.height = static_cast<int>(h);
    picture.levels.assign(static_cast<std::size_t>(w) * h, 0);
    auto bit = [&](std::uint32_t row, std::uint32_t column) {
        return (object.body[std::size_t{row} * stride + column / 8] >> (column % 8)) & 1u;
    };
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            unsigned level = 0;
            if (kind.pageFlipping()) {
                // Frame j carries bit 7 - j of the inverted brightness.
                for (std::uint32_t j = 0; j < frames; ++j)
                    level = level << 1 | bit(y + h * j, x);
            } else {
                for (std::uint32_t b = 0; b < depth; ++b)
                    level |= bit(y, x * depth + b) << b;
            }
            picture.levels[std::size_t{y} * w + x] = static_cast<std::uint8_t>(level);
        }
    return picture;
}

std::uint8_t GrayOfShade(const OutputKind& kind, int level) {
    const int darkest = kind.shades() - 1;
    const int step = darkest - std::clamp(level, 0, darkest); // 0 black .. darkest white
    const int even = (510 * step + darkest) / (2 * darkest);  // 255 * step / darkest, rounded
    // The grays the kind's encoder turns into this level again.
    int low = 0, high = 0;
    if (kind.pageFlipping()) {
        // The top `frames` bits of the mean are the inverted level.
        const int band = 256 >> kind.frames;
        low = step * band;
        high = low + band - 1;
    } else {
        // Bands of the channel sum 3 * gray: 384, 192 or 48 wide.
        const int band = 768 / kind.shades();
        low = (band * step + 2) / 3;
        high = (band * (step + 1) - 1) / 3;
    }
    return static_cast<std::uint8_t>(std::clamp(even, low, high));
}

Image PictureOfGrob(const GrobObject& object, const OutputKind& kind, const std::string& path,
                    const std::string& which, std::int64_t maxSide, std::int64_t maxPixels) {
    const ShadePicture shades = ShadesOf(object, kind, path, maxSide, maxPixels);
    if (shades.width == 0 || shades.height == 0)
        throw GrobReadError(path, which + " is empty (" + std::to_string(object.width) + " x " +
                                      std::to_string(object.height) +
                                      " dots): there is no picture in it");
    std::uint32_t grays[32] = {};
    for (int level = 0; level < shades.shades && level < 32; ++level)
        grays[level] = 0xFF000000u | 0x010101u * GrayOfShade(kind, level);
    Image image;
    image.width = shades.width;
    image.height = shades.height;
    image.pixels.resize(shades.levels.size());
    for (std::size_t i = 0; i < shades.levels.size(); ++i)
        image.pixels[i] = grays[shades.levels[i] & 31];
    return image;
}

} // namespace grob

#include "grob/viewer.h"

#include "grobcodec.h"
#include "viewer_code.h"

#include <algorithm>

namespace grob {

namespace {

// Prologues of the objects the viewer's program is made of.
constexpr std::uint32_t kProgramPrologue = 0x02D9D;
constexpr std::uint32_t kRealPrologue = 0x02933;
constexpr std::uint32_t kProgramEnd = 0x0312B;

std::vector<std::uint8_t> Header(Series series) {
    const auto head = MakeHead(series, 0, 0, {});
    return {head.begin(), head.begin() + 8};
}

void PutCode(codec::NibbleWriter& out) {
    for (const std::uint8_t nibble : kViewerCode)
        out.Put(nibble, 1);
}

// A real number of one or two digits as the calculators store it: the
// exponent (3 nibbles), the mantissa's 12 digits (least significant
// first: the leading digit in the last), the sign.
void PutReal(codec::NibbleWriter& out, int value) {
    out.Put(kRealPrologue, 5);
    const bool twoDigits = value >= 10;
    out.Put(twoDigits ? 1 : 0, 3);
    for (int digit = 0; digit < 10; ++digit)
        out.Put(0, 1);
    out.Put(twoDigits ? std::uint32_t(value % 10) : 0, 1);
    out.Put(std::uint32_t(twoDigits ? value / 10 : value), 1);
    out.Put(0, 1);
}

} // namespace

std::span<const std::uint8_t> ViewerCode() {
    return kViewerCode;
}

std::vector<std::uint8_t> ViewerFile(Series series) {
    codec::NibbleWriter out;
    out.PutBytes(Header(series));
    PutCode(out);
    return std::move(out.bytes());
}

std::string ViewerMasdText() {
    // !NO CODE: MASD makes no Code object around the source, which is one.
    std::string text = "% The grayscale viewer: GROB 4|8|16|32 GV shows its shades until a key\n";
    text += "!NO CODE\n";
    const std::span<const std::uint8_t> code = ViewerCode();
    for (std::size_t at = 0; at < code.size(); at += 64) {
        text += "$";
        for (std::size_t i = at; i < std::min(code.size(), at + 64); ++i)
            text += "0123456789ABCDEF"[code[i]];
        text += "\n";
    }
    return text + "@";
}

int ViewerShades(const OutputKind& kind) {
    return kind.shades();
}

GrobObject ViewerFrames(const GrobObject& grob, const std::string& path) {
    if (grob.kind.shades() < 4)
        codec::Fail(path, "a 1-bit GROB has no shades for the grayscale viewer to show");
    const ShadePicture picture =
        ShadesOf(grob, grob.kind, path, kFieldLimit, std::int64_t(kFieldLimit) * kFieldLimit);
    const int frames = grob.kind.pageFlipping() ? grob.kind.frames : grob.kind.depth;
    const auto width = std::max(kViewerWidth, std::uint32_t(picture.width));
    const auto height = std::max(ViewerHeight(grob.series), std::uint32_t(picture.height));
    const std::uint32_t left = (width - std::uint32_t(picture.width)) / 2;
    const std::uint32_t top = (height - std::uint32_t(picture.height)) / 2;
    GrobObject shown;
    shown.series = grob.series;
    shown.kind = *KindForFrames(frames);
    shown.width = width;
    shown.height = height * std::uint32_t(frames);
    const std::uint32_t stride = RowStride(width);
    shown.body.assign(std::size_t(stride) * shown.height, 0);
    // Frame j holds bit frames - 1 - j of each dot's level: the first frame
    // is the heaviest.
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const int level = picture.levels[std::size_t(y) * std::size_t(picture.width) + x];
            const std::uint32_t column = left + std::uint32_t(x);
            for (int j = 0; j < frames; ++j)
                if ((level >> (frames - 1 - j)) & 1) {
                    const std::size_t row = std::size_t(j) * height + top + std::uint32_t(y);
                    shown.body[row * stride + column / 8] |= std::uint8_t(1u << (column % 8));
                }
        }
    return shown;
}

std::vector<std::uint8_t> ViewerProgram(Series series, const GrobObject& grob,
                                        const std::string& path) {
    const GrobObject frames = ViewerFrames(grob, path);
    codec::NibbleWriter out;
    out.PutBytes(Header(series));
    out.Put(kProgramPrologue, 5);
    codec::WriteGrobObject(out, frames, path);
    PutReal(out, frames.kind.shades());
    PutCode(out);
    out.Put(kProgramEnd, 5);
    return std::move(out.bytes());
}

} // namespace grob

#include "grob/encoders.h"

#include "grob/options.h"

#include "grob/reader.h"

#include "grob/shades.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace grob {

namespace {

constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
// Gathers bit 0 of each of eight bytes into one byte, byte k to bit k.
constexpr std::uint64_t kGatherBits = 0x0102040810204080ull;

// dst[b] gets bit `bit` of src[8b] .. src[8b + 7] as its bits 0..7, inverted
// when `invert` is set. src must be readable up to a multiple of 16 bytes.
void PackBitPlane(const std::uint8_t* src, int bit, bool invert, std::uint8_t* dst,
                  std::size_t count) {
    std::size_t b = 0;
#ifdef __SSE2__
    const unsigned flip = invert ? 0xFFFFu : 0u;
    const __m128i shift = _mm_cvtsi32_si128(7 - bit);
    for (; b + 2 <= count; b += 2) {
        // Move the wanted bit of every byte to its top bit, then gather the tops.
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * b));
        const auto mask = static_cast<std::uint16_t>(
            static_cast<unsigned>(_mm_movemask_epi8(_mm_sll_epi16(v, shift))) ^ flip);
        std::memcpy(dst + b, &mask, 2); // little-endian: the first byte is the left one
    }
#endif
    const std::uint64_t flip64 = invert ? ~0ull : 0ull;
    for (; b < count; ++b) {
        std::uint64_t x;
        std::memcpy(&x, src + 8 * b, 8);
        dst[b] =
            static_cast<std::uint8_t>(((((x ^ flip64) >> bit) & kLowBits) * kGatherBits) >> 56);
    }
}

// Packs 2-bit shades, four to a byte, leftmost lowest.
void PackPairs(const std::uint8_t* src, std::uint8_t* dst, std::size_t count) {
    std::size_t b = 0;
#ifdef __SSE2__
    // Sixteen bytes of shades become four: pairs of bytes into one nibble,
    // then pairs of nibbles into one byte, each step within 16-bit lanes.
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    for (; b + 8 <= count; b += 8) {
        __m128i v[2];
        for (int half = 0; half < 2; ++half) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * b + 16 * half));
            x = _mm_and_si128(_mm_or_si128(x, _mm_srli_epi16(x, 6)), lowByte);
            v[half] = x; // eight nibbles, each in its lane's low byte
        }
        __m128i x = _mm_packus_epi16(v[0], v[1]); // sixteen nibbles in order
        x = _mm_and_si128(_mm_or_si128(x, _mm_srli_epi16(x, 4)), lowByte);
        x = _mm_packus_epi16(x, x);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + b), x);
    }
#endif
    for (; b + 2 <= count; b += 2) {
        std::uint64_t x;
        std::memcpy(&x, src + 4 * b, 8);
        x = (x | x >> 6) & 0x000F000F000F000Full;
        x = (x | x >> 12) & 0x000000FF000000FFull;
        dst[b] = static_cast<std::uint8_t>(x);
        dst[b + 1] = static_cast<std::uint8_t>(x >> 32);
    }
    for (; b < count; ++b) {
        const std::uint8_t* q = src + 4 * b;
        dst[b] = static_cast<std::uint8_t>(q[0] | q[1] << 2 | q[2] << 4 | q[3] << 6);
    }
}

// Packs 4-bit shades, two to a byte, leftmost lowest.
void PackNibbles(const std::uint8_t* src, std::uint8_t* dst, std::size_t count) {
    std::size_t b = 0;
#ifdef __SSE2__
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    for (; b + 16 <= count; b += 16) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * b));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * b + 16));
        const __m128i packedLo = _mm_and_si128(_mm_or_si128(lo, _mm_srli_epi16(lo, 4)), lowByte);
        const __m128i packedHi = _mm_and_si128(_mm_or_si128(hi, _mm_srli_epi16(hi, 4)), lowByte);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + b), _mm_packus_epi16(packedLo, packedHi));
    }
#endif
    for (; b + 4 <= count; b += 4) {
        std::uint64_t x;
        std::memcpy(&x, src + 2 * b, 8);
        x = (x | x >> 4) & 0x00FF00FF00FF00FFull;
        x = (x | x >> 8) & 0x0000FFFF0000FFFFull;
        x = (x | x >> 16) & 0x00000000FFFFFFFFull;
        const auto packed = static_cast<std::uint32_t>(x);
        std::memcpy(dst + b, &packed, 4);
    }
    for (; b < count; ++b)
        dst[b] = static_cast<std::uint8_t>(src[2 * b] | src[2 * b + 1] << 4);
}

// Sum of the three channel bytes of a stored pixel (0..765).
inline std::uint16_t PixelSum(std::uint32_t pixel) {
    return static_cast<std::uint16_t>((pixel & 255u) + ((pixel >> 8) & 255u) +
                                      ((pixel >> 16) & 255u));
}

// sum / 3 and sum / 48 for sums 0..765 as a multiply and a 16-bit shift, the
// form the vector units have (a multiply that keeps the high 16 bits of the
// product divides by 2^16). The multipliers are 2^16 / 3 and 2^16 / 48
// rounded up; for sums this small the rounding never reaches the next whole
// number, and the tests check every sum against the division.
constexpr std::uint32_t kThirdOf2To16 = 21846;      // ceil(65536 / 3)
constexpr std::uint32_t kFortyEighthOf2To16 = 1366; // ceil(65536 / 48)
inline std::uint8_t MeanOfSum(std::uint16_t sum) {
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(sum) * kThirdOf2To16) >> 16);
}
inline std::uint8_t SumBy48(std::uint16_t sum) {
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(sum) * kFortyEighthOf2To16) >> 16);
}

struct Geometry {
    std::uint64_t grobWidth;
    std::uint64_t grobHeight;
    std::uint32_t stride;
};

Geometry GeometryOf(const OutputKind& kind, int width, int height) {
    const Extent dots = GrobExtent(kind, static_cast<std::uint64_t>(std::max(width, 0)),
                                   static_cast<std::uint64_t>(std::max(height, 0)));
    Geometry g{};
    g.grobWidth = dots.width;
    g.grobHeight = dots.height;
    // Only used after MakeHead has accepted the fields.
    g.stride = g.grobWidth < kFieldLimit ? RowStride(static_cast<std::uint32_t>(g.grobWidth)) : 0;
    return g;
}

// The body read pixel by pixel through the raster interface, exactly as the
// shade functions define it. Used for any raster that is not held in memory.
void PlainFixedBody(const PictureRaster& picture, int depth, std::uint32_t stride,
                    std::uint8_t* out) {
    const int h = picture.height();
    const int perByte = 8 / depth;
    for (int y = 0; y < h; ++y) {
        for (std::uint32_t b = 0; b < stride; ++b) {
            unsigned byte = 0;
            for (int k = 0; k < perByte; ++k) {
                const int x = perByte * static_cast<int>(b) + k;
                unsigned shade = 0;
                switch (depth) {
                case 1:
                    shade = Get1bit(picture, x, y);
                    break;
                case 2:
                    shade = Get2bit(picture, x, y);
                    break;
                default:
                    shade = Get4bit(picture, x, y);
                    break;
                }
                byte += shade << (depth * k);
            }
            *out++ = static_cast<std::uint8_t>(byte);
        }
    }
}

void PlainFramesBody(const PictureRaster& picture, int pcnt, std::uint32_t stride,
                     std::uint8_t* out) {
    const int h = picture.height();
    for (int pg = pcnt - 1; pg >= 0; --pg) {
        for (int y = 0; y < h; ++y) {
            for (std::uint32_t b = 0; b < stride; ++b) {
                unsigned byte = 0;
                for (int k = 0; k < 8; ++k)
                    byte += static_cast<unsigned>(
                                GetPF(picture, pcnt, pg, 8 * static_cast<int>(b) + k, y))
                            << k;
                *out++ = static_cast<std::uint8_t>(byte);
            }
        }
    }
}

// Applies `shade` (one channel sum to one byte) to the first `w` pixels of a
// row. With SSE2 eight sums at a time go through `shade8`, the same function
// on eight 16-bit lanes.
template <typename Shade, typename Shade8>
void ShadeRow(const std::uint32_t* row, int w, std::uint8_t* out, Shade shade,
              [[maybe_unused]] Shade8 shade8) {
    int x = 0;
#ifdef __SSE2__
    const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
    const __m128i oneByte = _mm_set1_epi32(0xFF);
    const __m128i ones = _mm_set1_epi16(1);
    // red + blue by a multiply-add of the 16-bit halves, plus green.
    auto sums4 = [&](const std::uint32_t* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i rb = _mm_madd_epi16(_mm_and_si128(v, lowBytes), ones);
        const __m128i g = _mm_and_si128(_mm_srli_epi32(v, 8), oneByte);
        return _mm_add_epi32(rb, g);
    };
    for (; x + 16 <= w; x += 16) {
        const __m128i lo = shade8(_mm_packs_epi32(sums4(row + x), sums4(row + x + 4)));
        const __m128i hi = shade8(_mm_packs_epi32(sums4(row + x + 8), sums4(row + x + 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < w; ++x)
        out[x] = shade(PixelSum(row[x]));
}

#ifdef __SSE2__
inline __m128i MeanOfSums(__m128i sums) {
    return _mm_mulhi_epu16(sums, _mm_set1_epi16(static_cast<short>(kThirdOf2To16)));
}
inline __m128i SumsBy48(__m128i sums) {
    return _mm_mulhi_epu16(sums, _mm_set1_epi16(static_cast<short>(kFortyEighthOf2To16)));
}
// 1 bit: sum < 384. 2 bits: 3 - sum / 192, as (sum / 48) / 4. 4 bits: 15 - sum / 48.
template <int Depth> inline __m128i FastShades(__m128i sums) {
    if constexpr (Depth == 1)
        return _mm_and_si128(_mm_cmplt_epi16(sums, _mm_set1_epi16(384)), _mm_set1_epi16(1));
    else if constexpr (Depth == 2)
        return _mm_sub_epi16(_mm_set1_epi16(3), _mm_srli_epi16(SumsBy48(sums), 2));
    else
        return _mm_sub_epi16(_mm_set1_epi16(15), SumsBy48(sums));
}
#define GROB_VECTOR(f) [](__m128i v) { return f(v); }
#else
#define GROB_VECTOR(f) 0
#endif

template <int Depth> inline std::uint8_t FastShade(std::uint16_t sum) {
    if constexpr (Depth == 1)
        return static_cast<std::uint8_t>(sum < 384u);
    else if constexpr (Depth == 2)
        return static_cast<std::uint8_t>(3u - (SumBy48(sum) >> 2));
    else
        return static_cast<std::uint8_t>(15u - SumBy48(sum));
}

constexpr int DivisorOf(int depth) {
    return depth == 1 ? 384 : depth == 2 ? 192 : 48;
}

template <int Depth>
void FastFixedBody(const PixelView& picture, std::uint32_t stride, std::uint8_t* out) {
    constexpr int perByte = 8 / Depth;
    const int w = picture.width;
    const int h = picture.height;
    const std::size_t columns = static_cast<std::size_t>(stride) * perByte;
    // Room for whole 8-byte groups; columns past the picture hold the shade
    // of the outside value, as the plain reads give it.
    std::vector<std::uint8_t> shades(
        columns + 16, ShadeOfSum(ChannelSum(kOutside), DivisorOf(Depth), (1 << Depth) - 1));
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* row = picture.row(y);
        std::uint8_t* s = shades.data();
        ShadeRow(row, w, s, FastShade<Depth>, GROB_VECTOR(FastShades<Depth>));
        if constexpr (Depth == 1)
            PackBitPlane(s, 0, false, out, stride);
        else if constexpr (Depth == 2)
            PackPairs(s, out, stride);
        else
            PackNibbles(s, out, stride);
        out += stride;
    }
}

// All frames in one pass over the picture: the mean brightness of each row is
// computed once and every frame's row is packed from it.
template <int Frames>
void FastFramesBody(const PixelView& picture, std::uint32_t stride, std::uint8_t* out) {
    const int w = picture.width;
    const int h = picture.height;
    const std::size_t frameBytes = static_cast<std::size_t>(stride) * h;
    std::vector<std::uint8_t> means(static_cast<std::size_t>(stride) * 8 + 16,
                                    static_cast<std::uint8_t>(ChannelSum(kOutside) / 3));
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* row = picture.row(y);
        std::uint8_t* m = means.data();
        ShadeRow(row, w, m, MeanOfSum, GROB_VECTOR(MeanOfSums));
        std::uint8_t* rowOut = out + static_cast<std::size_t>(y) * stride;
        std::size_t b = 0;
#ifdef __SSE2__
        // Thirty-two means at a time, loaded once for every frame: each
        // doubling of the bytes brings the next bit to their tops (the first
        // frame in the file carries bit 7), where they are gathered.
        for (; b + 4 <= stride; b += 4) {
            __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + 8 * b));
            __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + 8 * b + 16));
            for (int j = 0; j < Frames; ++j) {
                const std::uint32_t bits =
                    ~(static_cast<std::uint32_t>(_mm_movemask_epi8(left)) |
                      static_cast<std::uint32_t>(_mm_movemask_epi8(right)) << 16);
                std::memcpy(rowOut + j * frameBytes + b, &bits, 4);
                left = _mm_add_epi8(left, left);
                right = _mm_add_epi8(right, right);
            }
        }
#endif
        for (int j = 0; j < Frames; ++j)
            PackBitPlane(m + 8 * b, 7 - j, true, rowOut + j * frameBytes + b, stride - b);
    }
}

// An object of the kind's size with room for its body, its fields checked
// before any memory is taken for it.
GrobObject StartObject(const OutputKind& kind, const Geometry& g, Series series,
                       const std::string& filename) {
    MakeHead(series, g.grobWidth, g.grobHeight, filename);
    GrobObject object;
    object.kind = kind;
    object.series = series;
    object.width = static_cast<std::uint32_t>(g.grobWidth);
    object.height = static_cast<std::uint32_t>(g.grobHeight);
    object.body.resize(static_cast<std::size_t>(g.stride) * g.grobHeight);
    return object;
}

void CheckKind(const OutputKind& kind, const std::string& filename) {
    if (kind.pageFlipping()) {
        if (kind.frames < 2 || kind.frames > 5)
            throw GrobError(ErrorCode::BadFrameCount, filename,
                            "a page-flipping GROB has 2 to 5 frames");
    } else if (kind.depth != 1 && kind.depth != 2 && kind.depth != 4) {
        throw GrobError(ErrorCode::BadDepth, filename, "a GROB has 1, 2 or 4 bits per pixel");
    }
}

} // namespace

void ClearPadding(GrobObject& object) {
    const std::uint32_t used = object.width % 8;
    const std::size_t stride = RowStride(object.width);
    if (used == 0) return;
    const auto keep = static_cast<std::uint8_t>((1u << used) - 1);
    for (std::size_t end = stride; end <= object.body.size(); end += stride)
        object.body[end - 1] &= keep;
}

namespace {

// The body of the kind's GROB of a picture in memory, g.stride x g.grobHeight bytes.
void FastBody(const OutputKind& kind, const PixelView& picture, const Geometry& g,
              std::uint8_t* body) {
    if (kind.pageFlipping()) {
        switch (kind.frames) {
        case 2:
            return FastFramesBody<2>(picture, g.stride, body);
        case 3:
            return FastFramesBody<3>(picture, g.stride, body);
        case 4:
            return FastFramesBody<4>(picture, g.stride, body);
        default:
            return FastFramesBody<5>(picture, g.stride, body);
        }
    }
    if (kind.depth == 1)
        FastFixedBody<1>(picture, g.stride, body);
    else if (kind.depth == 2)
        FastFixedBody<2>(picture, g.stride, body);
    else
        FastFixedBody<4>(picture, g.stride, body);
}

} // namespace

GrobObject EncodeObject(const OutputKind& kind, const PixelView& picture, Series series,
                        const std::string& filename, Padding padding) {
    CheckKind(kind, filename);
    const Geometry g = GeometryOf(kind, picture.width, picture.height);
    GrobObject object = StartObject(kind, g, series, filename);
    if (object.body.empty()) return object;
    FastBody(kind, picture, g, object.body.data());
    if (padding == Padding::Clear) ClearPadding(object);
    return object;
}

GrobObject EncodeObject(const OutputKind& kind, const PictureRaster& picture, Series series,
                        const std::string& filename, Padding padding) {
    if (const auto* memory = dynamic_cast<const MemoryRaster*>(&picture))
        return EncodeObject(kind, memory->view(), series, filename, padding);
    CheckKind(kind, filename);
    const Geometry g = GeometryOf(kind, picture.width(), picture.height());
    GrobObject object = StartObject(kind, g, series, filename);
    if (object.body.empty()) return object;
    std::uint8_t* body = object.body.data();
    if (kind.pageFlipping())
        PlainFramesBody(picture, kind.frames, g.stride, body);
    else
        PlainFixedBody(picture, kind.depth, g.stride, body);
    if (padding == Padding::Clear) ClearPadding(object);
    return object;
}

GrobObject EncodeObject(const OutputKind& kind, const PixelView& picture, Series series,
                        const Preparation& asked, const std::string& filename, Padding padding) {
    // Only what has its effect for the kind (the options table says when);
    // nothing asked for has none.
    const bool plain = asked.neutral();
    const Preparation preparation = plain ? asked : Applied(kind, asked);
    if (plain || preparation.neutral())
        return EncodeObject(kind, picture, series, filename, padding);
    // The size is checked before any work: a fit box that enlarges the
    // picture beyond what a GROB holds is refused at once.
    CheckKind(kind, filename);
    int width = 0, height = 0;
    FittedSize(preparation, picture.width, picture.height, width, height);
    const Geometry g = GeometryOf(kind, width, height);
    MakeHead(series, g.grobWidth, g.grobHeight, filename);
    return EncodeObject(kind, Prepare(picture, kind, preparation).view(), series, filename,
                        padding);
}

std::vector<std::uint8_t> EncodeGrob(const OutputKind& kind, const PixelView& picture,
                                     Series series, const std::string& filename) {
    // The body encoded straight into the file, behind its head: one buffer,
    // no copy of an object's body.
    CheckKind(kind, filename);
    const Geometry g = GeometryOf(kind, picture.width, picture.height);
    const auto head = MakeHead(series, g.grobWidth, g.grobHeight, filename);
    std::vector<std::uint8_t> file(kHeadSize + static_cast<std::size_t>(g.stride) * g.grobHeight);
    std::copy(head.begin(), head.end(), file.begin());
    if (file.size() > kHeadSize) FastBody(kind, picture, g, file.data() + kHeadSize);
    return file;
}

std::vector<std::uint8_t> EncodeGrob(const OutputKind& kind, const PictureRaster& picture,
                                     Series series, const std::string& filename) {
    if (const auto* memory = dynamic_cast<const MemoryRaster*>(&picture))
        return EncodeGrob(kind, memory->view(), series, filename);
    return BinaryGrob(EncodeObject(kind, picture, series, filename), filename);
}

std::vector<std::uint8_t> EncodePrepared(const OutputKind& kind, const PixelView& picture,
                                         Series series, const Preparation& preparation,
                                         const std::string& filename) {
    return BinaryGrob(EncodeObject(kind, picture, series, preparation, filename), filename);
}

void ConvertAndSave(const OutputKind& kind, const PixelView& picture, Series series,
                    const std::string& filename, Flush flush) {
    WriteFileAtomically(filename, EncodeGrob(kind, picture, series, filename), flush);
}

void ConvertAndSave(const OutputKind& kind, const PictureRaster& picture, Series series,
                    const std::string& filename) {
    WriteFileAtomically(filename, EncodeGrob(kind, picture, series, filename));
}

void ConvertAndSave1(const PictureRaster& picture, Series series, const std::string& filename) {
    ConvertAndSave(*KindForDepth(1), picture, series, filename);
}

void ConvertAndSave2(const PictureRaster& picture, Series series, const std::string& filename) {
    ConvertAndSave(*KindForDepth(2), picture, series, filename);
}

void ConvertAndSave4(const PictureRaster& picture, Series series, const std::string& filename) {
    ConvertAndSave(*KindForDepth(4), picture, series, filename);
}

void ConvertAndSavePF(const PictureRaster& picture, Series series, int pcnt,
                      const std::string& filename) {
    const auto kind = KindForFrames(pcnt);
    if (!kind)
        throw GrobError(ErrorCode::BadFrameCount, filename,
                        "a page-flipping GROB has 2 to 5 frames");
    ConvertAndSave(*kind, picture, series, filename);
}

} // namespace grob

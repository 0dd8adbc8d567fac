// JPEG: the header read from the markers as they lie (plain parsing, the web
// page's too); the decoder on libjpeg-turbo with its defaults (accurate
// integer DCT, fancy upsampling), as Qt's JPEG reader decodes: gray stays
// gray, colour comes out as RGB, CMYK and YCCK as libjpeg's CMYK multiplied
// by K the way Qt does (the Adobe inversion is not undone), turned upright
// by its Exif orientation unless the stored one is kept. Data that stops
// early, libjpeg's warnings that tell of damage, and more scans than any
// picture needs fail the picture, each with its cause; so do the kinds
// libjpeg-turbo does not decode (12 bits a sample, lossless, hierarchical),
// said as such.
#include "internal.h"

#include "grob/prepare.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "libraries.h"

#include <csetjmp>
#include <cstdio>
#include <new>

#include <jpeglib.h>
// After jpeglib.h, which it needs: the message codes.
#include <jerror.h>

namespace codecs::detail {

namespace {

constexpr std::uint8_t kStartOfImage = 0xD8, kStartOfScan = 0xDA;

// The header as libjpeg-turbo's jpeg_read_header reads it, by plain parsing:
// the markers from the start of image to the first scan, each refused where
// libjpeg refuses it (or warns of damage, which the decoder takes for a
// failure): bytes between markers, an unknown marker, a second start of
// image or frame, the end of image before a scan, a frame of a kind
// libjpeg-turbo does not decode (lossless, hierarchical) or of other than 8
// bits a sample, tables whose lengths disagree, sampling factors beyond 1
// to 4, more than 10 components; every segment read is within the data.
// Unlike libjpeg it tells a side beyond 65,500 pixels (the limits refuse
// it). Also where the first APP1 segment holding Exif data lies.
struct Markers {
    int width = 0, height = 0;
    bool progressive = false;
    int components = 0, inFirstScan = 0;
    int sampling[10][2] = {}; // each component's horizontal and vertical factor
    std::size_t exifAt = 0, exifBytes = 0;
};

// What is read of a segment at once: its length and what follows, as far as
// the checks below look (a quantization table that runs past its segment's
// end is looked at up to 128 bytes beyond it before it is refused).
constexpr std::size_t kSegment = 65535 + 256;
static_assert(kSegment <= Reader::kPiece);

std::optional<Markers> ReadMarkers(Reader& reader) {
    const Bytes start = reader.at(0, 2);
    if (start.size() < 2 || start[0] != 0xFF || start[1] != kStartOfImage) return std::nullopt;
    auto byte = [&](std::uint64_t at) {
        const Bytes one = reader.at(at, 1);
        return one.empty() ? -1 : int(one[0]);
    };
    Markers m;
    int precision = 0;
    std::uint8_t ids[4] = {}; // the first components' identifiers, as the scans name them
    bool frame = false;
    for (std::uint64_t at = 2;;) {
        // A marker: FF, any number of fill bytes FF, and its code.
        if (byte(at) != 0xFF) return std::nullopt;
        while (byte(at) == 0xFF)
            ++at;
        if (byte(at) <= 0x00) return std::nullopt;
        const std::uint8_t marker = std::uint8_t(byte(at++));
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue; // no parameters
        // The segment, from its length on: what the data holds of it.
        const Bytes b = reader.at(at, kSegment);
        const std::size_t n = b.size();
        auto be16 = [&](std::size_t i) { return std::size_t(b[i]) << 8 | b[i + 1]; };
        if (2 > n) return std::nullopt;
        const std::size_t length = be16(0);
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC9 ||
            marker == 0xCA) { // baseline, extended, progressive, arithmetic
            if (frame || 8 > n) return std::nullopt;
            precision = b[2];
            m.height = int(be16(3));
            m.width = int(be16(5));
            m.components = b[7];
            m.progressive = marker == 0xC2 || marker == 0xCA;
            const std::size_t parts = std::size_t(m.components);
            if (m.width == 0 || m.height == 0 || parts == 0 || length != 8 + 3 * parts ||
                length > n)
                return std::nullopt;
            for (std::size_t i = 0; i < parts; ++i) {
                if (i < 4) ids[i] = b[8 + 3 * i];
                if (i < 10) {
                    m.sampling[i][0] = b[9 + 3 * i] >> 4;
                    m.sampling[i][1] = b[9 + 3 * i] & 15;
                }
            }
            frame = true;
            at += length;
        } else if (marker == kStartOfScan) {
            const std::size_t parts = 3 <= n ? b[2] : 0;
            if (!frame || parts < 1 || parts > 4 || length != 6 + 2 * parts || length > n)
                return std::nullopt;
            // Each a component of the frame (of its first four), none twice.
            int taken[4] = {-1, -1, -1, -1};
            for (std::size_t i = 0; i < parts; ++i) {
                int found = -1;
                for (int c = 0; c < std::min(m.components, 4) && found < 0; ++c)
                    if (ids[c] == b[3 + 2 * i] && taken[c] < 0) found = c;
                for (std::size_t j = 0; j < i && found >= 0; ++j)
                    if (taken[j] == found) found = -1;
                if (found < 0) return std::nullopt;
                taken[i] = found;
            }
            m.inFirstScan = int(parts);
            break;
        } else if (marker == 0xC4) { // Huffman tables: 17 bytes and the counted values each
            std::size_t left = length - 2, p = 2;
            if (length < 2) return std::nullopt;
            while (left > 16) {
                if (p + 17 > n) return std::nullopt;
                std::size_t count = 0;
                for (int i = 1; i <= 16; ++i)
                    count += b[p + std::size_t(i)];
                left -= 17;
                if (count > 256 || count > left || p + 17 + count > n || (b[p] & ~0x10) >= 4)
                    return std::nullopt;
                left -= count;
                p += 17 + count;
            }
            if (left != 0) return std::nullopt;
            at += p;
        } else if (marker == 0xDB) { // quantization tables: 65 bytes each, 129 in 16 bits
            std::int64_t left = std::int64_t(length) - 2;
            std::size_t p = 2;
            while (left > 0) {
                if (p >= n || (b[p] & 15) >= 4) return std::nullopt;
                const std::size_t size = b[p] >> 4 ? 129 : 65;
                if (p + size > n) return std::nullopt;
                left -= std::int64_t(size);
                p += size;
            }
            if (left != 0) return std::nullopt;
            at += p;
        } else if (marker == 0xCC) { // arithmetic coding conditioning: pairs
            std::int64_t left = std::int64_t(length) - 2;
            std::size_t p = 2;
            while (left > 0) {
                if (p + 2 > n) return std::nullopt;
                const std::uint8_t table = b[p], value = b[p + 1];
                if (table >= 32 || (table < 16 && (value & 15) > value >> 4)) return std::nullopt;
                left -= 2;
                p += 2;
            }
            if (left != 0) return std::nullopt;
            at += p;
        } else if (marker == 0xDD) { // restart interval
            if (length != 4 || 4 > n) return std::nullopt;
            at += 4;
        } else if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE || marker == 0xDC) {
            // Application data, comments and DNL are passed over (a length
            // under 2 as if it were 2, as libjpeg does).
            const std::size_t body = length < 2 ? 0 : length - 2;
            if (2 + body > n) return std::nullopt;
            if (marker == 0xE1 && m.exifBytes == 0 && body >= 6 &&
                std::memcmp(b.data() + 2, "Exif\0\0", 6) == 0) {
                m.exifAt = std::size_t(at + 2);
                m.exifBytes = body;
            }
            at += 2 + body;
        } else {
            return std::nullopt; // the end of image, another start, a kind or marker not read
        }
    }
    if (precision != 8 || m.components > 10) return std::nullopt;
    for (int i = 0; i < m.components; ++i)
        for (const int factor : m.sampling[i])
            if (factor < 1 || factor > 4) return std::nullopt;
    return m;
}

bool CanRead(Bytes bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == kStartOfImage && bytes[2] == 0xFF;
}

std::optional<Header> HeaderOf(Reader&& reader) {
    const std::optional<Markers> m = ReadMarkers(reader);
    if (!m) return std::nullopt;
    Header header;
    header.width = m->width;
    header.height = m->height;
    header.exifAt = m->exifAt;
    header.exifBytes = m->exifBytes;
    // A picture in several scans (progressive, or not every component in
    // the first) has all its coefficients kept: libjpeg's whole-picture
    // arrays, each component's blocks rounded up to its sampling, 64
    // coefficients of 2 bytes a block.
    if (m->progressive || m->inFirstScan < m->components) {
        int most[2] = {1, 1};
        for (int i = 0; i < m->components; ++i)
            for (int d = 0; d < 2; ++d)
                most[d] = std::max(most[d], m->sampling[i][d]);
        const std::uint64_t side[2] = {std::uint64_t(m->width), std::uint64_t(m->height)};
        for (int i = 0; i < m->components; ++i) {
            std::uint64_t blocks = 128;
            for (int d = 0; d < 2; ++d) {
                const std::uint64_t factor = std::uint64_t(m->sampling[i][d]);
                const std::uint64_t inBlocks = (side[d] * factor + 8 * most[d] - 1) / (8 * most[d]);
                blocks *= (inBlocks + factor - 1) / factor * factor;
            }
            header.held += blocks;
        }
    }
    return header;
}

std::optional<Header> ReadHeader(Bytes bytes) {
    return HeaderOf(Reader(bytes));
}

std::optional<Header> ReadFileHeader(const File& file) {
    return HeaderOf(Reader(file));
}

// The scale n/8 for a picture fitted into the box: the smallest whose
// decoded size (rounded up, as libjpeg rounds) still covers the fitted size
// and fits to that very size, so that a picture has one fitted size however
// it is decoded (rounding up can tilt the proportions by enough to round a
// side of the fit the other way).
int ScaleNumerator(int width, int height, const DecodeOptions& options) {
    if (!options.fits()) return 8;
    const grob::FitBox& fit = options.fit;
    int w = width, h = height;
    grob::FitSize(fit, width, height, w, h);
    for (int n = 1; n < 8; ++n) {
        const int scaledW = int((std::int64_t(width) * n + 7) / 8);
        const int scaledH = int((std::int64_t(height) * n + 7) / 8);
        int fittedW = 0, fittedH = 0;
        grob::FitSize(fit, scaledW, scaledH, fittedW, fittedH);
        if (scaledW >= w && scaledH >= h && fittedW == w && fittedH == h) return n;
    }
    return 8;
}

std::size_t Memory(const Header& header, const DecodeOptions& options, bool) {
    const int n = ScaleNumerator(header.width, header.height, options);
    const std::uint64_t w = (std::uint64_t(header.width) * n + 7) / 8;
    const std::uint64_t h = (std::uint64_t(header.height) * n + 7) / 8;
    // libjpeg's rows at the decoding scale (each component's context rows
    // for upsampling: at most 4 x 8 x 3 of them, and the upsampled rows),
    // with the output row and ours, whichever side is stored across; its
    // tables and state; the Exif data and what libexif makes of it; the
    // buffer a file is read through.
    const std::uint64_t rows =
        400 * (std::max(w, h) + 64) + (512u << 10) + 4 * kMostExif + Reader::kPiece;
    const std::uint64_t whole = 4 * w * h;
    const bool fit = options.fitted && options.fits();
    std::uint64_t out = 0;
    if (header.orientation <= 2) // rows go out as they come
        out = fit ? FitMemory(int(w), int(h), options) : whole;
    else // turned once whole: a quarter turn holds the picture twice
        out = 2 * whole + (fit ? FitMemory(int(w), int(h), options) : 0);
    return std::size_t(header.held + rows + out);
}

} // namespace

} // namespace codecs::detail

namespace codecs::detail {

namespace {

// More scans than this are refused before decoding, as TurboJPEG refuses
// them (a progressive JPEG needs about ten; every scan passes over the whole
// picture again, so a flood of repeated scans costs minutes).
constexpr int kMaxScans = 500;

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    std::string cause;     // why decoding stopped, in plain words
    bool tooLarge = false; // libjpeg's own dimension limit: the limits' message
};

// Leaves libjpeg for the setjmp in ReadJpeg once the cause is set (no
// object with a destructor may be alive in the frames it leaves).
[[noreturn]] void Jump(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void Say(j_common_ptr info, std::string cause) {
    reinterpret_cast<JpegErrors*>(info->err)->cause = std::move(cause);
}

std::string MessageOf(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    return text;
}

std::string NotRead(const std::string& kind) {
    return "a " + kind + " JPEG, which this program does not read";
}

// What libjpeg's error means: a kind of JPEG libjpeg-turbo does not decode
// (more bits a sample, the lossless and hierarchical processes), memory, or
// damage.
std::string CauseOf(j_common_ptr info) {
    const jpeg_error_mgr& error = *info->err;
    switch (error.msg_code) {
    case JERR_BAD_PRECISION:
        return NotRead(std::to_string(error.msg_parm.i[0]) + "-bit");
    case JERR_SOF_UNSUPPORTED:
        if ((error.msg_parm.i[0] & 3) == 3) return NotRead("lossless");
        if (error.msg_parm.i[0] != 0xC8) return NotRead("hierarchical");
        break;
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE: // beyond max_memory_to_use
        return "there is not enough memory for the picture";
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
        reinterpret_cast<JpegErrors*>(info->err)->tooLarge = true;
        break;
    default:
        break;
    }
    return "the JPEG data is damaged (" + MessageOf(info) + ")";
}

extern "C" void JpegErrorExit(j_common_ptr info) {
    Say(info, CauseOf(info));
    Jump(info);
}

// Warnings that tell of damage stop the picture at once (decoding on would
// only cost time for a picture that is refused anyway); the others (an
// unknown JFIF revision or Adobe transform) are harmless.
extern "C" void JpegEmitMessage(j_common_ptr info, int level) {
    if (level >= 0) return; // trace messages
    switch (info->err->msg_code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_ICC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
        Say(info, "the picture is damaged (" + MessageOf(info) + ")");
        Jump(info);
    default:
        break;
    }
}

std::string TooManyScans(const std::string& scans) {
    return "the JPEG has " + scans + " scans; this program reads at most " +
           std::to_string(kMaxScans);
}

// Called as each scan is read: the limit holds even where the marker walk
// and libjpeg could disagree.
extern "C" void JpegProgress(j_common_ptr info) {
    if (!info->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number <= kMaxScans) return;
    Say(info, TooManyScans("more than " + std::to_string(kMaxScans)));
    Jump(info);
}

extern "C" void JpegInit(j_decompress_ptr) {}

// Where libjpeg's data comes from: the bytes all at once, or a file a piece
// at a time.
struct JpegSource {
    Reader* reader = nullptr;
    std::uint64_t next = 0; // where the data not yet handed to libjpeg starts
};

// The next piece of data; none left means it ends too early.
extern "C" boolean JpegFill(j_decompress_ptr info) {
    auto* source = static_cast<JpegSource*>(info->client_data);
    const Bytes piece = source->reader->rest(source->next);
    if (piece.empty()) {
        Say(reinterpret_cast<j_common_ptr>(info), "the JPEG data is cut short");
        Jump(reinterpret_cast<j_common_ptr>(info));
    }
    source->next += piece.size();
    info->src->next_input_byte = piece.data();
    info->src->bytes_in_buffer = piece.size();
    return TRUE;
}

extern "C" void JpegSkip(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    while (std::size_t(count) > info->src->bytes_in_buffer) {
        count -= long(info->src->bytes_in_buffer);
        JpegFill(info);
    }
    info->src->next_input_byte += count;
    info->src->bytes_in_buffer -= std::size_t(count);
}

extern "C" void JpegTerm(j_decompress_ptr) {}

struct Layout {
    bool complete = false; // the segments reach an end-of-image marker
    int scans = 0;
};

// The markers from the start of image to its end, without decoding: each segment's length is
// checked against the data, and the entropy-coded data after each start of scan runs to the next
// marker that is neither a stuffed zero nor a restart marker (found with memchr, not byte by byte).
Layout Walk(Reader& reader) {
    Layout layout;
    const std::uint64_t n = reader.size();
    std::uint64_t at = 2;
    while (at + 1 < n) {
        const Bytes d = reader.at(at, 4); // the marker and its segment's length
        if (d.size() < 2 || d[0] != 0xFF) return layout;
        const std::uint8_t marker = d[1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == JPEG_EOI) {
            layout.complete = true;
            return layout;
        }
        if (marker == 0x01 || (marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7)) {
            at += 2;
            continue;
        }
        if (at + 3 >= n || d.size() < 4) return layout;
        const std::size_t length = std::size_t(d[2]) << 8 | d[3];
        if (length < 2 || length > n - at - 2) return layout;
        at += 2 + length;
        if (marker != kStartOfScan) continue;
        ++layout.scans;
        for (;;) {
            const Bytes rest = reader.rest(at);
            if (rest.empty()) return layout;
            const auto* ff =
                static_cast<const std::uint8_t*>(std::memchr(rest.data(), 0xFF, rest.size()));
            if (!ff) {
                at += rest.size();
                continue;
            }
            at += std::size_t(ff - rest.data());
            const Bytes pair = reader.at(at, 2);
            if (at + 1 >= n || pair.size() < 2) return layout;
            const std::uint8_t next = pair[1];
            if (next != 0x00 && next != 0xFF && !(next >= JPEG_RST0 && next <= JPEG_RST0 + 7))
                break;
            at += next == 0xFF ? 1 : 2;
        }
    }
    return layout;
}

struct JpegContext {
    JpegErrors errors;
    jpeg_decompress_struct info;
    jpeg_source_mgr source;
    JpegSource from;
    jpeg_progress_mgr progress;
    bool created = false;
    int orientation = 1;             // as recorded in the Exif data, unless kept as stored
    std::optional<RowSink> output;   // the picture's rows, or the fitter
    std::vector<std::uint32_t> line; // the row being converted
    Decoded result;
    ~JpegContext() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

void Start(JpegContext& c, Reader& reader) {
    c.info.err = jpeg_std_error(&c.errors.manager);
    c.errors.manager.error_exit = JpegErrorExit;
    c.errors.manager.emit_message = JpegEmitMessage;
    jpeg_create_decompress(&c.info);
    c.created = true;
    c.progress = {};
    c.progress.progress_monitor = JpegProgress;
    c.info.progress = &c.progress;
    c.source.init_source = JpegInit;
    c.source.fill_input_buffer = JpegFill;
    c.source.skip_input_data = JpegSkip;
    c.source.resync_to_restart = jpeg_resync_to_restart;
    c.source.term_source = JpegTerm;
    c.source.next_input_byte = nullptr;
    c.source.bytes_in_buffer = 0;
    c.from.reader = &reader;
    c.info.client_data = &c.from;
    c.info.src = &c.source;
}

// Rows go to the output as they are decoded when they come in the order
// they are shown: as stored, or each mirrored (2). The quarter turns and
// the upside-down ones are turned once the picture (at its decoding scale)
// is whole.
bool Streamed(int orientation) {
    return orientation <= 2;
}

// Every call that libjpeg may leave by a long jump; only the context (not
// owned by this frame) and plain values live across it.
bool ReadJpeg(JpegContext& c, const DecodeOptions& options) {
    if (setjmp(c.errors.jump)) return false;
    jpeg_read_header(&c.info, TRUE); // no marker is kept: the Exif data is read where it lies
    // The limits, the scale and the fit all go by the upright picture.
    const bool turned = SwapsSides(c.orientation);
    const int storedWidth = int(c.info.image_width), storedHeight = int(c.info.image_height);
    const int uprightWidth = turned ? storedHeight : storedWidth;
    const int uprightHeight = turned ? storedWidth : storedHeight;
    if (!CheckSize(uprightWidth, uprightHeight, options, c.result)) return true;
    c.info.scale_num = unsigned(ScaleNumerator(uprightWidth, uprightHeight, options));
    c.info.scale_denom = 8;
    jpeg_calc_output_dimensions(&c.info);
    const int components = c.info.output_components;
    const bool cmyk = components == 4 && c.info.out_color_space == JCS_CMYK;
    if (components != 1 && components != 3 && !cmyk) {
        c.result.error = "the JPEG's colour space is not one this program reads";
        return true;
    }
    const int width = int(c.info.output_width), height = int(c.info.output_height);
    if (width <= 0 || height <= 0) {
        c.result.error = "the JPEG holds no picture";
        return true;
    }
    DecodeOptions whole = options;
    whole.fitted = false;
    c.output.emplace(width, height, Streamed(c.orientation) ? options : whole);
    c.line.resize(std::size_t(width));
    JSAMPARRAY row = (*c.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c.info),
                                                 JPOOL_IMAGE, JDIMENSION(width * components), 1);
    jpeg_start_decompress(&c.info);
    while (c.info.output_scanline < c.info.output_height) {
        jpeg_read_scanlines(&c.info, row, 1);
        const JSAMPLE* in = row[0];
        std::uint32_t* line = c.line.data();
        if (components == 1) {
            for (int x = 0; x < width; ++x)
                line[x] = Pack(in[x], in[x], in[x]);
        } else if (components == 3) {
            for (int x = 0; x < width; ++x, in += 3)
                line[x] = Pack(in[0], in[1], in[2]);
        } else {
            for (int x = 0; x < width; ++x, in += 4) {
                const std::uint32_t k = in[3];
                line[x] = Pack(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
            }
        }
        if (c.orientation == 2) std::reverse(line, line + width);
        c.output->add(line);
    }
    jpeg_finish_decompress(&c.info);
    return true;
}

// The whole decoded picture turned upright, then fitted when asked.
bool TurnUpright(Decoded& result, int orientation, const DecodeOptions& options) {
    if (!ApplyOrientation(result.image, orientation, result.error)) return false;
    if (!options.fitted || !options.fits()) return true;
    const Image turned = std::move(result.image);
    RowSink fitted(turned.width, turned.height, options);
    for (int y = 0; y < turned.height; ++y)
        fitted.add(turned.pixels.data() + std::size_t(y) * std::size_t(turned.width));
    result.image = fitted.take();
    return true;
}

} // namespace

Decoded DecodeJpeg(Reader& reader, const DecodeOptions& options) {
    if (const std::string& why = OpenLibrary(Library::Jpeg); !why.empty()) return {{}, why};
    const Bytes start = reader.at(0, 2);
    if (start.size() >= 2 && start[0] == 0xFF && start[1] == kStartOfImage) {
        const Layout layout = Walk(reader);
        if (reader.error()) return {{}, std::strerror(reader.error())};
        if (!layout.complete) return {{}, "the JPEG data is cut short"};
        if (layout.scans > kMaxScans) return {{}, TooManyScans(std::to_string(layout.scans))};
    }
    JpegContext c;
    Start(c, reader);
    if (const std::optional<Markers> m = ReadMarkers(reader)) {
        std::vector<std::uint8_t> room;
        c.orientation = ExifOrientation(
            reader.whole(m->exifAt, std::min(m->exifBytes, kMostExif), room), options);
    }
    bool finished = false;
    try {
        finished = ReadJpeg(c, options);
        if (finished && c.result.ok()) {
            c.result.image = c.output->take();
            if (!Streamed(c.orientation)) TurnUpright(c.result, c.orientation, options);
        }
    } catch (const std::bad_alloc&) {
        return {{}, "there is not enough memory for the picture"};
    }
    if (reader.error()) return {{}, std::strerror(reader.error())};
    if (!finished) {
        const std::string refusal =
            c.errors.tooLarge ? grob::PictureSizeRefusal(c.info.image_width, c.info.image_height,
                                                         options.maxSide, options.maxPixels)
                              : std::string();
        return {{}, refusal.empty() ? c.errors.cause : refusal};
    }
    if (!c.result.ok()) c.result.image = {};
    return std::move(c.result);
}

Decoded DecodeJpegBytes(Bytes bytes, const DecodeOptions& options) {
    Reader reader(bytes);
    return DecodeJpeg(reader, options);
}

Decoded DecodeJpegFile(const File& file, const DecodeOptions& options) {
    Reader reader(file);
    return DecodeJpeg(reader, options);
}

} // namespace codecs::detail

namespace codecs {

using detail::kStartOfImage;

bool JpegComplete(Bytes bytes) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != kStartOfImage)
        return true; // not a JPEG
    detail::Reader reader(bytes);
    return detail::Walk(reader).complete;
}

} // namespace codecs

namespace codecs::formats {

extern const Handler kJpeg; // listed in formats.cpp
const Handler kJpeg = {
    .name = "JPEG",
    .canRead = detail::CanRead,
    .readHeader = detail::ReadHeader,
    .memory = detail::Memory,
    .read = detail::DecodeJpegBytes,
    .readFileHeader = detail::ReadFileHeader,
    .readFile = detail::DecodeJpegFile,
};

} // namespace codecs::formats

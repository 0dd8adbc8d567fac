// JPEG on libjpeg-turbo with its defaults (accurate integer DCT, fancy
// upsampling), as Qt's JPEG reader decodes: gray stays gray, colour comes out
// as RGB, CMYK and YCCK as libjpeg's CMYK multiplied by K the way Qt does
// (the Adobe inversion is not undone). EXIF orientation is not applied (Qt's
// reader does not apply it by default). Data that stops early, and the
// decoder's "Premature end" and "Corrupt JPEG" warnings, fail the picture.
#include "internal.h"

#include "grob/prepare.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>

namespace codecs::detail {

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char error[JMSG_LENGTH_MAX] = {};
    char damage[JMSG_LENGTH_MAX] = {}; // the first warning, when it tells of damage
};

bool Contains(const char* text, const char* word) {
    const std::size_t n = std::strlen(word);
    for (const char* p = text; *p; ++p) {
        std::size_t i = 0;
        while (i < n && p[i] && (p[i] | 0x20) == (word[i] | 0x20)) // ASCII, case-insensitive
            ++i;
        if (i == n) return true;
    }
    return false;
}

extern "C" void JpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->error);
    std::longjmp(errors->jump, 1);
}

// libjpeg shows only the first warning of a picture (emit_message); so does
// Qt, which fails the picture when that one tells of damage.
extern "C" void JpegMessage(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    if (!errors->damage[0] && (Contains(text, "Premature end") || Contains(text, "Corrupt JPEG") ||
                               Contains(text, "truncated")))
        std::memcpy(errors->damage, text, sizeof text);
}

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

extern "C" void JpegInit(j_decompress_ptr) {}

// All the data is given at once; past its end an end-of-image marker is
// made up (the completeness check has already refused data cut short).
extern "C" boolean JpegFill(j_decompress_ptr info) {
    info->src->next_input_byte = kEndOfImage;
    info->src->bytes_in_buffer = 2;
    return TRUE;
}

extern "C" void JpegSkip(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    if (std::size_t(count) > info->src->bytes_in_buffer) {
        JpegFill(info);
        return;
    }
    info->src->next_input_byte += count;
    info->src->bytes_in_buffer -= std::size_t(count);
}

extern "C" void JpegTerm(j_decompress_ptr) {}

std::uint8_t At(Bytes b, std::size_t i) {
    return i < b.size() ? b[i] : 0;
}

// The entropy-coded data reaches an end-of-image marker (the Qt loader's
// check before decoding, picturecheck::JpegComplete).
bool Complete(Bytes d) {
    std::size_t at = 2;
    const std::size_t n = d.size();
    while (at + 1 < n) {
        if (At(d, at) != 0xFF) return false;
        const std::uint8_t marker = At(d, at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9) return true;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::size_t length = std::size_t(At(d, at + 2)) << 8 | At(d, at + 3);
        if (length < 2 || at + 2 + length > n) return false;
        at += 2 + length;
        if (marker == 0xDA) {
            while (at + 1 < n) {
                if (At(d, at) == 0xFF) {
                    const std::uint8_t next = At(d, at + 1);
                    if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) break;
                }
                ++at;
            }
        }
    }
    return false;
}

struct JpegContext {
    JpegErrors errors;
    jpeg_decompress_struct info;
    jpeg_source_mgr source;
    bool created = false;
    Decoded result;
    ~JpegContext() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

void Start(JpegContext& c, Bytes bytes) {
    c.info.err = jpeg_std_error(&c.errors.manager);
    c.errors.manager.error_exit = JpegErrorExit;
    c.errors.manager.output_message = JpegMessage;
    jpeg_create_decompress(&c.info);
    c.created = true;
    c.source.init_source = JpegInit;
    c.source.fill_input_buffer = JpegFill;
    c.source.skip_input_data = JpegSkip;
    c.source.resync_to_restart = jpeg_resync_to_restart;
    c.source.term_source = JpegTerm;
    c.source.next_input_byte = bytes.data();
    c.source.bytes_in_buffer = bytes.size();
    c.info.src = &c.source;
}

// The scale n/8 for a picture fitted into the box: the smallest whose
// decoded size (rounded up, as libjpeg rounds) still covers the fitted size.
int ScaleNumerator(int width, int height, const DecodeOptions& options) {
    if (options.fitWidth <= 0 || options.fitHeight <= 0) return 8;
    grob::Preparation fit;
    fit.fitWidth = options.fitWidth;
    fit.fitHeight = options.fitHeight;
    int w = width, h = height;
    grob::FittedSize(fit, width, height, w, h);
    for (int n = 1; n < 8; ++n)
        if ((std::int64_t(width) * n + 7) / 8 >= w && (std::int64_t(height) * n + 7) / 8 >= h)
            return n;
    return 8;
}

// Every call that libjpeg may leave by a long jump; only the context (not
// owned by this frame) and plain values live across it.
bool ReadJpeg(JpegContext& c, const DecodeOptions& options, bool headerOnly) {
    if (setjmp(c.errors.jump)) return false;
    jpeg_save_markers(&c.info, JPEG_COM, 0xFFFF);
    jpeg_save_markers(&c.info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&c.info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&c.info, TRUE);
    if (headerOnly) return true;
    const int fullWidth = int(c.info.image_width), fullHeight = int(c.info.image_height);
    if (!CheckSize(fullWidth, fullHeight, options, c.result)) return true;
    c.info.scale_num = unsigned(ScaleNumerator(fullWidth, fullHeight, options));
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
    if (!Allocate(c.result.image, width, height, c.result)) return true;
    JSAMPARRAY row = (*c.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c.info),
                                                 JPOOL_IMAGE, JDIMENSION(width * components), 1);
    jpeg_start_decompress(&c.info);
    std::uint32_t* out = c.result.image.pixels.data();
    while (c.info.output_scanline < c.info.output_height) {
        std::uint32_t* line = out + std::size_t(c.info.output_scanline) * width;
        jpeg_read_scanlines(&c.info, row, 1);
        const JSAMPLE* in = row[0];
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
    }
    jpeg_finish_decompress(&c.info);
    return true;
}

} // namespace

std::optional<Size> PeekJpeg(Bytes bytes) {
    if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
    JpegContext c;
    Start(c, bytes);
    if (!ReadJpeg(c, {}, true) || c.info.image_width == 0 || c.info.image_height == 0)
        return std::nullopt;
    return Size{int(c.info.image_width), int(c.info.image_height)};
}

Decoded DecodeJpeg(Bytes bytes, const DecodeOptions& options) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8 && !Complete(bytes))
        return {{}, "the JPEG data is cut short"};
    JpegContext c;
    Start(c, bytes);
    bool finished = false;
    try {
        finished = ReadJpeg(c, options, false);
    } catch (const std::bad_alloc&) {
        return {{}, "there is not enough memory for the picture"};
    }
    if (!finished) return {{}, std::string("the JPEG data is damaged (") + c.errors.error + ")"};
    if (c.result.ok() && c.errors.damage[0])
        c.result.error = std::string("the picture is damaged (") + c.errors.damage + ")";
    if (!c.result.ok()) c.result.image = {};
    return std::move(c.result);
}

} // namespace codecs::detail

#include "picturecheck.h"
#include "picturelimits.h"
#include "render.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <QtEndian>

#include <cmath>
#include <utility>

namespace render {

namespace {

struct Placeable {
    double left, top, right, bottom, inch;
};

std::optional<Placeable> ReadPlaceable(const QByteArray& data, qsizetype size) {
    if (size < 22 || qFromLittleEndian<quint32>(data.constData()) != 0x9AC6CDD7u)
        return std::nullopt;
    auto s16 = [&](int at) { return double(qFromLittleEndian<qint16>(data.constData() + at)); };
    const double inch = qFromLittleEndian<quint16>(data.constData() + 14);
    if (inch <= 0) return std::nullopt;
    return Placeable{s16(6), s16(8), s16(10), s16(12), inch};
}

class Api {
  public:
    ~Api() {
        if (api_) wmf_api_destroy(api_);
    }
    wmfAPI** out() { return &api_; }
    wmfAPI* get() const { return api_; }
    wmfAPI* release() { return std::exchange(api_, nullptr); }

  private:
    wmfAPI* api_ = nullptr;
};

} // namespace

Rendered RenderWmf(QByteArray& data, qsizetype size) {
    if (const std::string& why = OpenMetafileLibrary(Metafile::Wmf); !why.empty())
        return Rendered::Failure(QString::fromStdString(why));
    Api api;
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(api.out(), flags, &options) != wmf_E_None)
        return Rendered::Failure(QStringLiteral("the metafile library cannot start"));
    wmf_gd_t* device = WMF_GD_GetData(api.get());
    device->type = wmf_gd_image;
    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(data.data()), long(size)) !=
        wmf_E_None)
        return Rendered::Failure(QStringLiteral("not a readable Windows metafile"));
    wmfD_Rect drawn{};
    if (wmf_scan(api.get(), 0, &drawn) != wmf_E_None)
        return Rendered::Failure(QStringLiteral("the Windows metafile is damaged"));

    // The size the loader reads from the header, when it tells one: the
    // frame's at 96 dots per inch.
    wmfD_Rect box = drawn;
    qint64 width = 0, height = 0;
    if (const auto natural = picturecheck::WmfSize(
            {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(size)})) {
        width = natural->width;
        height = natural->height;
    } else {
        unsigned int w = 0, h = 0;
        if (wmf_display_size(api.get(), &w, &h, 96, 96) != wmf_E_None)
            return Rendered::Failure(QStringLiteral("the Windows metafile has no size"));
        width = w;
        height = h;
    }
    if (const auto frame = ReadPlaceable(data, size)) {
        // libwmf places the drawing in points from the frame's top-left
        // corner. Files that set a viewport of their own draw elsewhere; for
        // them the drawn extent is all there is to go by.
        const double w = (frame->right - frame->left) * 72.0 / frame->inch;
        const double h = (frame->bottom - frame->top) * 72.0 / frame->inch;
        const double slackX = 2.0 + std::abs(w) * 0.02, slackY = 2.0 + std::abs(h) * 0.02;
        if (w > 0 && h > 0 && drawn.TL.x >= -slackX && drawn.TL.y >= -slackY &&
            drawn.BR.x <= w + slackX && drawn.BR.y <= h + slackY) {
            box.TL.x = 0;
            box.TL.y = 0;
            box.BR.x = float(w);
            box.BR.y = float(h);
        }
    }
    if (width == 0 || height == 0 || grob::TooLarge(width, height))
        return Rendered::Failure(
            QStringLiteral("the metafile's size (%1 x %2 pixels) is not accepted")
                .arg(width)
                .arg(height));
    if (!Affordable(width * height * 4)) return Rendered::NoMemory();
    device->bbox = box;
    device->width = unsigned(width);
    device->height = unsigned(height);
    if (wmf_play(api.get(), 0, &box) != wmf_E_None)
        return Rendered::Failure(QStringLiteral("the Windows metafile is damaged"));
    if (!device->gd_image || !wmf_gd_image_pixels(device->gd_image))
        return Rendered::Failure(QStringLiteral("the metafile library drew nothing"));

    // The drawing's own pixels become the picture, in their place: no
    // second copy. The library's data goes with the picture.
    auto* pixels = reinterpret_cast<quint32*>(wmf_gd_image_pixels(device->gd_image));
    for (std::size_t i = 0, n = std::size_t(width * height); i < n; ++i) {
        // gd: 7-bit alpha, 0 opaque and 127 clear.
        const quint32 p = pixels[i];
        const int alpha = 255 - int((p >> 24) & 0x7F) * 255 / 127;
        pixels[i] = qRgba(int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255), alpha);
    }
    QImage image(
        reinterpret_cast<uchar*>(pixels), int(width), int(height), qsizetype(width) * 4,
        QImage::Format_ARGB32,
        [](void* drawing) { wmf_api_destroy(static_cast<wmfAPI*>(drawing)); }, api.release());
    return {std::move(image), {}};
}

} // namespace render

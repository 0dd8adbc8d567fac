#include "conversion.h"

#include "errorstream.h"
#include "grob/checks.h"
#include "grob/list.h"
#include "grob/options.h"
#include "grob/reader.h"
#include "pngfile.h"
#include "preview.h"
#include "qtnames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pipeline {

namespace {

QString Thousands(qint64 value) {
    return QString::fromStdString(grob::Thousands(value));
}

QString ErrnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// Thrown inside Convert: the file a failure is about and why.
struct Failure {
    QString file;
    QString cause;
};

struct Cancelled {};

// Waits until a descriptor left non-blocking by whoever started the program is ready.
bool WaitFor(int fd, short events) {
    pollfd wanted{fd, events, 0};
    while (::poll(&wanted, 1, -1) < 0)
        if (errno != EINTR) return false;
    return true;
}

// Standard input, up to one byte past the limit (so that a larger file is seen).
QByteArray ReadStandardInput() {
    if (errorstream::WasClosed(0))
        throw Failure{QStringLiteral("-"), QStringLiteral("standard input is closed")};
    QByteArray data;
    const qint64 limit = loading::kMaxFileBytes + 1;
    qint64 got = 0;
    while (got < limit) {
        if (data.size() - got < 65536) data.resize(qsizetype(qMin(limit, got + (1 << 20))));
        const ssize_t n = ::read(0, data.data() + got, size_t(data.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && WaitFor(0, POLLIN)) continue;
        if (n < 0) throw Failure{QStringLiteral("-"), ErrnoText(errno)};
        if (n == 0) break;
        got += n;
    }
    data.resize(qsizetype(got));
    return data;
}

void WriteStandardOutput(const std::vector<std::uint8_t>& bytes) {
    if (errorstream::WasClosed(1))
        throw Failure{QStringLiteral("-"), QStringLiteral("standard output is closed")};
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(1, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && WaitFor(1, POLLOUT)) continue;
        if (n < 0) throw Failure{QStringLiteral("-"), ErrnoText(errno)};
        data += n;
        left -= std::size_t(n);
    }
}

bool Wants(const Request& request, std::initializer_list<Product> products) {
    for (const Output& output : request.outputs)
        for (const Product product : products)
            if (output.product == product) return true;
    return false;
}

QString FitHint(Audience audience) {
    return audience == Audience::CommandLine
               ? QStringLiteral("fit it to the screen with --fit 131x64 (or another size)")
               : QStringLiteral("choose a fit for it in the preview window");
}

// The sizes a request makes from a picture of `width` x `height` pixels,
// checked before any work: the fitted (or enlarged) picture, the GROB, the
// previews. Returns the zoom the previews are drawn at.
int CheckSizes(int width, int height, const Request& request, const Context& context,
               QString& note) {
    if (!Wants(request, {Product::Grob, Product::GrobText, Product::PreviewPng, Product::Preview,
                         Product::List, Product::ListText}))
        return 0; // a picture as it is: its own size was checked when it was read
    const QString source = request.source.name();
    const bool commandLine = context.audience == Audience::CommandLine;
    const std::string fit = FitHint(context.audience).toStdString();
    const grob::Hints hints{fit, commandLine ? "choose a smaller --fit or leave out --upscale"
                                             : "choose a smaller size or do not enlarge"};
    const std::string refusal =
        grob::ConversionSizeRefusal(width, height, request.kind, request.preparation, hints);
    if (!refusal.empty()) throw Failure{source, QString::fromStdString(refusal)};
    if (!Wants(request, {Product::PreviewPng, Product::Preview})) return 0;
    int w = 0, h = 0;
    grob::FittedSize(request.preparation, width, height, w, h);
    const preview::ZoomChoice zoom =
        preview::ChooseZoom(w, h, request.zoom, context.lowerZoom, "use --zoom %d or lower", fit);
    if (!zoom.refusal.empty()) throw Failure{source, QString::fromStdString(zoom.refusal)};
    note = QString::fromStdString(zoom.note);
    return zoom.zoom;
}

QString Cause(const grob::GrobError& e) {
    return QString::fromLocal8Bit(e.cause().c_str());
}

void CheckCancelled(const Context& context) {
    if (context.cancelled && context.cancelled->load(std::memory_order_relaxed)) throw Cancelled{};
}

} // namespace

std::shared_ptr<const grob::MemoryRaster>
FitCache::fitted(const std::shared_ptr<const grob::Image>& picture,
                 const grob::Preparation& preparation) {
    {
        const std::lock_guard lock(mutex_);
        if (fitted_ && picture_.lock() == picture && width_ == preparation.fitWidth &&
            height_ == preparation.fitHeight && upscale_ == preparation.upscale)
            return fitted_;
    }
    auto made = std::make_shared<const grob::MemoryRaster>(grob::Fit(picture->view(), preparation));
    const std::lock_guard lock(mutex_);
    picture_ = picture;
    width_ = preparation.fitWidth;
    height_ = preparation.fitHeight;
    upscale_ = preparation.upscale;
    fitted_ = made;
    return made;
}

QString Target::name() const {
    return to == To::StandardOutput ? QStringLiteral("-") : path;
}

QString Source::name() const {
    return from == From::StandardInput ? QStringLiteral("-") : path;
}

QString Result::line() const {
    return file.isEmpty() ? cause : file + QStringLiteral(": ") + cause;
}

namespace {

// One picture of a request on its way to a GROB: a whole picture, a frame
// or a tile.
struct Item {
    std::shared_ptr<const grob::Image> image;
    std::vector<std::uint8_t> opacity; // empty: opaque throughout
    int number = 1;                    // its place among the pictures (tiles kept or not)
};

// The pictures of one source: loaded, then cut into frames and tiles.
struct Loaded {
    std::vector<Item> items;
    std::optional<grob::Series> series;
};

QByteArray SourceBytes(const Source& source) {
    if (source.from == Source::From::StandardInput) return ReadStandardInput();
    QString error;
    auto read = qtnames::ReadRegularFile(source.path, loading::kMaxFileBytes, &error);
    if (!read) throw Failure{source.name(), error};
    return std::move(*read);
}

// Whether a tile shows nothing: white or clear throughout.
bool Empty(const grob::Image& tile, const std::vector<std::uint8_t>& opacity) {
    for (std::size_t i = 0; i < tile.pixels.size(); ++i)
        if ((tile.pixels[i] & 0xFFFFFFu) != 0xFFFFFFu && (opacity.empty() || opacity[i] != 0))
            return false;
    return true;
}

// Cuts a picture into tiles, left to right, top to bottom.
void Cut(const Item& whole, const Cutting& cutting, const QString& name, std::vector<Item>& out,
         int& number, std::vector<int>& kept) {
    const grob::Image& picture = *whole.image;
    const int tw = cutting.tileWidth, th = cutting.tileHeight;
    const int overX = picture.width % tw, overY = picture.height % th;
    if ((overX || overY) && !cutting.tilePad)
        throw Failure{name, QStringLiteral("the picture is %1 x %2 pixels, not a whole number of "
                                           "%3 x %4 tiles: %5 pixels over across and %6 down "
                                           "(--tile-pad pads it with white)")
                                .arg(picture.width)
                                .arg(picture.height)
                                .arg(tw)
                                .arg(th)
                                .arg(overX)
                                .arg(overY)};
    const int across = (picture.width + tw - 1) / tw, down = (picture.height + th - 1) / th;
    for (int row = 0; row < down; ++row)
        for (int column = 0; column < across; ++column) {
            ++number;
            grob::Image tile{tw, th, std::vector<std::uint32_t>(std::size_t(tw) * th, 0xFFFFFFFFu)};
            // Padding is white and clear.
            std::vector<std::uint8_t> opacity;
            const bool padded =
                (column + 1) * tw > picture.width || (row + 1) * th > picture.height;
            if (!whole.opacity.empty() || padded) opacity.assign(tile.pixels.size(), 0);
            for (int y = 0; y < th && row * th + y < picture.height; ++y)
                for (int x = 0; x < tw && column * tw + x < picture.width; ++x) {
                    const std::size_t from =
                        std::size_t(row * th + y) * std::size_t(picture.width) +
                        std::size_t(column * tw + x);
                    const std::size_t to = std::size_t(y) * std::size_t(tw) + std::size_t(x);
                    tile.pixels[to] = picture.pixels[from];
                    if (!opacity.empty())
                        opacity[to] = whole.opacity.empty() ? 255 : whole.opacity[from];
                }
            if (cutting.skipEmpty && Empty(tile, opacity)) continue;
            kept.push_back(number);
            out.push_back(
                {std::make_shared<const grob::Image>(std::move(tile)), std::move(opacity), number});
        }
}

// "1-3, 5, 8": numbers in order, runs shortened.
QString Runs(const std::vector<int>& numbers) {
    QStringList parts;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        parts << (j == i ? QString::number(numbers[i])
                         : QStringLiteral("%1-%2").arg(numbers[i]).arg(numbers[j]));
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

// A numbered file's path: walk.gro gives walk-07.gro (or walk-07.mask.gro).
QString Numbered(const QString& path, int number, int digits, bool mask, const QString& maskExt) {
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    qsizetype dot = path.lastIndexOf(u'.');
    if (dot < nameStart) dot = path.size();
    const QString stem = path.left(dot);
    const QString extension = mask ? maskExt : path.mid(dot + 1);
    return QStringLiteral("%1-%2%3.%4")
        .arg(stem)
        .arg(number, digits, 10, QLatin1Char('0'))
        .arg(mask ? QStringLiteral(".mask") : QString(), extension);
}

// The mask of a picture: a 1-bit GROB of its size once fitted, dark where
// the picture is opaque (at least half: opacity 128 and up).
grob::GrobObject MaskOf(const Item& item, const Request& request, grob::Series series,
                        const std::string& name) {
    grob::MemoryRaster clear(item.image->width, item.image->height, 0); // opaque throughout: black
    if (!item.opacity.empty())
        for (int y = 0; y < clear.height(); ++y)
            for (int x = 0; x < clear.width(); ++x)
                clear.setPixel(
                    x, y,
                    (255u -
                     item.opacity[std::size_t(y) * std::size_t(clear.width()) + std::size_t(x)]) *
                        0x010101u);
    grob::Preparation fit;
    fit.fitWidth = request.preparation.fitWidth;
    fit.fitHeight = request.preparation.fitHeight;
    fit.upscale = request.preparation.upscale;
    const auto bytes =
        grob::EncodePrepared(grob::OutputKinds()[0], clear.view(), series, fit, name);
    return grob::ReadBinaryGrob(bytes, name);
}

// A sheet of pictures side by side, a one-pixel white gap between them.
grob::Image Sheet(const std::vector<Item>& items) {
    int width = 0, height = 0;
    for (const Item& item : items) {
        width += item.image->width + (width ? 1 : 0);
        height = std::max(height, item.image->height);
    }
    if (loading::TooLarge(width, height))
        throw Failure{{},
                      QStringLiteral("the sheet would be %1 x %2 pixels: use --split")
                          .arg(Thousands(width), Thousands(height))};
    grob::Image sheet{
        width, height,
        std::vector<std::uint32_t>(std::size_t(width) * std::size_t(height), 0xFFFFFFFFu)};
    int left = 0;
    for (const Item& item : items) {
        for (int y = 0; y < item.image->height; ++y)
            std::copy_n(item.image->pixels.data() + std::size_t(y) * std::size_t(item.image->width),
                        item.image->width,
                        sheet.pixels.data() + std::size_t(y) * std::size_t(width) +
                            std::size_t(left));
        left += item.image->width + 1;
    }
    return sheet;
}

// Writes (or keeps) the bytes of one output.
void Deliver(const Output& output, const QString& path, std::vector<std::uint8_t> bytes,
             const Context& context, Result& result) {
    if (output.target.to == Target::To::File) {
        try {
            grob::WriteFileAtomically(QFile::encodeName(path).toStdString(), bytes, context.flush);
        } catch (const grob::GrobError& e) {
            throw Failure{path, Cause(e)};
        }
        result.written.push_back(path);
    } else if (output.target.to == Target::To::StandardOutput) {
        WriteStandardOutput(bytes);
    }
    Made made{output, std::move(bytes), {}};
    made.output.target.path = path;
    result.made.push_back(std::move(made));
}

// Several pictures from one request: the frames and tiles of its pictures,
// each prepared and encoded as a single picture is, with their masks; then
// one list object of them all, or one file each.
void ConvertMany(const Request& request, const Context& context, Result& result) {
    const Cutting& cutting = request.cutting;
    std::vector<Item> items;
    std::optional<grob::Series> ownSeries;
    std::vector<int> kept;
    bool anyClear = false;
    int counted = 0; // every picture and tile, kept or not
    std::vector<Source> sources{request.source};
    sources.insert(sources.end(), request.more.begin(), request.more.end());
    for (const Source& from : sources) {
        std::vector<Item> whole;
        if (from.from == Source::From::Picture) {
            if (cutting.frames && !from.frames.empty()) {
                for (const auto& frame : from.frames)
                    whole.push_back({frame, {}, 0});
            } else if (from.picture) {
                whole.push_back({from.picture, {}, 0});
            }
        } else {
            pictureloader::Options options = context.loading;
            options.allFrames = cutting.frames;
            options.opacity = cutting.masks;
            loading::Picture loaded =
                pictureloader::LoadBytes(SourceBytes(from), options, from.path);
            if (!loaded.ok()) throw Failure{from.name(), loaded.error};
            if (!ownSeries) ownSeries = loaded.series;
            for (loading::Frame& frame : loaded.frames)
                whole.push_back({std::make_shared<const grob::Image>(std::move(frame.image)),
                                 std::move(frame.opacity), 0});
        }
        if (whole.empty()) throw Failure{from.name(), QStringLiteral("there is no picture")};
        int number = counted;
        for (Item& item : whole) {
            anyClear = anyClear || !item.opacity.empty();
            if (cutting.tiles()) {
                Cut(item, cutting, from.name(), items, number, kept);
            } else {
                item.number = ++number;
                items.push_back(std::move(item));
            }
        }
        counted = number;
        CheckCancelled(context);
    }
    if (items.empty())
        throw Failure{request.source.name(),
                      QStringLiteral("every tile is empty: there is nothing to convert")};
    result.pictures = int(items.size());
    QStringList notes;
    if (cutting.skipEmpty)
        notes << QStringLiteral("tiles kept: %1 of %2").arg(Runs(kept)).arg(counted);
    if (cutting.masks && !anyClear) notes << QStringLiteral("no transparency: every mask is full");

    // Every picture's sizes before any work, and the list's in all.
    const bool listed = Wants(request, {Product::List, Product::ListText});
    std::uint64_t nibbles = 10; // the list's prologue and end marker
    for (const Item& item : items) {
        QString note;
        result.zoom = CheckSizes(item.image->width, item.image->height, request, context, note);
        int w = 0, h = 0;
        grob::FittedSize(request.preparation, item.image->width, item.image->height, w, h);
        const grob::OutputKind& kind = request.kind;
        const std::uint64_t gw =
            kind.pageFlipping() ? std::uint64_t(w) : std::uint64_t(w) * kind.depth;
        const std::uint64_t gh =
            kind.pageFlipping() ? std::uint64_t(h) * kind.frames : std::uint64_t(h);
        nibbles += 20 + 2 * ((gw + 7) / 8 * gh);
        if (cutting.masks) nibbles += 20 + 2 * ((std::uint64_t(w) + 7) / 8 * std::uint64_t(h));
    }
    if (listed && (nibbles + 1) / 2 > grob::kMaxListBytes)
        throw Failure{
            request.source.name(),
            QStringLiteral("the list would be %1 bytes; a calculator holds at most %2 "
                           "(288 KB, the most user memory of any HP 48 or HP 49): "
                           "fit the pictures smaller, or make several lists")
                .arg(Thousands(qint64((nibbles + 1) / 2)), Thousands(qint64(grob::kMaxListBytes)))};
    const grob::Series series = request.series.value_or(ownSeries.value_or(request.defaultSeries));

    // Each picture's GROB (and mask), as a single picture's would be.
    std::vector<grob::GrobObject> grobs, masks;
    const std::string name = QFile::encodeName(request.source.name()).toStdString();
    for (const Item& item : items) {
        const auto file = grob::EncodePrepared(request.kind, item.image->view(), series,
                                               request.preparation, name);
        grobs.push_back(grob::ReadBinaryGrob(file, name));
        grobs.back().series = series;
        if (cutting.masks) {
            masks.push_back(MaskOf(item, request, series, name));
            masks.back().series = series;
        }
        CheckCancelled(context);
    }
    result.dotsWide = int(grobs.front().width);
    result.dotsHigh = int(grobs.front().height);

    const int digits = std::max(2, int(QString::number(counted).size()));
    const QString maskExtension = QStringLiteral("gro");
    for (const Output& output : request.outputs) {
        switch (output.product) {
        case Product::List:
        case Product::ListText: {
            std::vector<grob::GrobObject> all;
            for (std::size_t i = 0; i < grobs.size(); ++i) {
                all.push_back(grobs[i]);
                if (cutting.masks) all.push_back(masks[i]);
            }
            std::vector<std::uint8_t> bytes;
            if (output.product == Product::List) {
                bytes = grob::BinaryList(series, all, name);
            } else {
                const std::string text = grob::TextList(all, name);
                bytes.assign(text.begin(), text.end());
            }
            Deliver(output, output.target.path, std::move(bytes), context, result);
            break;
        }
        case Product::PicturePng:
            if (!output.target.numbered) {
                grob::Image sheet;
                try {
                    sheet = Sheet(items);
                } catch (Failure& failure) {
                    failure.file = request.source.name();
                    throw;
                }
                Deliver(output, output.target.path, PngOf(sheet, output.target.name()), context,
                        result);
                break;
            }
            [[fallthrough]];
        case Product::Grob:
        case Product::GrobText:
        case Product::PreviewPng:
        case Product::Preview:
            for (std::size_t i = 0; i < items.size(); ++i) {
                for (const bool mask : {false, true}) {
                    if (mask && (!cutting.masks || (output.product != Product::Grob &&
                                                    output.product != Product::GrobText)))
                        continue;
                    const grob::GrobObject& object = mask ? masks[i] : grobs[i];
                    const grob::OutputKind& kind = mask ? grob::OutputKinds()[0] : request.kind;
                    const QString path = output.target.to == Target::To::File
                                             ? Numbered(output.target.path, items[i].number, digits,
                                                        mask, maskExtension)
                                             : output.target.path;
                    std::vector<std::uint8_t> bytes;
                    switch (output.product) {
                    case Product::Grob:
                        bytes = grob::BinaryGrob(object, name);
                        break;
                    case Product::GrobText: {
                        const std::string text = grob::TextGrob(object);
                        bytes.assign(text.begin(), text.end());
                        break;
                    }
                    case Product::PicturePng:
                        bytes = PngOf(*items[i].image, path);
                        break;
                    default: {
                        grob::Image view =
                            preview::RenderFile(grob::BinaryGrob(object, name), kind, result.zoom);
                        if (output.product == Product::Preview) {
                            Made made{output, {}, std::move(view)};
                            result.made.push_back(std::move(made));
                            continue;
                        }
                        bytes = PngOf(view, path);
                        break;
                    }
                    }
                    Deliver(output, path, std::move(bytes), context, result);
                }
            }
            break;
        }
    }
    result.note = notes.join(QStringLiteral("; "));
}

} // namespace

Result Convert(const Request& request, const Context& context) {
    Result result;
    const QString source = request.source.name();
    try {
        if (request.cutting.many() || !request.more.empty() ||
            Wants(request, {Product::List, Product::ListText})) {
            ConvertMany(request, context, result);
            return result;
        }
        // The picture, its size checked before it is decoded where its header tells it.
        std::shared_ptr<const grob::Image> picture = request.source.picture;
        std::optional<grob::Series> ownSeries;
        if (request.source.from != Source::From::Picture) {
            QByteArray data = SourceBytes(request.source);
            if (const auto size = pictureloader::PeekSize(data, request.source.path)) {
                if (loading::TooLarge(size->width(), size->height()))
                    throw Failure{source, pictureloader::TooLargeText(*size)};
                CheckSizes(size->width(), size->height(), request, context, result.note);
            }
            pictureloader::Options options = context.loading;
            options.fitWidth = request.preparation.fitWidth;
            options.fitHeight = request.preparation.fitHeight;
            loading::Picture loaded = pictureloader::LoadBytes(data, options, request.source.path);
            data = QByteArray();
            if (!loaded.ok()) throw Failure{source, loaded.error};
            ownSeries = loaded.series;
            picture = std::make_shared<const grob::Image>(std::move(loaded.image()));
        }
        if (!picture) throw Failure{source, QStringLiteral("there is no picture")};
        CheckCancelled(context);
        result.note.clear();
        result.zoom = CheckSizes(picture->width, picture->height, request, context, result.note);
        const grob::Series series =
            request.series.value_or(ownSeries.value_or(request.defaultSeries));

        // Each product once, then each output.
        std::vector<std::uint8_t> grobFile, text, picturePng, previewPng;
        grob::Image view;
        const std::string sourceName = qtnames::ToNative(source).toStdString();
        for (const Output& output : request.outputs) {
            if (output.product != Product::PicturePng && grobFile.empty()) {
                const grob::Preparation& prep = request.preparation;
                if (context.fitCache && prep.fits() && !prep.neutral()) {
                    // Fitted once for a run of previews; the rest of the
                    // preparation goes on from the fitted picture.
                    const auto fitted = context.fitCache->fitted(picture, prep);
                    CheckCancelled(context);
                    grob::Preparation rest = prep;
                    rest.fitWidth = rest.fitHeight = 0;
                    rest.upscale = false;
                    grobFile = grob::EncodeGrob(
                        request.kind, grob::Prepare(fitted->view(), request.kind, rest).view(),
                        series, sourceName);
                } else {
                    grobFile = grob::EncodePrepared(request.kind, picture->view(), series, prep,
                                                    sourceName);
                }
                const grob::GrobObject object = grob::ReadBinaryGrob(grobFile, sourceName);
                result.dotsWide = int(object.width);
                result.dotsHigh = int(object.height);
                CheckCancelled(context);
            }
            switch (output.product) {
            case Product::Grob:
                break;
            case Product::GrobText:
                if (text.empty()) {
                    const std::string form = grob::TextGrob(grob::ReadBinaryGrob(grobFile, ""));
                    text.assign(form.begin(), form.end());
                }
                break;
            case Product::PicturePng:
                if (picturePng.empty()) picturePng = PngOf(*picture, output.target.name());
                break;
            case Product::PreviewPng:
            case Product::Preview:
                if (view.empty()) view = preview::RenderFile(grobFile, request.kind, result.zoom);
                if (output.product == Product::PreviewPng && previewPng.empty())
                    previewPng = PngOf(view, output.target.name());
                CheckCancelled(context);
                break;
            case Product::List:
            case Product::ListText:
                break; // several pictures: above
            }
        }
        result.pictures = 1;

        for (const Output& output : request.outputs) {
            Made made{output, {}, {}};
            switch (output.product) {
            case Product::Grob:
                made.bytes = grobFile;
                break;
            case Product::GrobText:
                made.bytes = text;
                break;
            case Product::PicturePng:
                made.bytes = picturePng;
                break;
            case Product::PreviewPng:
                made.bytes = previewPng;
                break;
            case Product::Preview:
                made.image = view;
                break;
            case Product::List:
            case Product::ListText:
                break;
            }
            if (output.target.to == Target::To::File) {
                try {
                    grob::WriteFileAtomically(qtnames::ToNative(output.target.path).toStdString(),
                                              made.bytes, context.flush);
                } catch (const grob::GrobError& e) {
                    throw Failure{output.target.path, Cause(e)};
                }
                result.written.push_back(output.target.path);
            } else if (output.target.to == Target::To::StandardOutput) {
                WriteStandardOutput(made.bytes);
            }
            result.made.push_back(std::move(made));
        }
    } catch (const Failure& failure) {
        result.file = failure.file;
        result.cause = failure.cause;
    } catch (const grob::GrobError& e) {
        result.file = source;
        result.cause = Cause(e);
    } catch (const grob::GrobReadError& e) {
        result.file = source;
        result.cause = QString::fromStdString(e.cause());
    } catch (const Cancelled&) {
        result.file = source;
        result.cause = QStringLiteral("cancelled");
    } catch (const std::bad_alloc&) {
        result.file = source;
        result.cause = QStringLiteral("there is not enough memory to convert it");
    } catch (const std::length_error&) {
        result.file = source;
        result.cause = QStringLiteral("there is not enough memory to convert it");
    }
    if (!result.ok()) result.made.clear();
    return result;
}

namespace {

QString Canonical(const QString& name) {
    QString result;
    if (char* real = ::realpath(qtnames::ToNative(name).constData(), nullptr)) {
        result = qtnames::FromNative(QByteArray(real));
        std::free(real);
    }
    return result;
}

// The same-file keys of one run's paths: the working folder asked once, each
// folder made canonical once, and one look at each file (is it a link?).
// The system's own names throughout: a name need not be UTF-8.
class SameFileKeys {
  public:
    QString operator()(const QString& path) {
        if (cwd_.isEmpty()) cwd_ = qtnames::Absolute(QStringLiteral("."));
        const QString absolute = path.startsWith(u'/') ? path : cwd_ + u'/' + path;
        struct stat info {};
        if (::lstat(qtnames::ToNative(absolute).constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
            const QString target = Canonical(absolute);
            if (!target.isEmpty()) return target;
        }
        const qsizetype slash = absolute.lastIndexOf(u'/');
        const QString folder = absolute.left(std::max<qsizetype>(slash, 1));
        const QString name = absolute.mid(slash + 1);
        auto known = folders_.find(folder);
        if (known == folders_.end()) {
            const QString canonical = Canonical(folder);
            known =
                folders_.emplace(folder, canonical.isEmpty() ? QDir::cleanPath(folder) : canonical)
                    .first;
        }
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            return QDir::cleanPath(known->second + u'/' + name);
        return (known->second == QLatin1String("/") ? QString() : known->second) + u'/' + name;
    }

  private:
    QString cwd_;
    std::map<QString, QString> folders_;
};

} // namespace

QString SameFileKey(const QString& path) {
    return SameFileKeys()(path);
}

std::vector<Clash> CheckTargets(const std::vector<Request>& requests) {
    SameFileKeys keys;
    std::vector<Clash> clashes;
    auto what = [](Product product) {
        switch (product) {
        case Product::Grob:
        case Product::GrobText:
            return QStringLiteral("GROB");
        case Product::PicturePng:
            return QStringLiteral("PNG");
        case Product::PreviewPng:
        case Product::Preview:
            return QStringLiteral("preview");
        case Product::List:
        case Product::ListText:
            return QStringLiteral("list");
        }
        return QString();
    };
    // Every picture of the run, and every output as it is claimed.
    std::map<QString, std::size_t> inputs;
    for (std::size_t i = 0; i < requests.size(); ++i)
        if (requests[i].source.from == Source::From::File)
            inputs.emplace(keys(requests[i].source.path), i);
    struct Claim {
        std::size_t request;
        Product product;
    };
    std::map<QString, Claim> claimed;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Request& request = requests[i];
        std::vector<std::pair<QString, Claim>> mine;
        QString refusal, refused;
        for (const Output& output : request.outputs) {
            if (output.target.to != Target::To::File) continue;
            const QString key = keys(output.target.path);
            const QString product = what(output.product);
            if (const auto input = inputs.find(key); input != inputs.end()) {
                refused = output.target.path;
                if (input->second != i)
                    refusal = QStringLiteral("the %1 of %2 would replace the picture %3")
                                  .arg(product, request.source.name(),
                                       requests[input->second].source.name());
                else if (&output == &request.outputs.front())
                    refusal = QStringLiteral("it is the picture itself; it is not replaced");
                else
                    refusal = QStringLiteral("the %1 of %2 would replace the picture itself")
                                  .arg(product, request.source.name());
                break;
            }
            const auto earlier = claimed.find(key);
            const auto own = std::find_if(mine.begin(), mine.end(),
                                          [&](const auto& claim) { return claim.first == key; });
            if (earlier != claimed.end() || own != mine.end()) {
                const Claim& other = earlier != claimed.end() ? earlier->second : own->second;
                refused = output.target.path;
                refusal = QStringLiteral("the %1 of %2 would replace the %3 of %4")
                              .arg(product, request.source.name(), what(other.product),
                                   requests[other.request].source.name());
                break;
            }
            mine.push_back({key, Claim{i, output.product}});
        }
        if (!refusal.isEmpty()) {
            clashes.push_back({i, refused, refusal});
            continue;
        }
        for (auto& claim : mine)
            claimed.insert(std::move(claim));
    }
    return clashes;
}

} // namespace pipeline

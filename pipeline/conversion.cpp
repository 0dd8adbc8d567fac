#include "conversion.h"

#include "errorstream.h"
#include "filenames.h"
#include "grob/options.h"
#include "grob/reader.h"
#include "png.h"
#include "preview.h"
#include "regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>

#include <poll.h>
#include <unistd.h>

namespace pipeline {

namespace {

QString Thousands(qint64 value) {
    return QLocale(QLocale::English).toString(value);
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
    const QString source = request.source.name();
    int w = 0, h = 0;
    grob::FittedSize(request.preparation, width, height, w, h);
    if (std::int64_t(w) > grob::kMaxSide || std::int64_t(h) > grob::kMaxSide ||
        std::int64_t(w) * h > grob::kMaxPixels)
        throw Failure{source,
                      QStringLiteral("enlarged to fit, the picture would be %1 x %2 pixels; at "
                                     "most %3 on a side and %4 million pixels are made: %5")
                          .arg(Thousands(w), Thousands(h), Thousands(grob::kMaxSide))
                          .arg(grob::kMaxPixels / (1024 * 1024))
                          .arg(context.audience == Audience::CommandLine
                                   ? QStringLiteral("choose a smaller --fit or leave out --upscale")
                                   : QStringLiteral("choose a smaller size or do not enlarge"))};
    if (!Wants(request, {Product::Grob, Product::GrobText, Product::PreviewPng, Product::Preview}))
        return 0;
    const grob::OutputKind& kind = request.kind;
    const std::uint64_t grobWidth =
        kind.pageFlipping() ? std::uint64_t(w) : std::uint64_t(w) * std::uint64_t(kind.depth);
    const std::uint64_t grobHeight =
        kind.pageFlipping() ? std::uint64_t(h) * std::uint64_t(kind.frames) : std::uint64_t(h);
    const std::uint64_t body = (grobWidth + 7) / 8 * grobHeight;
    if (grobWidth >= grob::kFieldLimit || grobHeight >= grob::kFieldLimit ||
        15 + 2 * body >= grob::kFieldLimit)
        throw Failure{source, QStringLiteral("the GROB would be %1 x %2 dots, a body of %3 bytes; "
                                             "a GROB holds at most 524,280: %4")
                                  .arg(Thousands(qint64(grobWidth)), Thousands(qint64(grobHeight)),
                                       Thousands(qint64(body)), FitHint(context.audience))};
    if (!Wants(request, {Product::PreviewPng, Product::Preview})) return 0;
    const int zoom = preview::ZoomWithin(w, h, request.zoom);
    if (zoom == request.zoom) return zoom;
    const preview::Size asked = preview::PreviewSize(w, h, request.zoom);
    const QString tooLarge =
        QStringLiteral("at zoom %1 the preview would be %2 x %3 pixels; at most %4 are drawn")
            .arg(request.zoom)
            .arg(Thousands(asked.width), Thousands(asked.height),
                 Thousands(grob::kMaxPreviewPixels));
    if (zoom == 0)
        throw Failure{source,
                      tooLarge + QStringLiteral(", even at zoom 1: ") + FitHint(context.audience)};
    if (!context.lowerZoom)
        throw Failure{source, tooLarge + QStringLiteral(": use --zoom %1 or lower").arg(zoom)};
    note = QStringLiteral("Zoom lowered to %1: %2.").arg(zoom).arg(tooLarge);
    return zoom;
}

QString Cause(const grob::GrobError& e) {
    return QString::fromLocal8Bit(e.cause().c_str());
}

void CheckCancelled(const Context& context) {
    if (context.cancelled && context.cancelled->load(std::memory_order_relaxed)) throw Cancelled{};
}

} // namespace

QString Target::name() const {
    return to == To::StandardOutput ? QStringLiteral("-") : path;
}

QString Source::name() const {
    return from == From::StandardInput ? QStringLiteral("-") : path;
}

QString Result::line() const {
    return file.isEmpty() ? cause : file + QStringLiteral(": ") + cause;
}

Result Convert(const Request& request, const Context& context) {
    Result result;
    const QString source = request.source.name();
    try {
        // The picture, its size checked before it is decoded where its header tells it.
        std::shared_ptr<const grob::Image> picture = request.source.picture;
        std::optional<grob::Series> ownSeries;
        if (request.source.from != Source::From::Picture) {
            QByteArray data;
            if (request.source.from == Source::From::StandardInput) {
                data = ReadStandardInput();
            } else {
                QString error;
                auto read =
                    loading::ReadRegularFile(request.source.path, loading::kMaxFileBytes, &error);
                if (!read) throw Failure{source, error};
                data = std::move(*read);
            }
            if (const auto size = pictureloader::PeekSize(data, request.source.path)) {
                if (loading::TooLarge(size->width(), size->height()))
                    throw Failure{source, pictureloader::TooLargeText(*size)};
                CheckSizes(size->width(), size->height(), request, context, result.note);
            }
            loading::Picture loaded =
                pictureloader::LoadBytes(data, context.loading, request.source.path);
            data = QByteArray();
            if (!loaded.ok()) throw Failure{source, loaded.error};
            ownSeries = loaded.series;
            picture = std::make_shared<const grob::Image>(std::move(loaded.image));
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
        const std::string sourceName = filenames::ToNative(source).toStdString();
        for (const Output& output : request.outputs) {
            if (output.product != Product::PicturePng && grobFile.empty()) {
                grobFile = grob::EncodePrepared(request.kind, picture->view(), series,
                                                request.preparation, sourceName);
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
            }
        }

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
            }
            if (output.target.to == Target::To::File) {
                try {
                    grob::WriteFileAtomically(filenames::ToNative(output.target.path).toStdString(),
                                              made.bytes, context.flush);
                } catch (const grob::GrobError& e) {
                    throw Failure{output.target.path, Cause(e)};
                }
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

QString SameFileKey(const QString& path) {
    // The system's own names throughout: a name need not be UTF-8.
    auto canonical = [](const QString& name) {
        QString result;
        if (char* real = ::realpath(filenames::ToNative(name).constData(), nullptr)) {
            result = filenames::FromNative(QByteArray(real));
            std::free(real);
        }
        return result;
    };
    if (const QString file = canonical(path); !file.isEmpty()) return file;
    const QFileInfo info(filenames::Absolute(path));
    const QString folder = canonical(info.absolutePath());
    return (folder.isEmpty() ? QDir::cleanPath(info.absolutePath()) : folder) + u'/' +
           info.fileName();
}

std::vector<Clash> CheckTargets(const std::vector<Request>& requests) {
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
        }
        return QString();
    };
    // Every picture of the run, and every output as it is claimed.
    std::map<QString, std::size_t> inputs;
    for (std::size_t i = 0; i < requests.size(); ++i)
        if (requests[i].source.from == Source::From::File)
            inputs.emplace(SameFileKey(requests[i].source.path), i);
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
            const QString key = SameFileKey(output.target.path);
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

#include "grobplugin.h"

#include "grob/list.h"
#include "grobpictures.h"

#include <QFile>
#include <QImage>
#include <QVariant>

#include <algorithm>
#include <cstring>

namespace {

std::span<const std::uint8_t> Span(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

// The file's name, when the device is a file: it tells the kind.
std::string NameOf(const QIODevice* device) {
    const auto* file = qobject_cast<const QFile*>(device);
    return file ? QFile::encodeName(file->fileName()).toStdString() : std::string();
}

// Without a file name, the format QImageReader was told ("g16"), if a kind.
grob::OutputKind KindOf(const QIODevice* device, const QByteArray& format) {
    return desktop::KindOf(NameOf(device), grob::KindForExtension(format.toLower().toStdString()));
}

// The size its header tells, checked against the limits and the device's
// length (unknown for a stream: then none).
std::optional<grob::Extent> HeaderSizeOf(QIODevice* device, const grob::OutputKind& kind) {
    const auto length =
        device->isSequential()
            ? std::nullopt
            : std::optional<std::uint64_t>(std::max<qint64>(device->size() - device->pos(), 0));
    return desktop::HeaderSize(Span(device->peek(qint64(grob::kMaxListBytes + 8))), kind, length);
}

} // namespace

bool GrobHandler::CanRead(QIODevice* device, const grob::OutputKind& kind) {
    if (!device || !device->isReadable()) return false;
    const QByteArray head = device->peek(qint64(desktop::kHeadBytes));
    if (!desktop::IsGrobFile(Span(head))) return false;
    // A binary GROB or list only when its header tells a picture that can be read.
    return !grob::LooksLikeBinaryGrob(Span(head)) || HeaderSizeOf(device, kind);
}

std::string GrobHandler::fileName() const {
    return NameOf(device());
}

grob::OutputKind GrobHandler::kind() const {
    return KindOf(device(), format());
}

bool GrobHandler::load() const {
    if (pictures_) return true;
    if (failed_ || !device()) return false;
    QIODevice* in = device();
    desktop::Pictures read = desktop::ReadFile(
        [in](std::uint8_t* into, std::size_t count) {
            return std::int64_t(in->read(reinterpret_cast<char*>(into), qint64(count)));
        },
        kind(), fileName());
    if (!read.error.empty()) {
        failed_ = true;
        return false;
    }
    pictures_ = std::move(read.pictures);
    return true;
}

bool GrobHandler::canRead() const {
    if (pictures_) return next_ < int(pictures_->size());
    if (failed_ || !CanRead(device(), kind())) return false;
    setFormat(QImageIOHandler::format().isEmpty() ? QByteArray("gro") : QImageIOHandler::format());
    return true;
}

bool GrobHandler::read(QImage* image) {
    if (!load() || next_ < 0 || next_ >= int(pictures_->size())) return false;
    const grob::Image& picture = (*pictures_)[std::size_t(next_)];
    // Each pixel 0xFFBBGGRR: the bytes R, G, B, 255 of an RGBX8888 image.
    QImage out(picture.width, picture.height, QImage::Format_RGBX8888);
    if (out.isNull()) return false;
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(out.scanLine(y), picture.pixels.data() + std::size_t(y) * picture.width,
                    std::size_t(picture.width) * 4);
    *image = std::move(out);
    last_ = next_++;
    return true;
}

bool GrobHandler::supportsOption(ImageOption option) const {
    return option == Size;
}

QVariant GrobHandler::option(ImageOption option) const {
    if (option != Size) return {};
    // The size from the header when nothing is read yet; else the picture's own.
    if (!pictures_ && next_ == 0 && device())
        if (const auto size = HeaderSizeOf(device(), kind()))
            return QSize(int(size->width), int(size->height));
    if (!load() || next_ >= int(pictures_->size())) return {};
    const grob::Image& picture = (*pictures_)[std::size_t(next_)];
    return QSize(picture.width, picture.height);
}

int GrobHandler::imageCount() const {
    return load() ? int(pictures_->size()) : 0;
}

bool GrobHandler::jumpToNextImage() {
    return jumpToImage(next_ + 1);
}

bool GrobHandler::jumpToImage(int imageNumber) {
    if (!load() || imageNumber < 0 || imageNumber >= int(pictures_->size())) return false;
    next_ = imageNumber;
    return true;
}

int GrobHandler::currentImageNumber() const {
    return last_ >= 0 ? last_ : next_;
}

QImageIOPlugin::Capabilities GrobPlugin::capabilities(QIODevice* device,
                                                      const QByteArray& format) const {
    // The kinds' own names and "lst" say what the file should be; the bytes decide.
    const QByteArray lower = format.toLower();
    const bool ours = lower == "lst" || grob::KindForExtension(lower.toStdString());
    if (!format.isEmpty() && !ours) return {};
    if (!device) return ours ? CanRead : Capabilities();
    return device->isOpen() && GrobHandler::CanRead(device, KindOf(device, format))
               ? CanRead
               : Capabilities();
}

QImageIOHandler* GrobPlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new GrobHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}

#include "grobplugin.h"

#include "grobpictures.h"
#include "picturelimits.h"

#include <QFile>
#include <QImage>
#include <QVariant>

#include <cstring>

namespace {

// Enough of a file to tell a GROB by: its header, or text up to the word
// GROB, a list's "{" or an encoded object's quote.
constexpr qint64 kPeekBytes = 64 * 1024;

std::span<const std::uint8_t> Span(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

} // namespace

bool GrobHandler::CanRead(QIODevice* device) {
    if (!device || !device->isReadable()) return false;
    return desktop::IsGrobFile(Span(device->peek(kPeekBytes)));
}

std::string GrobHandler::name() const {
    const auto* file = qobject_cast<const QFile*>(device());
    return file ? QFile::encodeName(file->fileName()).toStdString() : std::string();
}

grob::OutputKind GrobHandler::kind() const {
    // Without a file name, the format QImageReader was told ("g16"), if a kind.
    const std::string format = QImageIOHandler::format().toLower().toStdString();
    return desktop::KindOf(name(), grob::KindForExtension(format));
}

bool GrobHandler::load() const {
    if (pictures_) return true;
    if (failed_ || !device()) return false;
    const qint64 size = device()->size();
    if (!device()->isSequential() && size > loading::kMaxFileBytes) {
        failed_ = true;
        return false;
    }
    const QByteArray bytes = device()->read(loading::kMaxFileBytes + 1);
    desktop::Pictures read = desktop::Read(Span(bytes), kind(), name());
    if (bytes.size() > loading::kMaxFileBytes || !read.error.empty()) {
        failed_ = true;
        return false;
    }
    pictures_ = std::move(read.pictures);
    return true;
}

bool GrobHandler::canRead() const {
    if (pictures_) return next_ < int(pictures_->size());
    if (failed_ || !CanRead(device())) return false;
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
        if (const auto size = desktop::HeaderSize(Span(device()->peek(64)), kind()))
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
    return device->isOpen() && GrobHandler::CanRead(device) ? CanRead : Capabilities();
}

QImageIOHandler* GrobPlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new GrobHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}

#include "renderprotocol.h"

#include "picturelimits.h"

#include <QtEndian>

#include <cstring>

namespace render {

QByteArray AnswerHeader(int width, int height) {
    QByteArray out(kMagic, 4);
    char size[8];
    qToLittleEndian<qint32>(width, size);
    qToLittleEndian<qint32>(height, size + 4);
    out.append(size, 8);
    return out;
}

std::optional<grob::Image> DecodeAnswer(const QByteArray& answer) {
    if (answer.size() < kHeaderBytes || !answer.startsWith(kMagic)) return std::nullopt;
    const qint32 w = qFromLittleEndian<qint32>(answer.constData() + 4);
    const qint32 h = qFromLittleEndian<qint32>(answer.constData() + 8);
    if (w <= 0 || h <= 0 || loading::TooLarge(w, h) ||
        answer.size() != kHeaderBytes + qint64(w) * h * 4)
        return std::nullopt;
    grob::Image image;
    image.width = w;
    image.height = h;
    image.pixels.resize(std::size_t(w) * std::size_t(h));
    std::memcpy(image.pixels.data(), answer.constData() + kHeaderBytes, image.pixels.size() * 4);
    for (std::uint32_t& pixel : image.pixels)
        pixel |= 0xFF000000u; // opaque, whatever the renderer says
    return image;
}

} // namespace render

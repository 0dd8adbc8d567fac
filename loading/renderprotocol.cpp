#include "renderprotocol.h"

#include "picturelimits.h"

#include <QtEndian>

#include <cstring>

namespace render {

QByteArray AnswerHeader(int width, int height, int delayMs) {
    QByteArray out(kMagic, 4);
    char fields[12];
    qToLittleEndian<qint32>(width, fields);
    qToLittleEndian<qint32>(height, fields + 4);
    qToLittleEndian<qint32>(delayMs, fields + 8);
    out.append(fields, 12);
    return out;
}

std::vector<Answer> DecodeAnswers(const QByteArray& answer) {
    std::vector<Answer> pictures;
    qsizetype at = 0;
    qint64 pixels = 0;
    while (at < answer.size()) {
        if (answer.size() - at < kHeaderBytes || answer.mid(at, 4) != kMagic) return {};
        const qint32 w = qFromLittleEndian<qint32>(answer.constData() + at + 4);
        const qint32 h = qFromLittleEndian<qint32>(answer.constData() + at + 8);
        const qint32 delay = qFromLittleEndian<qint32>(answer.constData() + at + 12);
        if (w <= 0 || h <= 0 || delay < 0 || loading::TooLarge(w, h) ||
            answer.size() - at - kHeaderBytes < qint64(w) * h * 4)
            return {};
        pixels += qint64(w) * h;
        if (pixels > 4 * loading::kMaxPixels) return {};
        Answer picture;
        picture.delayMs = delay;
        picture.image.width = w;
        picture.image.height = h;
        picture.image.pixels.resize(std::size_t(w) * std::size_t(h));
        std::memcpy(picture.image.pixels.data(), answer.constData() + at + kHeaderBytes,
                    picture.image.pixels.size() * 4);
        at += kHeaderBytes + qint64(w) * h * 4;
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

} // namespace render

// libFuzzer target: the code that sees a picture file's bytes before any
// decoder does (content sniffing, the completeness checks, the icon entry
// chooser) and the decoding of the metafile renderer's answer.
#include "metafileprotocol.h"
#include "picturecheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    picturecheck::Sniff(bytes);
    picturecheck::BitmapComplete(bytes, true);
    picturecheck::BitmapComplete(bytes, false);
    picturecheck::JpegComplete(bytes);
    picturecheck::GifComplete(bytes);
    picturecheck::XbmComplete(bytes);
    picturecheck::BestIconEntry(bytes);
    // The renderer's answer, framed as the loader receives it.
    metafile::DecodeImage(QByteArray("VMF1") + bytes);
    metafile::DecodeImage(bytes);
    return 0;
}

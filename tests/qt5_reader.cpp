// A Qt 5 program reading a GROB through QImageReader, as Qt 5's image
// viewers and KDE's thumbnails do, with QT_PLUGIN_PATH at the Qt 5 plugin
// built:
//   qt5_reader [--as KIND] FILE PNG...
// reads FILE's images (from memory, told the format KIND, with --as) and
// compares each with the PNG `--to png` wrote of it; exit status 0 when they
// match and no Qt 6 library came into the process, else 1 with a line why.
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QByteArray format;
    if (args.size() > 2 && args[0] == "--as") {
        format = args[1].toUtf8();
        args = args.mid(2);
    }
    if (args.size() < 2) {
        std::fputs("usage: qt5_reader [--as KIND] FILE PNG...\n", stderr);
        return 2;
    }
    QFile file(args.front());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!format.isEmpty()) bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    QImageReader reader;
    reader.setDevice(format.isEmpty() ? static_cast<QIODevice*>(&file) : &buffer);
    reader.setFormat(format);
    auto fail = [&](const QString& why) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args.front()), qPrintable(why));
        return 1;
    };
    if (reader.imageCount() != args.size() - 1)
        return fail(QString("%1 images, not %2").arg(reader.imageCount()).arg(args.size() - 1));
    for (const QString& png : args.mid(1)) {
        const QImage read = reader.read(), written(png);
        if (read.isNull() || written.isNull()) return fail("unread: " + reader.errorString());
        if (read.convertToFormat(QImage::Format_RGB32) !=
            written.convertToFormat(QImage::Format_RGB32))
            return fail("not the pixels of " + png);
    }
    QFile maps("/proc/self/maps");
    if (maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6"))
        return fail("a Qt 6 library is in this Qt 5 process");
    return 0;
}

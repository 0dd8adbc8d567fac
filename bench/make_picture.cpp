// make_picture W H FILE: writes a W x H picture of smooth colour ramps (in
// the format FILE's extension names) for the benchmarks.
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_picture WIDTH HEIGHT FILE\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 7 + y) & 255, (x ^ y) & 255, (y * 3) & 255);
    }
    return image.save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}

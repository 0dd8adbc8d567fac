// Picture loading: every kind, made here with known pixels, and the
// real-world corpus (when it is present), which must load or fail cleanly.
#include "picture_makers.h"
#include "picturebox.h"
#include "pictureloader.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Sample {
    QPoint at;
    QRgb colour;
};

const Sample kSamples[] = {
    {{2, 2}, qRgb(0, 255, 0)},  {{5, 5}, qRgb(0, 255, 0)},   {{12, 20}, qRgb(255, 0, 0)},
    {{20, 4}, qRgb(255, 0, 0)}, {{40, 20}, qRgb(0, 0, 255)}, {{30, 30}, qRgb(0, 0, 255)},
    {{46, 1}, qRgb(0, 0, 255)}, {{1, 30}, qRgb(255, 0, 0)},
};

bool Near(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

class LoadingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

  private Q_SLOTS:
    void everyKindWithItsPixels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("tolerance");
        const QImage ref = makers::Reference();
        const QByteArray bmp = makers::Encode(ref, "bmp");
        QTest::newRow("bmp") << "a.bmp" << bmp << 0;
        QTest::newRow("dib with file header") << "b.dib" << bmp << 0;
        QTest::newRow("packed dib") << "c.dib" << bmp.mid(14) << 0;
        QTest::newRow("packed dib, any name") << "c.bin" << bmp.mid(14) << 0;
        QTest::newRow("png") << "d.png" << makers::Encode(ref, "png") << 0;
        QTest::newRow("jpeg") << "e.jpg" << makers::Encode(ref, "jpeg", 100) << 24;
        QTest::newRow("gif") << "f.gif" << makers::Gif() << 0;
        QTest::newRow("ico, largest entry") << "g.ico" << makers::Ico(false) << 0;
        QTest::newRow("cur, largest entry") << "h.cur" << makers::Ico(true) << 0;
        QTest::newRow("wmf") << "i.wmf" << makers::Wmf() << 0;
        QTest::newRow("emf") << "j.emf" << makers::Emf() << 0;
        QTest::newRow("wmf named .jpg") << "k.jpg" << makers::Wmf() << 0;
    }

    void everyKindWithItsPixels() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, tolerance);
        const auto result = pictureloader::Load(write(name, bytes));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.image.size(), QSize(makers::kW, makers::kH));
        PictureBox box;
        box.setPicture(result.image);
        QCOMPARE(box.innerSize(), QSize(makers::kW, makers::kH));
        for (const Sample& s : kSamples) {
            const QRgb got = result.image.pixel(s.at);
            QVERIFY2(Near(got, s.colour, tolerance),
                     qPrintable(QString("%1,%2: %3").arg(s.at.x()).arg(s.at.y()).arg(got, 8, 16)));
            // The raster gives the same colour as 0x00BBGGRR.
            const auto colour = std::uint32_t(box.raster().point(s.at.x(), s.at.y()));
            QVERIFY(
                Near(qRgb(int(colour & 255), int((colour >> 8) & 255), int((colour >> 16) & 255)),
                     s.colour, tolerance));
        }
        QCOMPARE(box.raster().point(makers::kW, 0), -1);
    }

    void transparencyShowsTheBackground() {
        QImage image(4, 2, QImage::Format_ARGB32);
        image.fill(qRgba(0, 0, 0, 0));
        image.setPixel(1, 0, qRgba(0, 0, 0, 255));
        image.setPixel(2, 0, qRgba(0, 0, 0, 128));
        const auto result = pictureloader::Load(write("t.png", makers::Encode(image, "png")));
        QVERIFY(result.ok());
        PictureBox box;
        box.setPicture(result.image);
        QCOMPARE(box.raster().point(0, 0), 0xFFFFFF); // clear: the white background
        QCOMPARE(box.raster().point(1, 0), 0x000000);
        const int half = box.raster().point(2, 0) & 255;
        QVERIFY(half > 100 && half < 160); // half-clear black over white
    }

    void oversizedPicturesAreRefused() {
        // A GIF whose screen and image claim 65535 x 65535 pixels.
        QByteArray gif = makers::Gif();
        for (int at : {6, 8, 27, 29})
            gif[at] = gif[at + 1] = char(0xFF);
        QVERIFY(!pictureloader::Load(write("huge.gif", gif)).ok());
        // A placeable WMF whose frame is 30000 inches wide.
        QByteArray wmf = makers::Wmf();
        qToLittleEndian<qint16>(30000, wmf.data() + 10);
        qToLittleEndian<quint16>(1, wmf.data() + 14);
        const auto result = pictureloader::Load(write("huge.wmf", wmf));
        QVERIFY(!result.ok());
        QVERIFY(!result.error.isEmpty());
    }

    void realWorldCorpusLoadsOrFailsCleanly() {
        const QString corpus = QStringLiteral(VELDAR_SHARED_PICTURES);
        if (!QDir(corpus).exists()) QSKIP("the shared picture corpus is not here");
        int loaded = 0, failed = 0;
        QDirIterator it(corpus, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String(".md"))) continue;
            QElapsedTimer timer;
            timer.start();
            const auto result = pictureloader::Load(path);
            QVERIFY2(result.ok() || !result.error.isEmpty(), qPrintable(path));
            if (result.ok()) {
                ++loaded;
                QVERIFY(result.image.width() > 0 && result.image.height() > 0);
                PictureBox box;
                box.setPicture(result.image);
            } else {
                ++failed;
            }
        }
        // Most of the corpus is readable; the damaged files are not.
        QVERIFY2(loaded >= 35, qPrintable(QString("%1 loaded, %2 failed").arg(loaded).arg(failed)));
        QVERIFY(failed >= 3);
    }

    void twoEmfFilesWithTextInARow() {
        // One metafile library tears fontconfig down after use; it must not
        // take this process (or the next drawing) with it.
        const QString corpus = QStringLiteral(VELDAR_SHARED_PICTURES) + "/libemf2svg/";
        if (!QFile::exists(corpus + "test-174.emf")) QSKIP("the shared picture corpus is not here");
        QVERIFY(pictureloader::Load(corpus + "test-174.emf").ok());
        QVERIFY(pictureloader::Load(corpus + "test-183.emf").ok());
        QFont font;
        QFontMetrics metrics(font);
        QVERIFY(metrics.horizontalAdvance("still fine") > 0);
    }
};

QTEST_MAIN(LoadingTest)
#include "loading_test.moc"

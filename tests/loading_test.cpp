// Picture loading: every kind with known pixels, the composition the window
// and the encoders share, the metafile renderer's failures, damaged and odd
// files, and the real-world corpus (when it is present).
#include "grob/prepare.h"
#include "loader.h"
#include "pictureloader.h"
#include "render.h"
#include "test_files.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_util::Encode;
using testing_util::Reference;

namespace {

loading::Picture Load(const QString& path, const pictureloader::Options& options = {}) {
    return pictureloader::Load(QFile::encodeName(path).toStdString(), options);
}
loading::Picture LoadBytes(const QByteArray& bytes, const pictureloader::Options& options = {}) {
    return pictureloader::LoadBytes(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())},
        options);
}

constexpr int kW = 48, kH = 32;

QByteArray Fixture(const char* name) {
    return testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/") + QLatin1String(name));
}

// The composed pixel 0x??BBGGRR as a colour.
QRgb At(const QImage& composed, int x, int y) {
    const quint32 p = reinterpret_cast<const quint32*>(composed.constScanLine(y))[x];
    return qRgb(int(p & 255), int((p >> 8) & 255), int((p >> 16) & 255));
}
QRgb At(const grob::Image& picture, int x, int y) {
    const quint32 p = picture.pixels[std::size_t(y) * std::size_t(picture.width) + std::size_t(x)];
    return qRgb(int(p & 255), int((p >> 8) & 255), int((p >> 16) & 255));
}

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
        testing_util::WriteAll(path, bytes);
        return path;
    }
    // A stand-in renderer: a shell script with the given body.
    QString renderer(const QString& name, const QByteArray& body) {
        const QString path = write(name, "#!/bin/sh\n" + body + "\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

  private Q_SLOTS:
    void everyKindWithItsPixels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("tolerance");
        const QImage ref = Reference();
        const QByteArray bmp = Encode(ref, "bmp");
        QTest::newRow("bmp") << "a.bmp" << bmp << 0;
        QTest::newRow("dib with file header") << "b.dib" << bmp << 0;
        QTest::newRow("packed dib, any name") << "c.bin" << bmp.mid(14) << 0;
        QTest::newRow("png") << "d.png" << Encode(ref, "png") << 0;
        QTest::newRow("jpeg") << "e.jpg" << Encode(ref, "jpeg", 100) << 24;
        QTest::newRow("gif") << "f.gif" << Fixture("reference.gif") << 0;
        QTest::newRow("ico, largest entry") << "g.ico" << Fixture("reference.ico") << 0;
        QTest::newRow("cur, largest entry") << "h.cur" << Fixture("reference.cur") << 0;
        QTest::newRow("wmf") << "i.wmf" << Fixture("reference.wmf") << 0;
        QTest::newRow("emf") << "j.emf" << Fixture("reference.emf") << 0;
        QTest::newRow("wmf named .jpg") << "k.jpg" << Fixture("reference.wmf") << 0;
    }

    void everyKindWithItsPixels() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, tolerance);
        const auto result = Load(write(name, bytes));
        QVERIFY2(result.ok(), result.error.c_str());
        const grob::Image& composed = result.image();
        QCOMPARE(QSize(composed.width, composed.height), QSize(kW, kH));
        const QImage ref = Reference();
        for (const QPoint at : {QPoint(2, 2), QPoint(5, 5), QPoint(12, 20), QPoint(20, 4),
                                QPoint(40, 20), QPoint(30, 30), QPoint(46, 1), QPoint(1, 30)})
            QVERIFY2(Near(At(composed, at.x(), at.y()), ref.pixel(at), tolerance),
                     qPrintable(QString("%1,%2").arg(at.x()).arg(at.y())));
    }

    // The window's picture (and so every GROB) must be what the painter
    // drew over white before the picture was held only once.
    void composingMatchesThePainterForEveryFormat() {
        QImage source(67, 13, QImage::Format_ARGB32);
        auto* random = QRandomGenerator::global();
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                source.setPixel(x, y, random->generate() | (x % 5 == 0 ? 0xFF000000u : 0u));
        const QImage formats[] = {source,
                                  source.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                  source.convertToFormat(QImage::Format_RGB32),
                                  source.convertToFormat(QImage::Format_Indexed8),
                                  source.convertToFormat(QImage::Format_Mono),
                                  source.convertToFormat(QImage::Format_RGBA64),
                                  source.convertToFormat(QImage::Format_RGB888)};
        for (const QImage& image : formats) {
            QImage painted(image.size(), QImage::Format_RGB32);
            painted.fill(Qt::white);
            QPainter(&painted).drawImage(0, 0, image);
            const QImage composed = render::ComposeOverWhite(image);
            QCOMPARE(composed.format(), QImage::Format_RGBX8888);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    QVERIFY2(At(composed, x, y) == (painted.pixel(x, y) | 0xFF000000u),
                             qPrintable(
                                 QString("format %1 at %2,%3").arg(image.format()).arg(x).arg(y)));
        }
    }

    void damagedPicturesAreRefused_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray bmp = Encode(Reference(), "bmp");
        QByteArray bomb = bmp.left(54);
        qToLittleEndian<qint32>(60000, bomb.data() + 18);
        qToLittleEndian<qint32>(60000, bomb.data() + 22);
        QByteArray hugeGif = Fixture("reference.gif"); // screen and image of 65535 x 65535
        for (int at : {6, 8, 27, 29})
            hugeGif[at] = hugeGif[at + 1] = char(0xFF);
        QByteArray hugeWmf = Fixture("reference.wmf"); // a frame 30000 inches wide
        qToLittleEndian<qint16>(30000, hugeWmf.data() + 10);
        qToLittleEndian<quint16>(1, hugeWmf.data() + 14);
        // A JPEG whose data goes wrong in the middle: only libjpeg's warning tells.
        QByteArray jpeg = Encode(Reference(), "jpeg", 90);
        const qsizetype scan = jpeg.indexOf("\xFF\xDA");
        jpeg.insert(scan + (jpeg.size() - scan) / 2, "\xFF\xD3\x12\x34\x56", 5);
        QImage mono(61, 37, QImage::Format_Mono);
        mono.fill(1);
        const QByteArray xbm = Encode(mono, "xbm");

        QTest::newRow("text") << QByteArray("this is not a picture\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut bmp") << bmp.left(bmp.size() - 100);
        QTest::newRow("cut jpeg") << Encode(Reference(), "jpeg").chopped(40);
        QTest::newRow("jpeg damaged in the middle") << jpeg;
        QTest::newRow("cut gif") << Fixture("reference.gif").left(200);
        QTest::newRow("cut wmf") << Fixture("reference.wmf").left(60);
        QTest::newRow("cut emf") << Fixture("reference.emf").left(100);
        QTest::newRow("cut xbm, half") << xbm.left(xbm.size() / 2);
        QTest::newRow("cut xbm, three quarters") << xbm.left(xbm.size() * 3 / 4);
        QTest::newRow("bmp claiming 60000 x 60000") << bomb;
        QTest::newRow("gif claiming 65535 x 65535") << hugeGif;
        QTest::newRow("wmf 30000 inches wide") << hugeWmf;
    }

    void damagedPicturesAreRefused() {
        QFETCH(QByteArray, bytes);
        const auto result = Load(write("damaged", bytes));
        QVERIFY(!result.ok());
        QVERIFY(!result.error.empty());
    }

    void rendererFailuresAreReported() {
        const QString wmf = write("r.wmf", Fixture("reference.wmf"));
        const struct {
            QString renderer;
            int timeoutMs;
            const char* says;
        } cases[] = {
            {dir_.filePath("not-installed"), 30000, "not installed"},
            {renderer("crash.sh", "kill -SEGV $$"), 30000, "crashed"},
            {renderer("slow.sh", "exec sleep 30"), 300, "too long"},
            {renderer("says.sh", "echo 'the metafile is odd' >&2; exit 2"), 30000,
             "the metafile is odd"},
            {renderer("garbage.sh", "cat >/dev/null; echo VMF1garbage"), 30000, "no picture"},
            // The processor time decides, not the clock.
            {renderer("spins.sh", "while :; do :; done"), 60000,
             "drawing the picture takes more than 1 s of processor time"},
        };
        for (const auto& c : cases) {
            QElapsedTimer timer;
            timer.start();
            pictureloader::Options options;
            options.renderer = c.renderer.toStdString();
            options.timeoutMs = c.timeoutMs;
            options.renderCpuSeconds = 1;
            const auto result = Load(wmf, options);
            QVERIFY(!result.ok());
            QVERIFY2(result.error.find(c.says) != std::string::npos, result.error.c_str());
            QVERIFY(timer.elapsed() < 20000);
        }
        // The renderer gets the file's bytes and the kind.
        const QString echo = renderer("echo.sh", "[ \"$1\" = wmf ] || exit 9; cat > " +
                                                     QFile::encodeName(dir_.filePath("got")));
        pictureloader::Options options;
        options.renderer = echo.toStdString();
        Load(wmf, options);
        QCOMPARE(testing_util::ReadAll(dir_.filePath("got")), Fixture("reference.wmf"));
    }

    // Of a document's pages only the one asked for is drawn and kept (the
    // renderer is told which); one past the last is said; without one, all.
    void onlyThePageAskedForKept() {
        QByteArray all;
        std::vector<std::vector<quint32>> pages(3);
        for (quint32 page = 0; page < 3; ++page) {
            const quint32 header[] = {2 + page, 3 - page, 10 * page, 0};
            QByteArray answer = "VPX2";
            for (const quint32 field : header) {
                char bytes[4];
                qToLittleEndian(field, bytes);
                answer.append(bytes, 4);
            }
            for (quint32 i = 0; i < header[0] * header[1]; ++i) // R, G, B, opaque
                pages[page].push_back(0xFF000000u | page << 16 | i * 40 << 8 | (i + 1) * 20);
            answer += QByteArray(reinterpret_cast<const char*>(pages[page].data()),
                                 qsizetype(pages[page].size() * 4));
            write(QStringLiteral("page%1").arg(page), answer);
            all += answer;
        }
        write("pages", all);
        const QByteArray at = QFile::encodeName(dir_.path());
        pictureloader::Options options;
        options.renderer =
            renderer("pages.sh", "cat >/dev/null; case \"$*\" in\n"
                                 "*'--page 3'*) echo 'it has no frame 4' >&2; exit 1;;\n"
                                 "*--page*) cat '" +
                                     at +
                                     "/page'\"${*##* }\";;\n"
                                     "*) cat '" +
                                     at + "/pages';; esac")
                .toStdString();
        options.allFrames = true;
        const QByteArray svg =
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"2\" height=\"3\"/>";
        for (const int only : {0, 1, 3, -1}) {
            options.onlyFrame = only;
            const auto result =
                LoadBytes(std::span(reinterpret_cast<const std::uint8_t*>(svg.data()),
                                    std::size_t(svg.size())),
                          options);
            QCOMPARE(result.error, std::string(only == 3 ? "it has no frame 4" : ""));
            QCOMPARE(result.frames.size(), std::size_t(only == 3 ? 0 : only < 0 ? 3 : 1));
            for (std::size_t i = 0; i < result.frames.size(); ++i) {
                const std::size_t page = only < 0 ? i : std::size_t(only);
                QCOMPARE(result.frames[i].image.pixels, pages[page]);
                QCOMPARE(result.frames[i].delayMs, int(10 * page));
            }
        }
    }

    // A picture that needs more memory than the renderer may have is refused
    // by the kernel's limit, whatever the machine is doing; within it, drawn.
    void drawnWithinTheMemoryGiven() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("no address-space limit under the sanitizer");
#endif
        const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='8000' "
                               "height='4000'><rect width='8000' height='4000' fill='red'/></svg>";
        // An icon whose one entry ("256 x 256") is a 4096 x 4096 PNG.
        QImage square(4096, 4096, QImage::Format_RGB32);
        square.fill(Qt::red);
        QByteArray icon(22, '\0');
        icon[2] = icon[4] = icon[10] = 1;
        const QByteArray png = Encode(square, "png");
        qToLittleEndian<quint32>(quint32(png.size()), icon.data() + 14);
        icon[18] = 22;
        for (const auto& [bytes, fitted] :
             {std::pair{svg, QSize(128, 64)}, {icon + png, QSize(64, 64)}}) {
            pictureloader::Options options;
            options.fit = {131, 64};
            options.renderMemoryBytes = 150 << 20; // less than Qt and 64 MiB of pixels
            auto result = LoadBytes(bytes, options);
            QCOMPARE(result.error,
                     std::string("the picture needs more memory than 150 MB to draw"));
            options.renderMemoryBytes = renderclient::kDefaultMemoryBytes;
            result = LoadBytes(bytes, options);
            QVERIFY2(result.ok(), result.error.c_str());
            QCOMPARE(QSize(result.image().width, result.image().height), fitted);
            QCOMPARE(At(result.image(), 60, 50), qRgb(255, 0, 0));
        }
    }

    // A renderer's address space is its share of the run's one budget:
    // leased with the picture's memory while it draws, let go after; one
    // stopped by that limit draws once more, alone, with the whole budget.
    void rendererLeasedFromTheBudget() {
        const QString ready = dir_.filePath("ready"), go = dir_.filePath("go");
        const QByteArray limits = QFile::encodeName(dir_.filePath("limits"));
        QVERIFY(::mkfifo(QFile::encodeName(ready), 0600) == 0 &&
                ::mkfifo(QFile::encodeName(go), 0600) == 0);
        pictureloader::Options options;
        options.renderer =
            renderer("limited.sh", "ulimit -v >>" + limits + "; echo >" + QFile::encodeName(ready) +
                                       "; read word <" + QFile::encodeName(go) + "; exit 4")
                .toStdString();
        pipeline::MemoryBudget budget(pipeline::MemoryBudget::kRun);
        pipeline::MemoryBudget::Lease lease;
        const QByteArray icon = Fixture("reference.ico");
        loading::Picture picture;
        auto say = [](const QString& fifo, const QByteArray& words = {}) {
            QFile file(fifo); // opened once the other side opens it too
            file.open(words.isEmpty() ? QIODevice::ReadOnly : QIODevice::WriteOnly);
            return words.isEmpty() ? file.readAll() : QByteArray::number(file.write(words));
        };
        std::thread loading([&] {
            picture = pipeline::LoadWithin(
                {reinterpret_cast<const std::uint8_t*>(icon.constData()), std::size_t(icon.size())},
                options, "r.ico", &budget, lease);
            say(ready, "done");
        });
        std::vector<std::uint64_t> held; // while each renderer waits for the word to go on
        while (say(ready) != "done") {
            held.push_back(budget.held());
            say(go, "on\n");
        }
        loading.join();
        QCOMPARE(picture.error, std::string("the picture needs more memory than 320 MB to draw"));
        QCOMPARE(held.size(), std::size_t(2));
        QCOMPARE(held[1], budget.total());
        const std::uint64_t kept = budget.held(); // the picture's own, until the caller lets it go
        lease.release();
        QCOMPARE(budget.held(), std::uint64_t(0));
        QVERIFY(kept > 0 && held[0] > pipeline::kRendererShare + kept);
#if !defined(__SANITIZE_ADDRESS__)
        QCOMPARE(testing_util::ReadAll(QFile::decodeName(limits)),
                 QByteArray::number((held[0] - kept) >> 10) + "\n327680\n");
#endif
    }

    // The renderer starts with few descriptors to spare (it needs none but
    // the three it is given), and when even those cannot be made, says why.
    void rendererStartedWithFewDescriptors() {
        pictureloader::Options options;
        options.renderer = renderer("ran.sh", "echo it ran >&2; exit 2").toStdString();
        const QByteArray wmf = Fixture("reference.wmf");
        rlimit was{};
        ::getrlimit(RLIMIT_NOFILE, &was);
        const rlimit tight{64, was.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        std::vector<int> taken;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken.push_back(fd);
        for (int i = 0; i < 8; ++i) { // the renderer's three ends and the loader's five
            ::close(taken.back());
            taken.pop_back();
        }
        const std::string started = LoadBytes(wmf, options).error;
        taken.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        const std::string refused = LoadBytes(wmf, options).error;
        for (const int fd : taken)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &was);
        QCOMPARE(started, std::string("it ran"));
        QCOMPARE(refused,
                 std::string("the picture renderer cannot be started (Too many open files)"));
    }

    // What the header of each kind the renderer draws tells is what it then
    // draws: the size of the picture loaded (the first, or the last of the
    // file's, drawn alone), upright or as stored, and how many the file holds.
    void headersTellWhatIsDrawn() {
        QStringList files;
        for (const char* name :
             {"reference.wmf", "reference.emf", "reference.ico", "reference.cur", "two-depths.ico",
              "ico-png-40x24.ico", "two-pages.tiff", "orientation-6.tiff", "tiff-turned-loop.tiff"})
            files << QStringLiteral(VELDAR_TEST_DATA "/") + QLatin1String(name);
        const QString corpus = QStringLiteral(VELDAR_PICTURE_CORPUS);
        for (QDirIterator it(corpus, {"*.wmf", "*.emf", "*.ico", "*.cur"}, QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            files << it.next();
        int compared = 0;
        for (const QString& path : files) {
            const QByteArray bytes = testing_util::ReadAll(path);
            const pictureloader::Bytes span{reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                            std::size_t(bytes.size())};
            const pictureloader::Format& format = pictureloader::Recognise(span);
            QVERIFY2(format.rendered, qPrintable(path));
            for (const int stored : {0, 1, 2}) { // as loaded, as stored, every page
                pictureloader::Options options;
                options.keepStoredOrientation = stored == 1;
                options.allFrames = stored == 2;
                const auto header = format.header ? format.header(span, options) : std::nullopt;
                if (!header) continue; // a WMF with no placeable header: its drawing tells
                const auto picture = LoadBytes(bytes, options);
                if (!picture.ok() && path.startsWith(corpus)) continue; // damaged on purpose
                QVERIFY2(picture.ok(), qPrintable(path + ": " + picture.error.c_str()));
                const grob::Image& first = picture.image();
                QVERIFY2(QSize(first.width, first.height) == QSize(header->width, header->height),
                         qPrintable(path));
                if (stored < 2) continue;
                QCOMPARE(int(picture.frames.size()), header->pictures);
                // The last alone, as the window asks for it: that page, of that size.
                options.onlyFrame = header->pictures - 1;
                const auto last = LoadBytes(bytes, options);
                const auto lastHeader = format.header(span, options);
                QVERIFY2(last.ok() && last.frames.size() == 1 &&
                             last.image().pixels == picture.frames.back().image.pixels &&
                             QSize(last.image().width, last.image().height) ==
                                 QSize(lastHeader->width, lastHeader->height),
                         qPrintable(path));
                ++compared;
            }
        }
        QVERIFY2(compared >= 9, qPrintable(QString::number(compared)));
    }

    // An SVG draws nothing from outside it: not a picture of the user's
    // (named, or within an SVG within), nor a pipe that would never end, nor
    // a style sheet. Pictures within it as data are drawn.
    void svgDrawsNothingFromOutside() {
        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        const QString png = write("red.png", Encode(red, "png"));
        const QString css = write("red.css", "rect { fill: red }");
        const QString fifo = dir_.filePath("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo), 0600), 0);
        auto svg = [](const QString& href) {
            return QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' "
                                  "xmlns:xlink='http://www.w3.org/1999/xlink' width='8' "
                                  "height='8'><image width='8' height='8' xlink:href='%1'/></svg>")
                .arg(href)
                .toUtf8();
        };
        const struct {
            QByteArray svg;
            QRgb colour;
        } cases[] = {
            {svg(png), qRgb(255, 255, 255)},
            {svg(fifo), qRgb(255, 255, 255)},
            {svg("data:image/svg+xml;base64," + svg(png).toBase64()), qRgb(255, 255, 255)},
            {svg("data:image/png;base64," + Encode(red, "png").toBase64()), qRgb(255, 0, 0)},
            {"<?xml-stylesheet type=\"text/css\" href=\"" + css.toUtf8() +
                 "\"?><svg xmlns='http://www.w3.org/2000/svg' width='8' height='8'><rect "
                 "width='8' height='8'/></svg>",
             qRgb(0, 0, 0)},
        };
        for (const auto& c : cases) {
            pictureloader::Options options;
            options.timeoutMs = 20000;
            const auto result = LoadBytes(c.svg, options);
            QVERIFY2(result.ok(), result.error.c_str());
            QVERIFY2(At(result.image(), 4, 4) == c.colour, c.svg.constData());
        }
    }

    // Fitted in the renderer, a picture is exactly what fitting it in the
    // program gives, its colours and its opacity (the transparency's gray
    // fitted, as masks fit it).
    void fittedInTheRendererAsInTheProgram() {
        const QByteArray svg =
            "<svg xmlns='http://www.w3.org/2000/svg' width='301' height='203'><defs>"
            "<linearGradient id='g'><stop offset='0' stop-color='#f80'/><stop offset='1' "
            "stop-color='#08f' stop-opacity='0.3'/></linearGradient></defs>"
            "<rect x='3' y='5' width='290' height='190' fill='url(#g)'/>"
            "<circle cx='150' cy='100' r='70' fill='#2a5' fill-opacity='0.6'/></svg>";
        pictureloader::Options natural;
        natural.opacity = true;
        pictureloader::Options fitted = natural;
        fitted.fit = {131, 64};
        const auto whole = LoadBytes(svg, natural);
        const auto small = LoadBytes(svg, fitted);
        QVERIFY(whole.ok() && small.ok());
        const grob::FitBox fit{131, 64};
        const grob::MemoryRaster colours = grob::Fit(whole.image().view(), fit);
        const loading::Frame& frame = whole.frames.front();
        grob::MemoryRaster clear(whole.image().width, whole.image().height);
        for (int y = 0; y < clear.height(); ++y)
            for (int x = 0; x < clear.width(); ++x)
                clear.setPixel(
                    x, y, (255u - frame.opacity[std::size_t(y * clear.width() + x)]) * 0x010101u);
        const grob::MemoryRaster opacity = grob::Fit(clear.view(), fit);
        const grob::Image& got = small.image();
        QCOMPARE(QSize(got.width, got.height), QSize(colours.width(), colours.height()));
        for (int y = 0; y < got.height; ++y)
            for (int x = 0; x < got.width; ++x) {
                const std::size_t at = std::size_t(y * got.width + x);
                QCOMPARE(got.pixels[at] & 0xFFFFFFu, std::uint32_t(colours.point(x, y)));
                QCOMPARE(255 - int(small.frames.front().opacity[at]), opacity.point(x, y) & 255);
            }
    }

    void realWorldCorpusLoadsOrFailsCleanly() {
        const QString corpus = QStringLiteral(VELDAR_PICTURE_CORPUS);
        if (!QDir(corpus).exists()) QSKIP("the picture corpus is not here");
        int loaded = 0, failed = 0;
        QDirIterator it(corpus, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String(".md"))) continue;
            const auto result = Load(path);
            if (result.ok()) {
                ++loaded;
                // A whole picture, every pixel composed (opaque).
                const grob::Image& image = result.image();
                QVERIFY2(!image.empty() && image.pixels.size() ==
                                               std::size_t(image.width) * std::size_t(image.height),
                         qPrintable(path));
                QVERIFY2(std::all_of(image.pixels.begin(), image.pixels.end(),
                                     [](quint32 p) { return p >> 24 == 0xFF; }),
                         qPrintable(path));
            } else {
                ++failed;
                QVERIFY2(result.error.find_first_not_of(" \t\n") != std::string::npos,
                         qPrintable(path));
            }
        }
        // Most of the corpus is readable; the damaged files are not.
        QVERIFY2(loaded >= 35, qPrintable(QString("%1 loaded, %2 failed").arg(loaded).arg(failed)));
        QVERIFY(failed >= 3);
    }

    void twoEmfFilesWithTextInARow() {
        // One metafile library tears fontconfig down after use; it must not
        // take this process (or the next drawing) with it.
        const QString corpus = QStringLiteral(VELDAR_PICTURE_CORPUS) + "/libemf2svg/";
        if (!QFile::exists(corpus + "test-174.emf")) QSKIP("the picture corpus is not here");
        QVERIFY(Load(corpus + "test-174.emf").ok());
        QVERIFY(Load(corpus + "test-183.emf").ok());
        QFont font;
        QFontMetrics metrics(font);
        QVERIFY(metrics.horizontalAdvance("still fine") > 0);
    }
};

QTEST_MAIN(LoadingTest)
#include "loading_test.moc"

// The program as a process: batch conversion without a display, the settings
// file it leaves, and how it fails.
#include "grob/encoders.h"
#include "grob/options.h"
#include "grob/viewer.h"
#include "option_values.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <csignal>
#include <functional>
#include <tuple>
#include <utility>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_util::Encode;
using testing_util::ReadAll;
using testing_util::Reference;

namespace {

struct Outcome {
    int status = -1;
    QString err;
};

QByteArray Expected(std::string_view extension, grob::Series series) {
    const QImage image = Reference().convertToFormat(QImage::Format_RGBX8888);
    const grob::PixelView view{reinterpret_cast<const std::uint32_t*>(image.constBits()),
                               image.width(), image.height(), image.bytesPerLine() / 4};
    return testing_util::FromBytes(
        grob::EncodeGrob(*grob::KindForExtension(extension), grob::ViewRaster(view), series));
}

class Cli : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QStringList launcher; // a program that runs this one (setpriv, prlimit), or nothing
    QString program = QStringLiteral(VELDAR_PROGRAM);
    QStringList environment; // NAME=value pairs added to the program's surroundings

    // The program's surroundings: no display, the settings in the scratch folder.
    void prepare(QProcess& process) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM"); // the program must find its way without one
        env.insert("windir", dir.filePath("win"));
        for (const QString& pair : environment)
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
    }
    Outcome run(const QStringList& args, const QString& shellPrefix = {},
                const QByteArray& input = {}, QByteArray* output = nullptr) {
        QProcess process;
        prepare(process);
        if (!launcher.isEmpty()) {
            process.start(launcher.front(), launcher.mid(1) + QStringList{program} + args);
        } else if (shellPrefix.isEmpty()) {
            process.start(program, args);
        } else {
            // sh -c 'PREFIX; exec "$0" "$@"' PROGRAM ARGS...
            process.start("/bin/sh",
                          QStringList{"-c", shellPrefix + "; exec \"$0\" \"$@\"", program} + args);
        }
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000)) process.kill(); // hung: a failure, not a wait
        process.waitForFinished();
        if (output) *output = process.readAllStandardOutput();
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        // Never a crash, nor a sanitizer's abort (which could pass for exit status 1).
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit)
            << args.join(' ').toStdString() << err.toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, err};
    }
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        testing_util::WriteAll(path, bytes);
        return path;
    }
    QByteArray read(const QString& name) { return ReadAll(dir.filePath(name)); }
    // A file of tests/data.
    static QByteArray data(const char* name) {
        return ReadAll(QStringLiteral(VELDAR_TEST_DATA "/") + name);
    }
    QStringList files() {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    void SetUp() override { QDir().mkpath(dir.filePath("win")); }
};

TEST_F(Cli, EveryOptionBesideThePictureAndTheSettingsFile) {
    write("my pics/a b.c.png", Encode(Reference(), "png"));
    for (const grob::OutputKind& kind : grob::OutputKinds()) {
        const QString option =
            QString::fromLatin1(kind.option.data(), qsizetype(kind.option.size()));
        const QString extension =
            QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
        const Outcome r = run({"my pics/a b.c.png", option});
        EXPECT_EQ(r.status, 0) << option.toStdString() << r.err.toStdString();
        EXPECT_EQ(read("my pics/a b.c." + extension), Expected(kind.extension, grob::Series::HP49));
    }
    const QByteArray ini = read("win/ORBEX.ini");
    EXPECT_TRUE(ini.startsWith("[Window position x,y]\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.endsWith("[Default header]\r\n#FALSE#\r\n")) << ini.toStdString();

    // With HP 48 saved, the next run writes the HP 48 header and keeps the choice.
    write("win/ORBEX.ini", "[Window position x,y]\r\n0,0\r\n[Window size w,h]\r\n6000,5000\r\n"
                           "[Default header]\r\n#TRUE#\r\n");
    write("logo", Encode(Reference(), "bmp"));
    EXPECT_EQ(run({"logo", "-1"}).status, 0);
    EXPECT_EQ(read("logo.gro"), Expected("gro", grob::Series::HP48)); // beside it, not "gro"
    EXPECT_TRUE(read("win/ORBEX.ini").endsWith("#TRUE#\r\n"));
}

TEST_F(Cli, FailuresSayWhyInOneLineAndWriteNothing) {
    Outcome r = run({"missing.bmp", "-1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("missing.bmp")) << r.err.toStdString();

    // A damaged PNG: the decoder's own complaints never reach the terminal.
    QByteArray png = Encode(Reference(), "png");
    png[png.indexOf("IDAT") + 10] = char(png[png.indexOf("IDAT") + 10] ^ 0x5A);
    write("damaged.png", png);
    r = run({"damaged.png", "-2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();

    // An empty name converts nothing and says so.
    r = run({"", "-1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();

    // The output would be the picture itself.
    write("pic.gro", Encode(Reference(), "bmp"));
    r = run({"pic.gro", "-1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read("pic.gro"), Encode(Reference(), "bmp"));

    // Too large for five-nibble fields as five frames: the picture is
    // refused before any work, and an old file stays.
    QImage wide(16384, 52, QImage::Format_Mono);
    wide.fill(0);
    write("wide.bmp", Encode(wide, "bmp"));
    write("wide.g32", "old contents");
    r = run({"wide.bmp", "-g32"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("veldar-convert: wide.bmp: ") && r.err.contains("532,480 bytes"))
        << r.err.toStdString();
    EXPECT_EQ(read("wide.g32"), "old contents");

    // No room at all for the file: a failure like any other, nothing left behind.
    write("p.bmp", Encode(Reference(), "bmp"));
    r = run({"p.bmp", "-g32"}, "ulimit -f 0");
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("p.g32")) << r.err.toStdString();
    EXPECT_EQ(files(), QStringList({"damaged.png", "p.bmp", "pic.gro", "wide.bmp", "wide.g32"}));
}

// The classic batch run is one run, with the window or without: it leaves
// the settings file as the window was placed, in whole pixels (ties to
// even), however large; and with the window a fatal message of Qt's is said,
// where every other remark is not.
TEST_F(Cli, ClassicBatchWithAndWithoutTheWindow) {
    write("p.bmp", Encode(Reference(), "bmp"));
    const QByteArray placed = "[a]\r\n3202.5,-22.5\r\n[b]\r\n1e12,6345\r\n[c]\r\n#TRUE#\r\n";
    const QByteArray left = "[Window position x,y]\r\n3210,-30\r\n[Window size w,h]\r\n"
                            "999999995904,6345\r\n[Default header]\r\n#TRUE#\r\n";
    for (const QString window : {"", "/veldar-window"}) {
        program = QFileInfo(VELDAR_PROGRAM).absolutePath() +
                  (window.isEmpty() ? "/veldar-convert" : window);
        write("win/ORBEX.ini", placed);
        const Outcome r = run({"p.bmp", "-1"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(read("p.gro"), Expected("gro", grob::Series::HP48)) << window.toStdString();
        EXPECT_EQ(read("win/ORBEX.ini").toStdString(), left.toStdString()) << window.toStdString();
    }
    program = VELDAR_PROGRAM;
    QFile::remove(dir.filePath("win/ORBEX.ini")); // the window's run
    const Outcome r =
        run({"p.bmp", "-2"}, "ulimit -c 0; QT_QPA_PLATFORM=nowhere \"$0\" \"$@\"; exit 3");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.startsWith("veldar-convert: fatal: This application failed to start"))
        << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("Could not find the Qt platform plugin")) << r.err.toStdString();
    // The window's run refuses what the header refuses before showing the
    // picture: a canvas at the pixel limit costs nothing.
    write("wide.gif", testing_util::WideAnimation());
    const Outcome wide = run({"wide.gif", "-g16"}, "export QT_QPA_PLATFORM=offscreen");
    EXPECT_EQ(wide.status, 1);
    EXPECT_TRUE(wide.err.startsWith("veldar-convert: wide.gif: the GROB would be 16,384 x 8,192"))
        << wide.err.toStdString();
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "kB";
}

// Photos come in upright in every form of the command line: a JPEG stored
// 240 x 159 with Exif orientation 6 is a 159 x 240 picture (fitted into
// 131 x 64: 42 x 64, where the stored one gives 97 x 64), in the modern
// form and the classic one; so are a PNG's eXIf and a TIFF's orientation
// (the renderer's), 3 x 2 stored, 2 x 3 upright. --keep-orientation gives
// the stored pictures.
TEST_F(Cli, PhotosComeInUpright) {
    write("photo.jpg", data("codecs-photo-orient6.jpg"));
    write("six.png", data("orientation-6.png"));
    write("turned.tiff", data("orientation-6.tiff"));
    // A GROB's width and height, from its 5-nibble fields after the prologue
    // and the length.
    auto size = [&](const QString& name) {
        const QByteArray g = read(name);
        if (g.size() < 18) return std::pair{-1, -1};
        auto nibbles = [&](int from) {
            int value = 0;
            for (int i = 4; i >= 0; --i) {
                const int at = from + i;
                const int byte = std::uint8_t(g[8 + at / 2]);
                value = value * 16 + (at % 2 ? byte >> 4 : byte & 15);
            }
            return value;
        };
        return std::pair{nibbles(15), nibbles(10)};
    };
    using Size = std::pair<int, int>;
    for (const bool keep : {false, true}) {
        QStringList args{"-q", "--kind", "gro", "photo.jpg", "six.png", "turned.tiff"};
        if (keep) args << "--keep-orientation";
        Outcome r = run(args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(size("photo.gro"), keep ? Size(240, 159) : Size(159, 240));
        EXPECT_EQ(size("six.gro"), keep ? Size(3, 2) : Size(2, 3));
        EXPECT_EQ(size("turned.gro"), keep ? Size(3, 2) : Size(2, 3));
        r = run(args << "--fit"
                     << "131x64"
                     << "-d"
                     << "fitted");
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(size("fitted/photo.gro"), keep ? Size(97, 64) : Size(42, 64));
        // Every page (the renderer's frames) alike.
        r = run(QStringList{"-q", "--kind", "gro", "--frames", "-d", "pages", "turned.tiff"} +
                args.filter("--keep-orientation"));
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(size("pages/turned-01.gro"), keep ? Size(3, 2) : Size(2, 3));
    }
    // The classic form: the picture's name and a kind.
    ASSERT_EQ(run({"photo.jpg", "-1"}).status, 0);
    EXPECT_EQ(size("photo.gro"), Size(159, 240));
}

// The JPEG, GIF and Exif libraries are opened when a picture needs them.
// Here each is a damaged file found first on the library path: a program
// that loaded them at its start would not start at all.
TEST_F(Cli, PictureLibrariesOpenedOnlyForThePicturesThatNeedThem) {
    write("photo.jpg", data("codecs-photo-orient6.jpg"));
    write("frames.gif", data("codecs-frames.gif"));
    write("six.png", data("orientation-6.png"));
    write("plain.png", Encode(Reference(), "PNG"));
    // The renderer's kinds: the metafile library needs the JPEG library
    // (for a WMF), so does Qt's TIFF reader; nothing else does.
    write("metafile.wmf", data("reference.wmf"));
    write("pages.tiff", data("two-pages.tiff"));
    write("enhanced.emf", data("reference.emf"));
    write("icon.ico", data("reference.ico"));
    QDir().mkpath(dir.filePath("broken"));
    for (const char* soname : {VELDAR_JPEG_SONAME, VELDAR_GIF_SONAME, VELDAR_EXIF_SONAME})
        write(QStringLiteral("broken/") + soname, "not a library");
    environment << "LD_LIBRARY_PATH=" + dir.filePath("broken");

    Outcome r = run({"--kind", "gro", "plain.png", "photo.jpg", "frames.gif", "six.png",
                     "metafile.wmf", "pages.tiff", "enhanced.emf", "icon.ico"});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_EQ(read("plain.gro"), Expected("gro", grob::Series::HP49));
    const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    auto said = [&](const QString& file, const QString& what, const char* soname) {
        return !lines
                    .filter(QRegularExpression(
                        "^veldar-convert: " + QRegularExpression::escape(file) + ": the " + what +
                        " library \\(" + QRegularExpression::escape(soname) +
                        "\\) cannot be opened: "))
                    .isEmpty();
    };
    EXPECT_TRUE(said("photo.jpg", "JPEG", VELDAR_JPEG_SONAME)) << r.err.toStdString();
    EXPECT_TRUE(said("frames.gif", "GIF", VELDAR_GIF_SONAME)) << r.err.toStdString();
    // A PNG needs the Exif library for its orientation only.
    EXPECT_TRUE(said("six.png", "Exif", VELDAR_EXIF_SONAME)) << r.err.toStdString();
    EXPECT_TRUE(said("metafile.wmf", "metafile", VELDAR_WMF_SONAME)) << r.err.toStdString();
    EXPECT_EQ(lines
                  .filter(QRegularExpression("^veldar-convert: pages.tiff: the reader of this kind "
                                             "\\(.*libqtiff.so\\) cannot be loaded: .*" +
                                             QRegularExpression::escape(VELDAR_JPEG_SONAME)))
                  .size(),
              1)
        << r.err.toStdString();
    for (const char* name : {"photo.gro", "frames.gro", "six.gro", "metafile.gro", "pages.gro"})
        EXPECT_FALSE(QFile::exists(dir.filePath(name))) << name;
    for (const char* name : {"enhanced.gro", "icon.gro"})
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name;
    // Every frame of a GIF, and a PNG kept as stored.
    r = run({"--kind", "gro", "--frames", "-d", "frames", "frames.gif"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("the GIF library")) << r.err.toStdString();
    r = run({"-q", "--kind", "gro", "--keep-orientation", "six.png"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("six.gro")));

    // Libraries that open but lack a function: each refused as it is opened,
    // in one line naming it and the function, none of its functions called.
    environment = QStringList{"LD_LIBRARY_PATH=" VELDAR_PARTIAL_LIBRARIES};
    for (const char* name : {"plain.gro", "six.gro"})
        QFile::remove(dir.filePath(name));
    r = run({"--kind", "gro", "plain.png", "photo.jpg", "frames.gif", "six.png"});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_EQ(read("plain.gro"), Expected("gro", grob::Series::HP49));
    for (const auto& [file, soname, function] :
         {std::tuple{"photo.jpg", VELDAR_JPEG_SONAME, "jpeg_resync_to_restart"},
          std::tuple{"frames.gif", VELDAR_GIF_SONAME, "GifErrorString"},
          std::tuple{"six.png", VELDAR_EXIF_SONAME, "exif_get_short"}})
        EXPECT_EQ(r.err.split('\n').filter(file).join('\n').toStdString(),
                  QString("veldar-convert: %1: the library %2 has no function %3")
                      .arg(file, soname, function)
                      .toStdString());
    for (const char* name : {"photo.gro", "frames.gro", "six.gro"})
        EXPECT_FALSE(QFile::exists(dir.filePath(name))) << name;
}

TEST_F(Cli, PipesAreNeverWaitedOn) {
    write("p.bmp", Encode(Reference(), "bmp"));
    const auto fifo = [&](const QString& name) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(name)).constData(), 0600), 0);
    };
    fifo("in.bmp");
    fifo("p.gro");
    fifo("win/ORBEX.ini");
    Outcome r = run({"in.bmp", "-1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("pipe")) << r.err.toStdString();
    r = run({"p.bmp", "-1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("p.gro") && r.err.contains("pipe")) << r.err.toStdString();
}

TEST_F(Cli, WithoutADisplayTheWindowAloneIsNoUse) {
    write("logo.bmp", Encode(Reference(), "bmp"));
    for (const QStringList& args :
         {QStringList{}, QStringList{"logo.bmp"}, QStringList{"logo.bmp", "-G16"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage:"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("win/ORBEX.ini")));
}

// The modern form: many pictures, no window.
TEST_F(Cli, ModernFormWritesTheClassicBytesForEveryKindAndSeries) {
    write("a.png", Encode(Reference(), "png"));
    write("b.bmp", Encode(Reference(), "bmp"));
    QDir().mkpath(dir.filePath("out"));
    for (const grob::OutputKind& kind : grob::OutputKinds()) {
        const QString extension =
            QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
        const QString option =
            QString::fromLatin1(kind.option.data(), qsizetype(kind.option.size()));
        for (const auto& [series, number] :
             {std::pair{grob::Series::HP48, "48"}, std::pair{grob::Series::HP49, "49"}}) {
            // The classic form, with the series saved in its settings file.
            write("win/ORBEX.ini", QByteArray("a\r\n0,0\r\nb\r\n6000,5000\r\nc\r\n") +
                                       (series == grob::Series::HP48 ? "#TRUE#" : "#FALSE#") +
                                       "\r\n");
            ASSERT_EQ(run({"a.png", option}).status, 0);
            const QByteArray classic = read("a." + extension);
            ASSERT_EQ(classic, Expected(kind.extension, series));
            // The modern form by name and by the classic spelling, both pictures at once.
            const Outcome r =
                run({"--kind", number == std::string("48") ? option : extension, "--series", number,
                     "--output-dir", "out", "--jobs", "2", "a.png", "b.bmp"});
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_EQ(read("out/a." + extension), classic);
            EXPECT_EQ(read("out/b." + extension), classic);
            // Standard input to standard output.
            QByteArray piped;
            EXPECT_EQ(run({"--kind", extension, "--series", number, "-"}, {},
                          Encode(Reference(), "bmp"), &piped)
                          .status,
                      0);
            EXPECT_EQ(piped, classic);
        }
    }
}

TEST_F(Cli, ModernFormReportsEachFailureAndGoesOn) {
    write("good.png", Encode(Reference(), "png"));
    write("bad.png", "not a picture");
    write("win/ORBEX.ini", "a\r\n0,0\r\nb\r\n6000,5000\r\nc\r\n#TRUE#\r\n");
    const QByteArray ini = read("win/ORBEX.ini");
    Outcome r = run({"--kind", "g16", "bad.png", "missing.png", "good.png"});
    EXPECT_EQ(r.status, 1);
    const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << r.err.toStdString(); // no progress bar off a terminal
    EXPECT_TRUE(r.err.contains("bad.png") && r.err.contains("missing.png"));
    EXPECT_EQ(read("good.g16"), Expected("g16", grob::Series::HP48)); // the saved series
    EXPECT_EQ(read("win/ORBEX.ini"), ini);                            // read, never written
    EXPECT_FALSE(QFile::exists(dir.filePath("bad.g16")));

    // Two pictures that would write one file: the second is refused.
    write("sub/good.bmp", Encode(Reference(), "bmp"));
    r = run({"--kind", "gro", "--output-dir", ".", "good.png", "sub/good.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("sub/good.bmp")) << r.err.toStdString();
    QFile::remove(dir.filePath("good.gro"));

    // Usage errors: 2, and nothing converted.
    for (const QStringList& args :
         {QStringList{"--kind", "gro3", "good.png"}, QStringList{"--kind", "gro"},
          QStringList{"--kind", "gro", "--series", "50", "good.png"},
          QStringList{"--kind", "gro", "--jobs", "0", "good.png"},
          QStringList{"--frobnicate", "good.png"}, QStringList{"good.png", "--kind"},
          QStringList{"--kind", "gro", "-", "good.png"}})
        EXPECT_EQ(run(args).status, 2) << args.join(' ').toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("good.gro")));
    QByteArray help;
    EXPECT_EQ(run({"--help"}, {}, {}, &help).status, 0);
    EXPECT_TRUE(help.contains("--kind") && help.contains("g32"));
}

// Before any work, every output is compared with every picture and every
// other output of the run, and the sizes are worked out from the picture's
// size and the options: each refusal is one line naming the files, and
// nothing is replaced.
TEST_F(Cli, RefusedBeforeAnyWork) {
    const QByteArray png = Encode(Reference(), "png");
    for (const char* name : {"pic.png", "g2.png", "a/x.png", "pic.bmp"})
        write(name, png);
    write("b/x.jpg", Encode(Reference(), "jpeg"));
    write("one.png", Encode(QImage(1, 1, QImage::Format_RGB32), "png"));
    // Headers that claim 20000 x 20000 and 8000 x 6000 pixels over a tiny picture.
    write("huge.png", testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/huge.png")));
    write("huge.jpg", testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/huge.jpg")));
    QImage tall(1, 4096, QImage::Format_RGB32);
    tall.fill(Qt::black);
    write("tall.png", Encode(tall, "png"));
    QDir().mkpath(dir.filePath("DIR"));
    ASSERT_TRUE(QFile::link(".", dir.filePath("same")));
    // Other paths to a picture: another name of it (a hard link), a folder linked to its own.
    ASSERT_EQ(::link(qPrintable(dir.filePath("a/x.png")), qPrintable(dir.filePath("x.gro"))), 0);
    ASSERT_TRUE(QFile::link("a", dir.filePath("via")));
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"--preview", ".", "pic.png"},
         "./pic.png: the preview of pic.png would replace the picture itself"},
        {{"--preview", "g2.png", "g2.png"},
         "g2.png: the preview of g2.png would replace the picture itself"},
        {{"--preview", "DIR", "a/x.png", "b/x.jpg"},
         "DIR/x.png: the preview of b/x.jpg would replace the preview of a/x.png"},
        {{"--preview", "g2.gro", "g2.png"},
         "g2.gro: the preview of g2.png would replace the GROB of g2.png"},
        {{"huge.png"},
         "huge.png: the picture is 20000 x 20000 pixels; at most 16384 x 16384 and 32 million "
         "pixels are accepted"},
        {{"huge.jpg", "--fit", "131x64"},
         "huge.jpg: the picture is 8000 x 6000 pixels; at most 16384 x 16384 and 32 million "
         "pixels are accepted"},
        {{"pic.png", "same/pic.bmp"},
         "same/pic.gro: the GROB of same/pic.bmp would replace the GROB of pic.png"},
        {{"-d", ".", "a/x.png"}, "./x.gro: it is the picture itself; it is not replaced"},
        {{"-o", "via/x.png", "a/x.png"}, "via/x.png: it is the picture itself; it is not replaced"},
        {{"--preview", "pic.bmp", "pic.png", "g2.png"}, "pic.bmp: it is not a folder"},
        {{"--preview", "nodir/view.png", "pic.png"}, "nodir/view.png: No such file or directory"},
        // 48 x 32 enlarged 125 times: 6000 / 8 x 4000 bytes; 1 x 1 enlarged 16384 times.
        {{"--fit", "6000x6000", "--upscale", "pic.png"},
         "pic.png: the GROB would be 6,000 x 4,000 dots, a body of 3,000,000 bytes; a GROB holds "
         "at most 524,280: fit it to the screen with --fit 131x64"},
        {{"--fit", "16384x16384", "--upscale", "one.png"},
         "one.png: enlarged to fit, the picture would be 16,384 x 16,384 pixels; at most 16,384 on "
         "a side and 32 million pixels"},
        // 2,104 x 65,544 preview pixels at zoom 16; 663 x 20,488 at zoom 5.
        {{"--zoom", "16", "--preview", "v.png", "tall.png"},
         "tall.png: at zoom 16 the preview would be 2,104 x 65,544 pixels; at most 16,777,216 are "
         "drawn: use --zoom 5 or lower"},
        // 48 x 32 enlarged 41 times is 1,968 x 1,312: a GROB, but no preview at zoom 16.
        {{"--fit", "2000x1500", "--upscale", "--oversize", "--zoom", "16", "--preview", "v.png",
          "pic.png"},
         "pic.png: at zoom 16 the preview would be 31,496 x 21,000 pixels; at most 16,777,216 are "
         "drawn: use --zoom 2 or lower"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(QStringList{"--kind", "gro"} + c.args);
        EXPECT_EQ(r.status, 1) << c.says;
        EXPECT_TRUE(r.err.contains("veldar-convert: " + QLatin1String(c.says)))
            << r.err.toStdString();
        for (const char* name : {"pic.png", "g2.png", "a/x.png", "pic.bmp"})
            EXPECT_EQ(read(name), png) << c.says;
        QFile::remove(dir.filePath("pic.gro"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("v.png")) || QFile::exists(dir.filePath("g2.gro")));
    // Refused from sizes, not after making them: no run came near the memory
    // a 6000 x 4000 picture or a 32000 x 24000 preview takes.
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "kB";
}

TEST_F(Cli, PreparedForTheScreenWithPreviews) {
    QImage photo(1024, 512, QImage::Format_RGB32);
    photo.fill(qRgb(90, 120, 150));
    write("photo.png", Encode(photo, "png"));
    write("small.png", Encode(Reference(), "png"));
    const Outcome r =
        run({"--kind", "g16", "--fit", "131x64", "--upscale", "--dither", "floyd-steinberg",
             "--contrast", "20", "--preview", "views", "--zoom", "3", "photo.png", "small.png"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray g16 = read("photo.g16");
    ASSERT_EQ(g16.size(), 18 + 16 * 64 * 4); // 128 x 64, four frames
    const QByteArray small = read("small.g16");
    EXPECT_EQ(small.size(), 18 + 12 * 64 * 4); // 48 x 32 doubled: 96 x 64
    // The screens at zoom 3 and a margin of 4 pixels for their outlines.
    EXPECT_EQ(QImage(dir.filePath("views/photo.png")).size(), QSize(3 * 131 + 8, 3 * 80 + 8));
    EXPECT_TRUE(QFile::exists(dir.filePath("views/small.png")));
    // Filled and padded, from the file as it is decoded (tests/prepare_test.cpp
    // works out the same dots): a 4 x 8 picture, rows 0 and 3 black.
    QImage tall(4, 8, QImage::Format_RGB32);
    tall.fill(Qt::white);
    for (int x = 0; x < 4; ++x)
        tall.setPixel(x, 0, qRgb(0, 0, 0)), tall.setPixel(x, 3, qRgb(0, 0, 0));
    write("tall.png", Encode(tall, "png"));
    for (const auto& [args, text] :
         {std::pair{QStringList{"--fit", "4x4", "--fit-mode", "fill"}, "GROB 4 4 0FFF0F0F\r\n"},
          {QStringList{"--fit", "4x4", "--fit-mode", "fill", "--anchor", "top"},
           "GROB 4 4 FF0F0FFF\r\n"},
          {QStringList{"--fit", "8x8", "--fit-mode", "pad", "--background", "0"},
           "GROB 8 8 FF3C3CFF3C3C3C3C\r\n"}}) {
        QByteArray out;
        const Outcome made =
            run(QStringList{"--kind", "gro", "--text", "--bare", "-o", "-", "tall.png"} + args, {},
                {}, &out);
        EXPECT_EQ(out, QByteArray(text)) << args.join(' ').toStdString() << made.err.toStdString();
    }
    // White at opacity 128 and 0 over black: grays 128 (255 x 128 / 255,
    // rounded) and 0, 4-bit levels 7 and 15; over white, both white.
    QImage clear(2, 1, QImage::Format_ARGB32);
    clear.setPixel(0, 0, qRgba(255, 255, 255, 128));
    clear.setPixel(1, 0, qRgba(255, 255, 255, 0));
    write("clear.png", Encode(clear, "png"));
    // The same fitted (the picture then comes whole, its opacity with it).
    for (const auto& [args, text] :
         {std::pair{QStringList{"--background", "255"}, "GROB 8 1 00\r\n"},
          {QStringList{"--background", "0"}, "GROB 8 1 7F\r\n"},
          {QStringList{"--background", "0", "--fit", "2x1"}, "GROB 8 1 7F\r\n"}}) {
        QByteArray out;
        run(QStringList{"--kind", "gro4", "--text", "--bare", "-o", "-", "clear.png"} + args, {},
            {}, &out);
        EXPECT_EQ(out, QByteArray(text)) << args.join(' ').toStdString();
    }
}

// Turned, then fitted to the turned picture's box while the PNG is decoded:
// the black left half of a 256 x 128 picture on top of a 64 x 128 GROB
// (8 bytes a row, 0xFF a black row), or below when also mirrored top to
// bottom; a JPEG, fitted while decoded at half its size, alike.
TEST_F(Cli, TurnedAndMirroredBeforeTheFit) {
    QImage halves(256, 128, QImage::Format_RGB32);
    halves.fill(Qt::white);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            halves.setPixel(x, y, qRgb(0, 0, 0));
    write("halves.png", Encode(halves, "png"));
    write("halves.jpg", Encode(halves, "jpg"));
    for (const char* picture : {"halves.png", "halves.jpg"})
        for (const bool mirrored : {false, true}) {
            QStringList args{"--kind", "gro", "--rotate", "90",   "--fit",
                             "64x131", "-o",  "t.gro",    picture};
            if (mirrored)
                args << "--flip"
                     << "vertical";
            const Outcome r = run(args);
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
            const QByteArray grob = read("t.gro");
            ASSERT_EQ(grob.size(), 18 + 8 * 128) << picture;
            for (const int row : {0, 30, 60, 67, 97, 127}) {
                const bool black = (row < 64) != mirrored;
                EXPECT_EQ(grob.mid(18 + 8 * row, 8), QByteArray(8, black ? '\xff' : '\0'))
                    << picture << " row " << row << (mirrored ? " mirrored" : "");
            }
        }
    // Cropped first: the middle half, black on its left, fitted to 64 x 64
    // (4 bytes of black and 4 of white a row); cut into tiles, the crop's
    // left half black, its right half white; a crop outside is refused.
    ASSERT_EQ(run({"--kind", "gro", "--crop", "128x128+64+0", "--fit", "64x64", "-o", "c.gro",
                   "halves.jpg"})
                  .status,
              0);
    const QByteArray cropped = read("c.gro");
    ASSERT_EQ(cropped.size(), 18 + 8 * 64);
    for (const int row : {0, 33, 63})
        EXPECT_EQ(cropped.mid(18 + 8 * row, 8), QByteArray(4, '\xff') + QByteArray(4, '\0'));
    ASSERT_EQ(run({"--kind", "gro", "--crop", "128x128+64+0", "--tile", "64x128", "-d", "tiles",
                   "halves.png"})
                  .status,
              0);
    EXPECT_EQ(read("tiles/halves-01.gro").mid(18), QByteArray(8 * 128, '\xff'));
    EXPECT_EQ(read("tiles/halves-02.gro").mid(18), QByteArray(8 * 128, '\0'));
    const Outcome outside = run({"--kind", "gro", "--crop", "8x8+256+0", "halves.png"});
    EXPECT_EQ(outside.status, 1);
    EXPECT_TRUE(outside.err.contains("halves.png: the crop 8x8+256+0 lies outside the picture"))
        << outside.err.toStdString();

    // The threshold is the 1-bit kind's, without dithering (even the plain one).
    EXPECT_EQ(run({"--kind", "g16", "--threshold", "128", "halves.png"}).status, 2);
    const Outcome dithered =
        run({"--kind", "gro", "--threshold", "90", "--dither", "atkinson", "halves.png"});
    EXPECT_EQ(dithered.status, 2);
    EXPECT_TRUE(dithered.err.contains("--threshold")) << dithered.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("halves.gro")));
}

TEST_F(Cli, GrobsReadBackAsPicturesAndText) {
    write("p.bmp", Encode(Reference(), "bmp"));
    for (const char* dirName : {"png", "text", "again"})
        QDir().mkpath(dir.filePath(dirName));
    for (const grob::OutputKind& kind : grob::OutputKinds()) {
        const QString ext =
            QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
        const QString series = kind.depth == 2 ? "48" : "49";
        ASSERT_EQ(run({"--kind", ext, "--series", series, "p.bmp"}).status, 0);
        const QByteArray grob = read("p." + ext);
        // GROB -> PNG -> the same kind: the same bytes.
        EXPECT_EQ(run({"--to", "png", "--output-dir", "png", "p." + ext}).status, 0);
        // In the fewest bits that hold its shades (IHDR's depth and colour
        // type): a 1-bit GROB a 1-bit gray PNG; the others a few grays or
        // a palette of them, never RGB.
        const QByteArray png = read("png/p.png");
        ASSERT_GT(png.size(), 26);
        if (ext == "gro") {
            EXPECT_EQ(png.mid(24, 2), QByteArray("\x01\x00", 2));
        }
        EXPECT_NE(int(png[25]), 2) << ext.toStdString();
        EXPECT_EQ(
            run({"--kind", ext, "--series", series, "--output-dir", "again", "png/p.png"}).status,
            0);
        EXPECT_EQ(read("again/p." + ext), grob) << ext.toStdString();
        // Binary -> text -> binary.
        EXPECT_EQ(
            run({"--kind", ext, "--series", series, "--text", "--output-dir", "text", "p." + ext})
                .status,
            0);
        EXPECT_TRUE(read("text/p." + ext).startsWith("%%HP: T(3)A(R)F(.);\r\nGROB "));
        EXPECT_EQ(run({"--kind", ext, "--series", series, "--output-dir", "again", "text/p." + ext})
                      .status,
                  0);
        EXPECT_EQ(read("again/p." + ext), grob) << ext.toStdString();
    }
    // A PNG written over a file that was there says so (not with -q); a GROB made again does not.
    EXPECT_EQ(run({"--to", "png", "p.g16"}).err, "");
    EXPECT_EQ(run({"--to", "png", "p.g16"}).err,
              "veldar-convert: p.png: replaced the file that was there\n");
    EXPECT_EQ(run({"--to", "png", "-q", "p.g16"}).err + run({"--kind", "g16", "p.bmp"}).err, "");
    // Never its own input; a damaged GROB says what is wrong with it.
    Outcome r = run({"--kind", "g16", "p.g16"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("itself")) << r.err.toStdString();
    write("cut.g16", read("p.g16").chopped(3));
    r = run({"--to", "png", "cut.g16"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("cut.g16") && r.err.contains("cut short")) << r.err.toStdString();
}

// GROBs as other programs and other systems leave them: upper-case names,
// the HP 48 header, transfer padding, pictures that merely mention a GROB,
// empty GROBs; and a GROB shown in its true shades converts to itself again,
// whatever the dithering.
TEST_F(Cli, GrobsAsOtherPlacesHaveThem) {
    write("p.bmp", Encode(Reference(), "bmp"));
    ASSERT_EQ(run({"--kind", "g16", "--series", "48", "p.bmp"}).status, 0);
    const QByteArray g16 = read("p.g16");
    write("UPPER.G16", g16);
    ASSERT_EQ(run({"--kind", "g16", "--output-dir", "again", "UPPER.G16"}).status, 0);
    EXPECT_EQ(read("again/UPPER.g16"), g16); // a g16 whatever the case, and still HP 48
    for (const char* dither : {"floyd-steinberg", "ordered", "atkinson"}) {
        ASSERT_EQ(
            run({"--kind", "g16", "--dither", dither, "--output-dir", "dithered", "p.g16"}).status,
            0);
        EXPECT_EQ(read("dithered/p.g16"), g16) << dither;
    }
    ASSERT_EQ(run({"--kind", "gro", "p.bmp"}).status, 0);
    ASSERT_EQ(run({"--to", "png", "p.gro"}).status, 0);
    const QImage shades = QImage(dir.filePath("p.png")).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < shades.height(); ++y)
        for (int x = 0; x < shades.width(); ++x)
            ASSERT_TRUE(shades.pixel(x, y) == qRgb(0, 0, 0) ||
                        shades.pixel(x, y) == qRgb(255, 255, 255));

    // Padded as a transfer leaves it; a netpbm picture and an SVG whose
    // comments mention a GROB are pictures; an empty GROB says so.
    write("padded.gro", testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/xmodem-9x6.gro")));
    write("comment.pbm", "P1\n# GROB 8 2 FF00\n2 2\n1 0\n0 1\n");
    write("mention.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='2'><!-- GROB 8 "
                         "1 FF --><rect width='2' height='2'/></svg>");
    write("empty.gro", "GROB 8 0\r\n");
    const Outcome r = run({"--to", "png", "--output-dir", "png", "padded.gro", "comment.pbm",
                           "mention.svg", "empty.gro"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err.trimmed(),
        "veldar-convert: empty.gro: the GROB is empty (8 x 0 dots): there is no picture in it");
    EXPECT_EQ(QImage(dir.filePath("png/padded.png")).size(), QSize(9, 6));
    EXPECT_EQ(QImage(dir.filePath("png/comment.png")).size(), QSize(2, 2));
    EXPECT_EQ(QImage(dir.filePath("png/comment.png")).pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(QImage(dir.filePath("png/comment.png")).pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(QImage(dir.filePath("png/mention.png")).size(), QSize(4, 2));
}

// The modern form as terminal users expect it: short options, -o, the
// classic kind after a picture, and no option ever dropped unsaid.
TEST_F(Cli, ModernFormConventions) {
    write("a.png", Encode(Reference(), "png"));
    write("b.png", Encode(Reference(), "png"));
    write("file", "not a folder");
    const QByteArray gro = Expected("gro", grob::Series::HP49); // 18 + 6 x 32 bytes
    // A "--" option makes the classic line modern: fitted (24 x 16: 3 bytes a
    // row, 4 frames of 16 rows), not converted as if --fit were not there.
    Outcome r = run({"a.png", "-g16", "--fit", "24x16"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(read("a.g16").size(), 18 + 3 * 16 * 4);
    // -o, -o - and -v: one line for each file written, never mixed into the GROB.
    QByteArray out;
    EXPECT_EQ(run({"-qkgro", "-onamed.gro", "a.png"}).status, 0);
    EXPECT_EQ(run({"-v", "-k", "gro", "-o", "named.gro", "a.png"}, {}, {}, &out).status, 0);
    EXPECT_EQ(read("named.gro"), gro);
    EXPECT_EQ(out, "a.png -> named.gro, 210 bytes\n");
    r = run({"-v", "-k", "-1", "-o", "-", "b.png"}, {}, {}, &out);
    EXPECT_EQ(out, gro);
    EXPECT_TRUE(r.err.startsWith("b.png -> -, 210 bytes\nveldar-convert: 1 converted, 0 failed, "))
        << r.err.toStdString();
    EXPECT_EQ(run({"-V"}, {}, {}, &out).status, 0);
    EXPECT_TRUE(out.startsWith("veldar-convert ")) << out.toStdString();
    // The output folder is made with its parents; a file in its place is one line.
    EXPECT_EQ(run({"-k", "gro", "-d", "new/sub", "a.png"}).status, 0);
    EXPECT_EQ(read("new/sub/a.gro"), gro);
    r = run({"-k", "gro", "-d", "file", "a.png", "b.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "veldar-convert: file: it is not a folder\n");

    // Usage errors: 2, the reason in the program's words, then the hint.
    const struct {
        QStringList args;
        const char* says;
    } refusals[] = {
        {{"--zoom", "3", "a.png"}, "--zoom sets the previews' zoom: it goes with --preview"},
        {{"--zoom", "2.7", "--preview", "v.png", "a.png"}, "--zoom takes a whole number from 1"},
        {{"--to", "png", "--fit", "131x64", "b.png"}, "--to png writes each picture as it is"},
        {{"--to", "png", "-g16", "b.png"}, "--to png writes a PNG, not a GROB: --kind"},
        {{"--kind", "a.png"}, "--kind needs a kind (gro, gro2, "},
        {{"--kind", "gro", "--kind", "g16", "a.png"}, "--kind is given twice"},
        {{"a.png", "-g16", "--kind", "gro"}, "--kind is given twice"},
        {{"-k", "gro", "-o", "x.gro", "a.png", "b.png"},
         "-o names the output of one picture: with several"},
        {{"-k", "gro", "-o", "x.gro", "-d", "new", "a.png"},
         "-o names the output file itself: no --output-dir"},
        {{"--fit", "16385x10", "a.png"}, "--fit takes WIDTHxHEIGHT, each from 1 to 16384"},
        {{"--frob", "a.png"}, "unknown option --frob"},
        {{"-k", "gro", "-x", "a.png"}, "unknown option -x"},
        {{"a.png", "--kind"}, "--kind needs a kind"},
        {{"--quiet=yes", "a.png"}, "--quiet takes no value"},
    };
    for (const auto& c : refusals) {
        QStringList args = c.args;
        if (!args.contains("--kind") && !args.contains("--to") && !args.contains("-k"))
            args.prepend("--kind=gro");
        r = run(args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_TRUE(r.err.startsWith("veldar-convert: " + QLatin1String(c.says)) &&
                    r.err.endsWith("\nTry 'veldar-convert --help'.\n"))
            << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("a.gro")) || QFile::exists(dir.filePath("x.gro")));
    ASSERT_EQ(run({"--help"}, {}, {}, &out).status, 0);
    for (const QByteArray& line : out.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

// Every number of the table: either end is taken, and a text that is none
// of its values is refused before any work (2, a line naming the option and
// the text), so that a new numeric option is tried here as it comes.
TEST_F(Cli, NumbersOutsideTheirRangesRefused) {
    write("a.png", Encode(Reference(), "png"));
    for (const grob::OptionEntry& option : grob::Options()) {
        if (!testing_util::Numeric(option)) continue;
        const QString name =
            "--" + QString::fromLatin1(option.name.data(), qsizetype(option.name.size()));
        // With what its requirements ask for, and theirs, as the table says them.
        QStringList needed{"--kind=gro"};
        bool sends = false; // accepted, then not sent: there is no calculator
        std::function<void(const grob::OptionEntry&)> need = [&](const grob::OptionEntry& of) {
            for (const grob::Requirement& r : of.needs) {
                const grob::OptionEntry& other = *grob::FindOption(r.option);
                const QString given =
                    "--" + QString::fromLatin1(other.name.data(), qsizetype(other.name.size()));
                if (r.unless) continue;
                if (other.type == grob::OptionType::Flag) needed << given;
                if (other.type == grob::OptionType::Path) needed << given + "=v.png";
                if (other.type == grob::OptionType::Size) needed << given + "=131x64";
                if (other.type == grob::OptionType::Choice && !r.values.empty())
                    needed << given + '=' + QString::fromLatin1(r.values[0].data());
                sends = sends || other.name == "send";
                need(other);
            }
        };
        need(option);
        const auto with = [&](const std::string& value) {
            return needed + QStringList{name + '=' + QString::fromStdString(value), "a.png"};
        };
        for (const double end : {option.minimum, option.maximum})
            EXPECT_EQ(run(with(grob::FormatNumber(end))).status, sends ? 1 : 0)
                << option.name << ' ' << end;
        QFile::remove(dir.filePath("a.gro"));
        for (const std::string& value : testing_util::NotValues(option)) {
            const Outcome r = run(with(value));
            EXPECT_EQ(r.status, 2) << option.name << ' ' << value;
            EXPECT_TRUE(r.err.startsWith("veldar-convert: " + name + " takes ") &&
                        r.err.contains(QString::fromStdString('"' + value + '"')))
                << r.err.toStdString();
        }
        EXPECT_FALSE(QFile::exists(dir.filePath("a.gro"))) << option.name;
    }
}

// On a terminal of 80 columns: the bar never reaches the last column (so it
// never wraps), names are shortened in the middle, and at the end only the
// failure lines and the summary are left.
TEST_F(Cli, ProgressBarFitsTheTerminal) {
    if (QStandardPaths::findExecutable("script").isEmpty()) GTEST_SKIP() << "no script(1)";
    const QString folder = "a-folder-with-a-rather-long-name/and-another-one-below-it";
    QStringList names;
    for (int i = 0; i < 12; ++i)
        names << write(folder + QStringLiteral("/sprite-%1-of-the-title-screen.png").arg(i),
                       Encode(Reference(), "png"));
    names << "missing.png";
    // What the terminal shows of a run started by `start` in it.
    auto onTerminal = [&](const QString& start) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start("script", {"-qec",
                                 start + " exec " + QStringLiteral(VELDAR_PROGRAM) +
                                     " --kind g16 -j 1 " + names.join(' '),
                                 "/dev/null"});
        EXPECT_TRUE(process.waitForFinished(60000));
        return process.readAllStandardOutput();
    };
    const QByteArray shown = onTerminal("stty cols 80 rows 20;");
    // The terminal's lines as a plain terminal keeps them.
    QList<QByteArray> screen{{}};
    qsizetype column = 0, widest = 0;
    bool barDrawn = false;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char c = shown[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            screen.append(QByteArray());
            column = 0;
        } else if (c == '\033' && shown.mid(i, 3) == "\033[K") {
            screen.last().truncate(column);
            i += 2;
        } else {
            screen.last().resize(std::max(screen.last().size(), column + 1), ' ');
            screen.last()[column++] = c;
            widest = std::max(widest, column);
            barDrawn |= c == '#';
        }
    }
    EXPECT_TRUE(barDrawn) << shown.toStdString();
    EXPECT_LT(widest, 80) << shown.toStdString();
    screen.removeAll(QByteArray());
    ASSERT_EQ(screen.size(), 2) << shown.toStdString();
    EXPECT_EQ(screen[0], "veldar-convert: missing.png: no such file");
    EXPECT_TRUE(screen[1].startsWith("veldar-convert: 12 converted, 1 failed, "))
        << screen[1].toStdString();
    // A dumb terminal (an editor's shell buffer) gets the lines, no escapes.
    const QByteArray dumb = onTerminal("TERM=dumb");
    EXPECT_TRUE(dumb.contains("missing.png: no such file") && !dumb.contains('\033'))
        << dumb.toStdString();
}

// Each of these ends as a converted picture or one clear line and a
// non-zero exit: names that are not UTF-8 or hold terminal escapes, closed
// standard streams, a folder that cannot be read, no thread to be had.
TEST_F(Cli, NoCrashNoHangNoSilentAbort) {
    write("a.png", Encode(Reference(), "png"));
    write("win/ORBEX.ini", "a\r\n0,0\r\nb\r\n6000,5000\r\nc\r\n#FALSE#\r\n");
    const QByteArray gro = Expected("gro", grob::Series::HP49);
    // "lat\351.png" (Latin-1), under locales with and without UTF-8, both forms.
    const QByteArray latin = QFile::encodeName(dir.path()) + "/lat\351";
    for (const char* locale : {"C", "C.UTF-8"}) {
        ASSERT_TRUE(QFile::copy(dir.filePath("a.png"), dir.filePath("copy")));
        ASSERT_EQ(::rename(QFile::encodeName(dir.filePath("copy")), latin + ".png"), 0);
        const QString name = QStringLiteral("export LC_ALL=%1; name=$(printf 'lat\\351.png'); ")
                                 .arg(QLatin1String(locale));
        Outcome r = run({}, name + "set -- --kind gro2 \"$name\"");
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        r = run({}, name + "set -- \"$name\" -1");
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(::access(latin + ".gro", F_OK) | ::access(latin + ".gro2", F_OK), 0);
        // Numbered files keep the name's bytes too (48 x 32: three tiles).
        r = run({}, name + "set -- --kind gro --tile 16x32 \"$name\"");
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(::access(latin + "-03.gro", F_OK), 0);
        for (const char* tile : {"-01.gro", "-02.gro", "-03.gro"})
            ::unlink(latin + tile);
        // Missing, it is named with the byte escaped, as is a terminal escape.
        for (const char* extension : {".png", ".gro", ".gro2"}) // Qt could not remove them
            ::unlink(latin + extension);
        r = run({}, name + "set -- -j1 -kgro \"$name\" \"$(printf 'x\\033[2J.png')\"");
        EXPECT_EQ(r.err, "veldar-convert: lat\\351.png: no such file\n"
                         "veldar-convert: x\\033[2J.png: no such file\n");
    }
    // Closed standard streams, a full one: said, never a stray descriptor's error.
    EXPECT_EQ(run({"--kind", "gro", "-"}, "exec 0<&-").err,
              "veldar-convert: -: standard input is closed\n");
    EXPECT_EQ(run({"--kind", "gro", "-"}, "exec 1>&-", Encode(Reference(), "png")).err,
              "veldar-convert: -: standard output is closed\n");
    for (const char* redirect : {"exec 1>&-", "exec 1>/dev/full"})
        EXPECT_EQ(run({"--help"}, redirect).status, 1) << redirect;
    // The lines of -v lost on a full disk: a failure, said on standard error.
    Outcome full = run({"-v", "--kind", "gro", "-d", "v", "a.png"}, "exec 1>/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(full.err.contains("standard output")) << full.err.toStdString();
    // As many jobs as asked for, within reason: a few hundred tiny pictures.
    QStringList many = {"-q", "--kind", "gro", "--jobs", "10000", "-d", "out"};
    for (int i = 0; i < 300; ++i)
        many << write(QStringLiteral("many/%1.png").arg(i),
                      Encode(QImage(1, 1, QImage::Format_RGB32), "png"));
    EXPECT_EQ(run(many).status, 0);
    EXPECT_EQ(QDir(dir.filePath("out")).entryList(QDir::Files).size(), 300);

    // A user other than root: a folder that can be written but not read, and
    // no thread to be had (a limit of one process for the user).
    QStringList asUser;
    if (::getuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty()) GTEST_SKIP() << "no setpriv";
        asUser = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
        ::chmod(QFile::encodeName(dir.path()), 0777);
    }
    for (const char* folder : {"wo", "np", "ro"}) {
        ASSERT_TRUE(QDir(dir.path()).mkdir(folder));
        ::chmod(QFile::encodeName(dir.filePath(folder)), folder == std::string("wo")   ? 0333
                                                         : folder == std::string("ro") ? 0555
                                                                                       : 0777);
    }
    launcher = asUser;
    // A folder no file can be made in: said once, before any work.
    Outcome ro = run({"--kind", "gro", "-d", "ro", "a.png", "b.png", "a.png"});
    EXPECT_EQ(ro.status, 1);
    EXPECT_EQ(ro.err, "veldar-convert: ro: Permission denied\n");
    Outcome r = run({"--kind", "gro", "-d", "wo", "a.png"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(read("wo/a.gro"), gro);
    // A file is replaced only where its user may write it: by the owner's
    // write bit for one's own, by what the system says for another's.
    const passwd* nobody = ::getpwnam("nobody");
    const bool other = !asUser.isEmpty() && nobody;
    auto file = [&](const char* name, mode_t mode, bool own) {
        const QByteArray path = QFile::encodeName(write(name, "old"));
        if (other && own) {
            EXPECT_EQ(::chown(path, nobody->pw_uid, nobody->pw_gid), 0);
        }
        ::chmod(path, mode);
    };
    file("np/own.gro", 0644, true);
    file("np/locked.gro", 0444, true);
    if (other) {
        file("np/theirs.gro", 0646, false);
        file("np/their-locked.gro", 0664, false);
    }
    for (const auto& [name, replaced] :
         std::vector<std::pair<QString, bool>>{{"np/own.gro", true},
                                               {"np/locked.gro", false},
                                               {"np/theirs.gro", true},
                                               {"np/their-locked.gro", false}}) {
        if (!QFile::exists(dir.filePath(name))) continue;
        r = run({"--kind", "gro", "-o", name, "a.png"});
        EXPECT_EQ(r.status, replaced ? 0 : 1) << name.toStdString() << r.err.toStdString();
        EXPECT_EQ(read(name), replaced ? gro : QByteArray("old")) << name.toStdString();
        if (!replaced) {
            EXPECT_TRUE(r.err.contains("Permission denied")) << r.err.toStdString();
        }
    }
    launcher = asUser + QStringList{"prlimit", "--nproc=1", "--"};
    write("b.png", Encode(Reference(), "png"));
    r = run({"--kind", "gro", "--jobs", "4", "-d", "np", "a.png", "b.png"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(read("np/a.gro"), gro);
    EXPECT_EQ(read("np/b.gro"), gro);
    ::chmod(QFile::encodeName(dir.filePath("wo")), 0700);
}

// A process's state letter and its parent, from /proc; state 0 when it is gone.
std::pair<char, pid_t> StateOf(pid_t pid, QByteArray* name = nullptr) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return {0, 0};
    const QByteArray text = stat.readAll();
    const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
    if (open < 0 || close < 0) return {0, 0};
    if (name) *name = text.mid(open + 1, close - open - 1);
    const QList<QByteArray> rest = text.mid(close + 2).split(' ');
    return {rest.value(0).isEmpty() ? '?' : rest[0][0], pid_t(rest.value(1).toInt())};
}

pid_t ChildNamed(pid_t parent, const QByteArray& wanted) {
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QByteArray name;
        const pid_t pid = pid_t(entry.toInt());
        if (pid > 0 && StateOf(pid, &name).second == parent && name == wanted) return pid;
    }
    return 0;
}

// The picture renderer ends with the program, however that ends (SIGKILL
// here, which nothing can catch), even in the middle of a long drawing.
TEST_F(Cli, TheRendererEndsWithTheProgram) {
    QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='4000' height='4000'>";
    for (int i = 0; i < 300; ++i) // some seconds of drawing
        svg += "<circle cx='2000' cy='2000' r='1990' fill='red' fill-opacity='0.5' stroke='blue' "
               "stroke-width='40' stroke-dasharray='3 5'/>";
    write("slow.svg", svg + "</svg>");
    QProcess process;
    prepare(process);
    process.start(program, {"--kind", "gro", "--fit", "131x64", "slow.svg"});
    ASSERT_TRUE(process.waitForStarted());
    const pid_t converter = pid_t(process.processId());
    pid_t renderer = 0;
    QElapsedTimer clock;
    for (clock.start(); !renderer && clock.elapsed() < 30000; QThread::msleep(10))
        renderer = ChildNamed(converter, "veldar-render");
    ASSERT_NE(renderer, 0) << "no renderer seen";
    ::kill(converter, SIGKILL);
    process.waitForFinished();
    // Gone, or dead and waiting to be reaped by its new parent.
    char state = StateOf(renderer).first;
    for (clock.start(); state && state != 'Z' && clock.elapsed() < 5000; QThread::msleep(20))
        state = StateOf(renderer).first;
    EXPECT_TRUE(state == 0 || state == 'Z') << "the renderer still runs: " << state;
    if (state && state != 'Z') ::kill(renderer, SIGKILL);
}

// Under a memory limit for the whole program (ulimit -v), the renderer has
// what the program may have: a picture that needs more is one line that says
// how much there was, and the rest of the run goes on; with more, it is drawn.
TEST_F(Cli, TheRendererWithinTheProgramsMemoryLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "no address-space limit under the sanitizer";
#endif
    write("large.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='8000' height='4000'>"
                       "<rect width='8000' height='4000' fill='red'/></svg>"); // 128 MiB drawn
    write("small.png", Encode(Reference(), "png"));
    const QStringList args{"-q", "--kind", "gro", "--fit", "131x64", "large.svg", "small.png"};
    Outcome r = run(args, "ulimit -v 200000");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "veldar-convert: large.svg: the picture needs more memory than 195 MB to draw\n");
    EXPECT_EQ(read("small.gro").size(), 3 * 64 + 18); // fitted to 96 x 64
    r = run(args, "ulimit -v 400000");
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(read("large.gro").size(), 16 * 64 + 18); // 128 x 64
    // Threads' stacks as large as the stack limit (1 GiB) fit in no
    // renderer's address space: a thread that Qt's scaling would wait for
    // cannot start, which is said as the memory lacking, never waited for.
    QImage blue(512, 512, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    write("scaled.svg", "<svg xmlns='http://www.w3.org/2000/svg' "
                        "xmlns:xlink='http://www.w3.org/1999/xlink' width='300' height='300'>"
                        "<image width='300' height='300' xlink:href='data:image/png;base64," +
                            Encode(blue, "png").toBase64() + "'/></svg>");
    r = run({"-q", "--kind", "gro", "scaled.svg", "small.png"}, "ulimit -s 1048576");
    EXPECT_EQ(r.err.toStdString(),
              "veldar-convert: scaled.svg: the picture needs more memory than 320 MB to draw\n");
}

// What the header of a kind the renderer draws rules out is refused before
// the renderer is started (here it cannot start at all: its Qt is broken),
// in one line naming the file; a page at the size limit still draws.
TEST_F(Cli, RendererKindsRefusedFromTheirHeaders) {
    const char* names[] = {"wmf-16384x2048.wmf", "emf-over-12153x2761.emf",
                           "ico-png-20000x20000.ico", "reference.wmf", "tiff-12-pages.tiff"};
    for (const char* name : names)
        write(name, data(name));
    write("broken/libQt6Core.so.6", "not a library");
    environment << "LD_LIBRARY_PATH=" + dir.filePath("broken");
    Outcome r = run({"-j1", "--kind", "gro", names[0], names[1], names[2], names[3]});
    QStringList lines = r.err.split('\n');
    ASSERT_EQ(lines.size(), 5) << r.err.toStdString();
    EXPECT_EQ(lines[0].toStdString(),
              "veldar-convert: wmf-16384x2048.wmf: the GROB would be 16,384 x 2,048 dots, "
              "a body of 4,194,304 bytes; a GROB holds at most 524,280: fit it to the "
              "screen with --fit 131x64 (or another size)");
    for (const auto& [line, file, size] : {std::tuple{1, "emf-over-12153x2761.emf", "12153 x 2761"},
                                           {2, "ico-png-20000x20000.ico", "20000 x 20000"}})
        EXPECT_EQ(lines[line].toStdString(),
                  QString("veldar-convert: %1: the picture is %2 pixels; at most 16384 "
                          "x 16384 and 32 million pixels are accepted")
                      .arg(file, size)
                      .toStdString());
    EXPECT_TRUE(lines[3].startsWith("veldar-convert: reference.wmf: ") &&
                lines[3].contains("libQt6Core.so.6"))
        << lines[3].toStdString(); // the renderer was needed there
    r = run({"--kind", "gro", "--frames", "--fit", "131x64", "-d", "pages", names[4]});
    EXPECT_EQ(r.err.toStdString(),
              "veldar-convert: tiff-12-pages.tiff: the pictures of the file are too many "
              "of this size to hold at once\n");
    environment.clear();
    r = run({"--kind", "gro", "--fit", "131x64", names[4]});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(read("tiff-12-pages.gro").size(), 17 * 16 + 18); // 131 x 16
}

// Frames to be fitted are fitted as they are decoded: the four frames of a
// 49-byte GIF on a canvas of 16384 x 2048 (32 million pixels, 128 MiB
// each) fit in 250 MB of address space, where holding them whole took 660;
// with masks, in 500 MB.
// (An address-space limit tells nothing under AddressSanitizer.)
TEST_F(Cli, FramesFittedAsTheyAreDecoded) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "no address-space limit under the sanitizer";
#endif
    write("wide.gif",
          testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/gif-wide-canvas.gif")));
    const Outcome r = run({"-q", "-j1", "--kind", "gro", "--frames", "--list", "--fit", "131x64",
                           "wide.gif", "-o", "wide.lst"},
                          "ulimit -v 250000");
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // The header, then in nibbles the list's prologue, four GROBs of 131 x
    // 16 (four 5-nibble fields, 17 bytes a row) and the list's end.
    EXPECT_EQ(read("wide.lst").size(), 8 + (5 + 4 * (20 + 2 * 17 * 16) + 5) / 2);
    // With masks each frame keeps its opacity, fitted with it as it comes
    // (500 MB, where holding the frames whole took 790): a mask of 131 x 16
    // after each GROB.
    const Outcome masked = run({"-q", "-j1", "--kind", "gro", "--frames", "--mask", "--list",
                                "--fit", "131x64", "wide.gif", "-o", "masked.lst"},
                               "ulimit -v 500000");
    EXPECT_EQ(masked.status, 0) << masked.err.toStdString();
    EXPECT_EQ(read("masked.lst").size(), 8 + (5 + 8 * (20 + 2 * 17 * 16) + 5) / 2);
}

// A picture file is read where it lies, a piece at a time: files of
// 224 MiB (a hole after a PNG's image data, after a GIF's end, between a
// BMP's headers and its pixels) fitted within 200 MB of address space, each
// to the bytes its picture (and a GIF's frames) gives from standard input,
// and a PNG whose header claims 8000 x 8000 pixels refused from the header.
TEST_F(Cli, FilesReadWhereTheyLie) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "no address-space limit under the sanitizer";
#endif
    const QByteArray png = Encode(Reference(), "png"), bmp = Encode(Reference(), "bmp");
    const QByteArray gif = data("codecs-frames.gif");
    QByteArray wide = png;
    wide.replace(16, 8, QByteArray::fromHex("00001f4000001f40"));
    QByteArray head = bmp.left(54);
    qToLittleEndian(quint32(54 + (224 << 20)), head.data() + 10); // where its pixels start
    // Each file's bytes before the hole and after it.
    const QByteArray chunk("\x0e\0\0\0zzZz", 8);
    for (const auto& [name, before, after] :
         {std::tuple{"large.png", png.chopped(12) + chunk, png.right(12)},
          {"wide.png", wide.chopped(12) + chunk, wide.right(12)},
          {"frames.gif", gif, QByteArray()},
          {"bitmap.bmp", head, bmp.mid(54)}}) {
        QFile file(write(name, before));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
                    file.resize(file.size() + (224 << 20) + (after.size() == 12 ? 4 : 0)));
        ASSERT_TRUE(file.seek(file.size()) && file.write(after) == after.size());
    }
    const QStringList fit{"-q", "--kind", "gro", "--fit", "131x64"};
    const Outcome r = run(fit + QStringList{"large.png", "wide.png", "frames.gif", "bitmap.bmp"},
                          "ulimit -v 200000");
    EXPECT_EQ(r.err, "veldar-convert: wide.png: the picture is 8000 x 8000 pixels; at most 16384 "
                     "x 16384 and 32 million pixels are accepted\n");
    const QStringList list{"--frames", "--list", "frames.gif", "-o", "frames.lst"};
    EXPECT_EQ(run(fit + list, "ulimit -v 200000").status, 0);
    for (const auto& [name, bytes, more] :
         {std::tuple{"large.gro", png, QStringList()},
          {"frames.gro", gif, QStringList()},
          {"bitmap.gro", bmp, QStringList()},
          {"frames.lst", gif, QStringList{"--frames", "--list"}}}) {
        QByteArray piped;
        EXPECT_EQ(run(fit + more + QStringList{"-"}, {}, bytes, &piped).status, 0);
        EXPECT_EQ(read(name), piped) << name;
    }
}

// Ctrl-C or SIGTERM in the middle of a batch: the run ends by that signal
// (its exit status says so), quietly, and no temporary file is left,
// whenever it comes.
TEST_F(Cli, NothingLeftBehindWhenASignalEndsARun) {
    QImage flat(400, 300, QImage::Format_RGB32);
    flat.fill(Qt::gray);
    const QByteArray png = Encode(flat, "png");
    QStringList args{"--kind", "g32", "-j2", "-q", "-d", "out"};
    for (int i = 0; i < 500; ++i)
        args << write(QStringLiteral("batch/%1.png").arg(i), png);
    QDir out(dir.filePath("out"));
    for (int round = 0; round < 6; ++round) {
        out.removeRecursively();
        QProcess process;
        prepare(process);
        process.start(program, args);
        ASSERT_TRUE(process.waitForStarted());
        // Once files are being written, a little later each round.
        QElapsedTimer clock;
        for (clock.start(); !out.exists() || out.isEmpty(QDir::Files | QDir::Hidden);
             QThread::msleep(2))
            ASSERT_LT(clock.elapsed(), 30000) << "nothing written";
        QThread::msleep(15 * round);
        if (round == 0) {
            // The converting threads hold the three signals back for good,
            // and the first thread, which only waits, takes them. The second
            // may still be starting: the masks are read until they have been
            // so ten times in a row (not a moment's hold while a file is
            // named), for 10 s at most.
            const qint64 pid = process.processId();
            const qulonglong ending =
                1ULL << (SIGINT - 1) | 1ULL << (SIGTERM - 1) | 1ULL << (SIGHUP - 1);
            bool firstTakes = false;
            int holding = 0, steady = 0;
            for (clock.restart(); steady < 10 && clock.elapsed() < 10000; QThread::msleep(2)) {
                firstTakes = false;
                holding = 0;
                for (const QString& task : QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                               .entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                    QFile status(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(task));
                    if (!status.open(QIODevice::ReadOnly)) continue;
                    const QByteArray text = status.readAll();
                    const qsizetype at = text.indexOf("SigBlk:");
                    if (at < 0) continue;
                    const qulonglong blocked =
                        text.mid(at + 7, 24).trimmed().left(16).toULongLong(nullptr, 16);
                    if (task.toLongLong() == pid)
                        firstTakes = (blocked & ending) == 0;
                    else if ((blocked & ending) == ending)
                        ++holding;
                }
                steady = firstTakes && holding == 2 ? steady + 1 : 0;
            }
            EXPECT_TRUE(firstTakes) << "the first thread holds them";
            EXPECT_EQ(holding, 2) << "two converting threads";
        }
        ::kill(pid_t(process.processId()), round % 2 ? SIGTERM : SIGINT);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << "round " << round;
        // No write said to fail because the run was ending.
        EXPECT_EQ(process.readAllStandardError().toStdString(), "") << "round " << round;
        EXPECT_EQ(out.entryList({".grob-*.tmp"}, QDir::Files | QDir::Hidden), QStringList())
            << "round " << round;
    }
}

// Animations, sheets and lists from the command line: numbered files, one
// list named after the first picture and its kind, read back as a sheet or
// split, and the options that make no sense together refused.
TEST_F(Cli, FramesTilesAndLists) {
    write("walk.gif", testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/codecs-frames.gif")));
    Outcome r = run({"--kind", "gro", "--frames", "walk.gif"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(files().filter(QRegularExpression("^walk-0[1-4]\\.gro$")).size(), 4);
    r = run({"--kind", "g16", "--frames", "--list", "--series", "48", "walk.gif"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(read("walk.g16.lst").startsWith("HPHP48-X\x74\x2a")); // the list prologue
    // Read back: one sheet of the four 4 x 4 frames with a gap between, or four PNGs.
    ASSERT_EQ(run({"--to", "png", "walk.g16.lst"}).status, 0);
    EXPECT_EQ(QImage(dir.filePath("walk.g16.png")).size(), QSize(4 * 4 + 3, 4));
    ASSERT_EQ(run({"--to", "png", "--split", "-d", "split", "walk.g16.lst"}).status, 0);
    EXPECT_EQ(QDir(dir.filePath("split")).entryList(QDir::Files).size(), 4);
    // Every page of a TIFF (through the picture renderer): black, then white.
    write("pages.tiff", testing_util::ReadAll(QStringLiteral(VELDAR_TEST_DATA "/two-pages.tiff")));
    ASSERT_EQ(run({"--kind", "gro", "--frames", "pages.tiff"}).status, 0);
    EXPECT_EQ(read("pages-01.gro").right(2), QByteArray("\xff\xff"));
    EXPECT_EQ(read("pages-02.gro").right(2), QByteArray("\xf0\xf0")); // padding bits dark
    // Tiles: the refusal says by how much.
    write("sheet.png", Encode(Reference(), "png")); // 48 x 32
    r = run({"--kind", "gro", "--tile", "20x16", "sheet.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("8 pixels over across and 0 down")) << r.err.toStdString();
    for (const QStringList& args : {QStringList{"--kind", "gro", "--skip-empty", "sheet.png"},
                                    QStringList{"--to", "png", "--list", "walk.gif"},
                                    QStringList{"--kind", "gro", "--split", "walk.gif"}})
        EXPECT_EQ(run(args).status, 2) << args.join(' ').toStdString();
    // Numbered as the tiles counted, kept or not: three of 100 need three digits.
    QImage dots(10, 10, QImage::Format_RGB32);
    dots.fill(Qt::white);
    for (const int at : {11, 28, 55})
        dots.setPixel(at % 10, at / 10, qRgb(0, 0, 0));
    write("dots.png", Encode(dots, "png"));
    ASSERT_EQ(
        run({"--kind", "gro", "--tile", "1x1", "--skip-empty", "-d", "out", "dots.png"}).status, 0);
    EXPECT_EQ(QDir(dir.filePath("out")).entryList(QDir::Files),
              QStringList({"dots-012.gro", "dots-029.gro", "dots-056.gro"}));
    // A list takes the series of the first GROB given, when none is asked for.
    ASSERT_EQ(run({"--kind", "gro", "--series", "48", "dots.png"}).status, 0);
    ASSERT_EQ(run({"--kind", "gro", "--list", "-o", "dots.lst", "dots.gro"}).status, 0);
    EXPECT_TRUE(read("dots.lst").startsWith("HPHP48-X"));
    // 2000 x 1000: its GROB fits in a list (250,010 bytes), not with its mask
    // too, which is refused before any GROB is made.
    QImage wide(2000, 1000, QImage::Format_RGB32);
    wide.fill(Qt::black);
    write("wide.png", Encode(wide, "png"));
    EXPECT_EQ(run({"--kind", "gro", "--list", "wide.png"}).status, 0);
    r = run({"--kind", "gro", "--mask", "--list", "wide.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.endsWith("fit the pictures smaller, or make several lists\n"))
        << r.err.toStdString();
}

// The routes to the calculator: the text form with or without its %%HP:
// line, the padding dots cleared in every GROB made (masks and lists too),
// and an ASCII-encoded object read like any GROB.
TEST_F(Cli, RoutesToTheCalculator) {
    // 13 x 5: a diagonal from the top left and the last column dark; the
    // bodies worked out by hand in encoders_test.cpp.
    QImage picture(13, 5, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 0; y < 5; ++y)
        picture.setPixel(y, y, qRgb(0, 0, 0)), picture.setPixel(12, y, qRgb(0, 0, 0));
    write("d.png", Encode(picture, "png"));
    const struct {
        QStringList args;
        const char* text;
    } cases[] = {
        {{"--bare"}, "GROB 13 5 100F200F400F800F010F\r\n"},
        {{"--bare", "--clear-padding"}, "GROB 13 5 10012001400180010101\r\n"},
        {{"--bare", "--list"}, "{\r\nGROB 13 5 100F200F400F800F010F\r\n}\r\n"},
        {{"--clear-padding", "--mask", "--list"},
         "%%HP: T(3)A(R)F(.);\r\n{\r\nGROB 13 5 10012001400180010101\r\n"
         "GROB 13 5 FFF1FFF1FFF1FFF1FFF1\r\n}\r\n"},
    };
    for (const auto& c : cases) {
        QByteArray out;
        const Outcome r =
            run(QStringList{"--kind", "gro", "--text", "-o", "-", "d.png"} + c.args, {}, {}, &out);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(out, QByteArray(c.text)) << c.args.join(' ').toStdString();
    }
    for (const QStringList& args : {QStringList{"--kind", "gro", "--bare", "d.png"},
                                    QStringList{"--to", "png", "--clear-padding", "d.png"}})
        EXPECT_EQ(run(args).status, 2) << args.join(' ').toStdString();
    // A player of the four frames of codecs-frames.gif (tests/data/README.md;
    // blue, red, green and black dark, yellow and white light), shown 200,
    // 100, 50 and 100 ms, centred at (63, 30) on 131 x 64, (63, 38) on 131 x 80.
    write("frames.gif", data("codecs-frames.gif"));
    ASSERT_EQ(run({"--kind", "gro", "--player", "frames.gif"}).status, 0);
    EXPECT_EQ(read("frames.prg"), QByteArray("%%HP: T(3)A(R)F(.);\r\n"
                                             "\\<< { GROB 4 4 FFFFFFFF\r\n"
                                             " GROB 4 4 FFFFFFFF\r\n"
                                             " GROB 4 4 FF9FDF7F\r\n"
                                             " GROB 4 4 FF9F9FFF\r\n"
                                             "}\r\n{ .2 .1 .05 .1 }\r\n"
                                             "ERASE IF PICT SIZE SWAP DROP # 80d == THEN\r\n"
                                             "{ # 63d # 38d } ELSE { # 63d # 30d } END 1\r\n"
                                             "\\-> f d p i\r\n"
                                             "\\<< { # 0d # 0d } PVIEW\r\n"
                                             "  WHILE KEY NOT REPEAT\r\n"
                                             "    PICT p f i GET REPL d i GET WAIT\r\n"
                                             "    i f SIZE MOD 1 + 'i' STO\r\n"
                                             "  END DROP\r\n"
                                             "\\>>\r\n"
                                             "\\>>\r\n"));
    QByteArray timed;
    ASSERT_EQ(run({"--kind", "gro", "--player", "--delay", "250", "-o", "-", "frames.gif"}, {}, {},
                  &timed)
                  .status,
              0);
    EXPECT_TRUE(timed.contains("{ .25 .25 .25 .25 }")) << timed.toStdString();
    EXPECT_EQ(run({"--kind", "g16", "--player", "frames.gif"}).status, 2);
    // Source code: the frames (and masks) as numbered symbols of one file
    // named after the picture, or of the --list's first picture.
    ASSERT_EQ(run({"--kind", "gro", "--to", "saturn", "--frames", "--mask", "frames.gif"}).status,
              0);
    const QByteArray saturn = read("frames.a");
    EXPECT_TRUE(saturn.startsWith("* frames_0: 4 x 4 dots (gro), 28 nibbles")) << saturn.data();
    for (const char* label : {"\nframes_3\n", "\nframes_3_mask\n", "\nframes_3_mask_end\n"})
        EXPECT_TRUE(saturn.contains(label)) << label;
    write("two.gif", data("codecs-frames.gif"));
    ASSERT_EQ(run({"--kind", "gro", "--to", "c", "--list", "frames.gif", "two.gif"}).status, 0);
    EXPECT_TRUE(read("frames.h").contains("static const unsigned char frames_1[4]"));
    QByteArray one;
    ASSERT_EQ(
        run({"--kind", "gro", "--to", "sysrpl", "-o", "-", "frames.gif"}, {}, {}, &one).status, 0);
    EXPECT_EQ(one, "* frames: 4 x 4 dots (gro), 28 nibbles (14 bytes) with its prologue\n"
                   "GROB 00012 4000040000FFFFFFFF\n");
    for (const char* refused : {"--text", "--player", "--split"})
        EXPECT_EQ(run({"--kind", "gro", "--to", "masd", refused, "frames.gif"}).status, 2)
            << refused;
    // The grayscale viewer: with pictures, one program a GROB (its frames,
    // its shades, the viewer: frames-NN.prg for frames); without, the
    // viewer alone, binary or as MASD source for the HP 49 series.
    ASSERT_EQ(run({"--kind", "gro2", "--series", "48", "--viewer", "frames.gif"}).status, 0);
    const QByteArray shown = read("frames.prg");
    // The program's prologue 02D9D, a GROB of 2 frames of 131 x 64 (its
    // length 15 + 2 x 17 x 128 = #0110F, low nibble first).
    EXPECT_TRUE(
        shown.startsWith(QByteArray("HPHP48-X\x9D\x2D\xE0\xB1\x02\x0F\x11\x00\x08\x00", 18)))
        << shown.left(20).toHex().toStdString();
    ASSERT_EQ(run({"--kind", "g04", "--viewer", "--frames", "frames.gif"}).status, 0);
    EXPECT_TRUE(read("frames-04.prg").startsWith("HPHP4"));
    ASSERT_EQ(run({"--viewer", "--series", "48", "-d", "out"}).status, 0);
    const std::vector<std::uint8_t> alone = grob::ViewerFile(grob::Series::HP48);
    EXPECT_EQ(read("out/GV"),
              QByteArray(reinterpret_cast<const char*>(alone.data()), qsizetype(alone.size())));
    QByteArray masd;
    ASSERT_EQ(run({"--viewer", "--series", "49", "--text", "-o", "-"}, {}, {}, &masd).status, 0);
    EXPECT_EQ(masd.toStdString(), grob::ViewerMasdText());
    for (const QStringList& args :
         {QStringList{"--kind", "gro", "--viewer", "frames.gif"},
          QStringList{"--kind", "g16", "--viewer", "--text", "frames.gif"},
          QStringList{"--kind", "g16", "--viewer", "--list", "frames.gif"},
          QStringList{"--viewer", "--text"}, QStringList{"--viewer", "--fit", "131x64"}})
        EXPECT_EQ(run(args).status, 2) << args.join(' ').toStdString();
    // A GROB no calculator holds (144 dots wide: 18 bytes a row, the object
    // 10 + 18 x height bytes, 294,912 at most): refused by the modern form
    // unless insisted on, written by the classic one with a line beside it.
    QImage tall(144, 16384, QImage::Format_Grayscale8);
    tall.fill(255);
    write("tall.png", Encode(tall, "png"));
    const Outcome refused = run({"--kind", "gro", "tall.png"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains("tall.png: the GROB would be 294,922 bytes; a calculator "
                                     "holds at most 294,912"))
        << refused.err.toStdString();
    EXPECT_EQ(run({"--kind", "gro", "--crop", "144x16383+0+0", "-o", "c.gro", "tall.png"}).status,
              0);
    EXPECT_EQ(run({"--kind", "gro", "--oversize", "-q", "tall.png"}).status, 0);
    EXPECT_EQ(read("tall.gro").size(), 18 + 18 * 16384);
    QFile::remove(dir.filePath("tall.gro"));
    const Outcome classic = run({"tall.png", "-1"});
    EXPECT_EQ(classic.status, 0);
    EXPECT_TRUE(classic.err.contains("tall.png: the GROB is 294,922 bytes, more than a calculator"))
        << classic.err.toStdString();
    EXPECT_EQ(read("tall.gro").size(), 18 + 18 * 16384);
    // ASCII-encoded: the 16 x 12 GROB of the fixture, and one whose checksum was changed.
    for (const char* name : {"asc-16x12.gro", "asc-16x12-bad.gro"})
        write(name, ReadAll(QStringLiteral(VELDAR_TEST_DATA "/") + name));
    ASSERT_EQ(run({"--to", "png", "asc-16x12.gro"}).status, 0);
    const QImage read = QImage(dir.filePath("asc-16x12.png"));
    EXPECT_EQ(read.size(), QSize(16, 12));
    EXPECT_EQ(read.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(read.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(read.pixel(14, 9), qRgb(0, 0, 0));
    const Outcome bad = run({"--to", "png", "asc-16x12-bad.gro"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.err.contains("asc-16x12-bad.gro: the checksum #F767h does not match"))
        << bad.err.toStdString();
}

// --send over a pseudo-terminal pair, the calculator's end taken by
// C-Kermit's server and by lrzsz's rx: each receives exactly the file
// (XModem pads its last block of 128 bytes with ^Z).
TEST_F(Cli, SentOverASerialLine) {
    for (const char* tool : {"socat", "kermit", "rx"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " is missing";
    const QString calculator = dir.filePath("calculator"), line = dir.filePath("line");
    QProcess wire;
    wire.start("socat", {"pty,raw,echo=0,link=" + calculator, "pty,raw,echo=0,link=" + line});
    for (int i = 0; i < 100 && !(QFile::exists(calculator) && QFile::exists(line)); ++i)
        QThread::msleep(20);
    QDir().mkpath(dir.filePath("got"));
    write("d.png", Encode(Reference(), "png"));
    QProcess far;
    far.setWorkingDirectory(dir.filePath("got"));
    far.start("kermit", {"-Y", "-B", "-C",
                         "set line " + calculator +
                             ", set carrier-watch off, set flow none, set file type binary, "
                             "set file names literal, server"});
    const Outcome kermit = run({"--kind", "gro", "--send", line, "d.png"});
    EXPECT_EQ(kermit.status, 0) << kermit.err.toStdString();
    EXPECT_TRUE(kermit.err.contains("sending d.gro as D to")) << kermit.err.toStdString();
    EXPECT_EQ(read("got/D"), read("d.gro"));
    far.kill();
    far.waitForFinished();
    // rx's answers through a pipe, so that its last one is not flushed away
    // as it leaves the line.
    far.start("/bin/sh", {"-c", "rx -c X <\"$0\" 2>/dev/null | cat >\"$0\"", calculator});
    const Outcome xmodem = run({"--kind", "g16", "--send", line, "--protocol", "xmodem", "d.png"});
    EXPECT_EQ(xmodem.status, 0) << xmodem.err.toStdString();
    far.waitForFinished();
    const QByteArray got = read("got/X"), sent = read("d.g16");
    EXPECT_EQ(got.left(sent.size()), sent);
    EXPECT_EQ(got.mid(sent.size()), QByteArray((128 - sent.size() % 128) % 128, '\x1a'));
    wire.kill();
    wire.waitForFinished();
    EXPECT_EQ(run({"--kind", "gro", "--send", line, "-o", "-", "d.png"}).status, 2);
}

// The manual page and the completion, made from the options table, list
// exactly its options: every one, and nothing else.
TEST(Documents, ListExactlyTheTablesOptions) {
    QStringList names{"--"}, shortAndLong{"--"};
    for (const grob::OptionEntry& option : grob::Options()) {
        names << "--" + QString::fromLatin1(option.name.data(), qsizetype(option.name.size()));
        shortAndLong << names.last();
        if (option.shortName) shortAndLong << QStringLiteral("-%1").arg(QChar(option.shortName));
    }
    const QString completion =
        QString::fromUtf8(ReadAll(VELDAR_RESOURCES "/veldar-convert.bash-completion"));
    const auto listed = QRegularExpression(R"re(local options="([^"]*)")re").match(completion);
    QStringList offered = listed.captured(1).split(' ', Qt::SkipEmptyParts);
    offered.sort(), shortAndLong.sort();
    EXPECT_EQ(offered, shortAndLong);

    // The manual: each option's entry (".TP" then its names) and its place in the synopsis.
    const QString manual = QString::fromUtf8(ReadAll(VELDAR_RESOURCES "/veldar-convert.1"))
                               .replace(QLatin1String("\\-"), QLatin1String("-"));
    const QString entries = manual.section(".SH MODERN FORM OPTIONS", 1).section("\n.SH ", 0, 0);
    QStringList described, synopsis;
    for (const auto& m :
         QRegularExpression(R"(\n\.TP\n\.BI? "?(?:-\w, )?(--[\w-]*))").globalMatch(entries))
        described << m.captured(1);
    for (const auto& m : QRegularExpression(R"(\n\.RB \[ (--[\w-]*))").globalMatch(manual))
        synopsis << m.captured(1);
    names.sort(), described.sort(), synopsis.sort();
    EXPECT_EQ(described, names);
    names.removeAll("--help"), names.removeAll("--version");
    EXPECT_EQ(synopsis, names);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

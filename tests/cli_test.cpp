// The program as a process: batch conversion without a display, the settings
// file it leaves, and how it fails.
#include "grob/encoders.h"
#include "picture_makers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int status = -1;
    QString err;
};

class Cli : public ::testing::Test {
  protected:
    QTemporaryDir dir;

    Outcome run(const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM"); // the program must find its way without one
        env.insert("windir", dir.filePath("win"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(VELDAR_PROGRAM), args);
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardError())};
    }
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }
    QByteArray read(const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void SetUp() override { QDir().mkpath(dir.filePath("win")); }
};

QByteArray Expected(std::string_view extension, grob::Series series) {
    const QImage image = makers::Reference();
    grob::MemoryRaster raster(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            raster.setPixel(x, y, std::uint32_t(qRed(p) | qGreen(p) << 8 | qBlue(p) << 16));
        }
    const auto bytes = grob::EncodeGrob(*grob::KindForExtension(extension), raster, series);
    return {reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())};
}

TEST_F(Cli, ConvertsBesideThePictureAndSavesTheSettings) {
    write("logo.bmp", makers::Encode(makers::Reference(), "bmp"));
    const Outcome r = run({"logo.bmp", "-g16"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(read("logo.g16"), Expected("g16", grob::Series::HP49));
    const QByteArray ini = read("win/ORBEX.ini");
    EXPECT_TRUE(ini.startsWith("[Window position x,y]\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.endsWith("[Default header]\r\n#FALSE#\r\n")) << ini.toStdString();
    EXPECT_EQ(ini.count("\r\n"), 6);

    // With HP 48 saved, the next run writes the HP 48 header.
    write("win/ORBEX.ini", "[Window position x,y]\r\n0,0\r\n[Window size w,h]\r\n6000,5000\r\n"
                           "[Default header]\r\n#TRUE#\r\n");
    EXPECT_EQ(run({"logo.bmp", "-1"}).status, 0);
    EXPECT_EQ(read("logo.gro"), Expected("gro", grob::Series::HP48));
    EXPECT_TRUE(read("win/ORBEX.ini").endsWith("#TRUE#\r\n"));
}

TEST_F(Cli, EveryOptionAndNamesWithSpaces) {
    write("my pics/a b.c.gif", makers::Gif());
    const std::pair<QString, std::string_view> options[] = {
        {"-1", "gro"},   {"-2", "gro2"},  {"-4", "gro4"}, {"-g04", "g04"},
        {"-g08", "g08"}, {"-g16", "g16"}, {"-g32", "g32"}};
    for (const auto& [option, extension] : options) {
        const Outcome r = run({"my pics/a b.c.gif", option});
        EXPECT_EQ(r.status, 0) << option.toStdString() << r.err.toStdString();
        const QString output =
            "my pics/a b.c." + QString::fromLatin1(extension.data(), qsizetype(extension.size()));
        EXPECT_EQ(read(output), Expected(extension, grob::Series::HP49)) << option.toStdString();
    }
}

TEST_F(Cli, FailuresSayWhyAndWriteNothing) {
    Outcome r = run({"missing.bmp", "-1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("missing.bmp")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.gro")));

    write("text.gif", "not a picture");
    r = run({"text.gif", "-2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("text.gro2")));

    // Too large for five-nibble fields as five frames; an old file stays.
    QImage wide(16384, 52, QImage::Format_Mono);
    wide.fill(0);
    write("wide.bmp", makers::Encode(wide, "bmp"));
    write("wide.g32", "old contents");
    r = run({"wide.bmp", "-g32"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("wide.g32")) << r.err.toStdString();
    EXPECT_EQ(read("wide.g32"), "old contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3); // nothing else left behind
}

TEST_F(Cli, WithoutADisplayTheWindowAloneIsNoUse) {
    write("logo.bmp", makers::Encode(makers::Reference(), "bmp"));
    for (const QStringList& args :
         {QStringList{}, QStringList{"logo.bmp"}, QStringList{"logo.bmp", "-G16"},
          QStringList{"logo.bmp", "-3"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage:"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("win/ORBEX.ini")));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

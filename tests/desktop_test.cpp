// GROBs on the desktop: the Qt image plugin, loaded from the build, reads
// every kind and a list through QImageReader with exactly the pixels of
// `veldar-convert --to png`; the thumbnailer's entry, run as file managers run
// it, writes those pixels fitted to the size asked for.
#include "test_files.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <tuple>

using testing_util::ReadAll;
using testing_util::WriteAll;

namespace {

const char* const kKinds[] = {"gro", "gro2", "gro4", "g04", "g08", "g16", "g32"};

QImage Rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

class Desktop : public ::testing::Test {
  protected:
    QTemporaryDir dir;

    QString path(const QString& name) { return dir.filePath(name); }
    int run(const QString& program, const QStringList& args, QString* err = nullptr) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("windir", dir.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        // Found as the shell finds it, with the build's programs first on the path.
        process.start(QStandardPaths::findExecutable(program, {QStringLiteral(VELDAR_BIN)}), args);
        if (!process.waitForFinished(60000)) process.kill();
        if (err) *err = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // GROBs of every kind (binary, and one as text), a list and ASCII-encoded
    // ones, each beside the PNG (or numbered PNGs) that --to png writes of it.
    void SetUp() override {
        QImage picture(48, 32, QImage::Format_RGB32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 48; ++x)
                picture.setPixel(x, y, qRgb((x * 5 + y * 3) % 256, x * 5, y * 7));
        WriteAll(path("p.png"), testing_util::Encode(picture, "png"));
        WriteAll(path("small.png"), testing_util::Encode(picture.copy(0, 0, 16, 8), "png"));
        for (const char* kind : kKinds)
            ASSERT_EQ(run("veldar-convert", {"--kind", kind, "p.png"}), 0);
        ASSERT_EQ(run("veldar-convert", {"--kind", "g08", "--text", "-o", "text.g08", "p.png"}), 0);
        ASSERT_EQ(run("veldar-convert",
                      {"--kind", "g04", "--list", "-o", "two.g04.lst", "p.png", "small.png"}),
                  0);
        for (const char* name : {"asc-16x12.gro", "asc-two-8x2.lst"})
            WriteAll(path(name), ReadAll(QStringLiteral(VELDAR_TEST_DATA "/") + name));
        QDir().mkpath(path("png"));
        QDir().mkpath(path("split"));
        QStringList grobs{"text.g08", "asc-16x12.gro"};
        for (const char* kind : kKinds)
            grobs << QStringLiteral("p.") + kind;
        for (const QString& grob : grobs)
            ASSERT_EQ(run("veldar-convert", {"--to", "png", "-o", "png/" + grob + ".png", grob}),
                      0);
        for (const char* list : {"two.g04.lst", "asc-two-8x2.lst"}) {
            ASSERT_EQ(run("veldar-convert",
                          {"--to", "png", "-o", QStringLiteral("png/%1.png").arg(list), list}),
                      0);
            ASSERT_EQ(run("veldar-convert", {"--to", "png", "--split", "-o",
                                             QStringLiteral("split/%1.png").arg(list), list}),
                      0);
        }
    }
};

TEST_F(Desktop, QtReadsEveryKindAndListThroughThePlugin) {
    struct Case {
        QString file;
        QStringList pngs; // what --to png wrote: the picture, or each GROB of a list
        bool headerSize;  // the size known from the header, before any reading
    };
    std::vector<Case> cases = {
        {"text.g08", {"png/text.g08.png"}, false},
        {"asc-16x12.gro", {"png/asc-16x12.gro.png"}, false},
        {"two.g04.lst", {"split/two.g04.lst-01.png", "split/two.g04.lst-02.png"}, true},
        {"asc-two-8x2.lst",
         {"split/asc-two-8x2.lst-01.png", "split/asc-two-8x2.lst-02.png"},
         false}};
    for (const char* kind : kKinds)
        cases.push_back(
            {QStringLiteral("p.") + kind, {QStringLiteral("png/p.%1.png").arg(kind)}, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        QImageReader reader(path(c.file));
        ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
        const QImage first(path(c.pngs.front()));
        ASSERT_FALSE(first.isNull());
        if (c.headerSize) {
            EXPECT_EQ(reader.size(), first.size());
        }
        EXPECT_EQ(reader.imageCount(), c.pngs.size());
        for (const QString& png : c.pngs) {
            const QImage read = reader.read();
            ASSERT_FALSE(read.isNull()) << reader.errorString().toStdString();
            EXPECT_EQ(Rgb(read), Rgb(QImage(path(png)))) << png.toStdString();
        }
        EXPECT_FALSE(reader.canRead()); // every GROB read
    }
    // A list's GROBs one by one, the second first.
    QImageReader list(path("two.g04.lst"));
    ASSERT_TRUE(list.jumpToImage(1));
    EXPECT_EQ(Rgb(list.read()), Rgb(QImage(path("split/two.g04.lst-02.png"))));
    // Without a file name the format given tells the kind.
    QByteArray bytes = ReadAll(path("p.g16"));
    QBuffer buffer(&bytes);
    QImageReader fromMemory(&buffer, "g16");
    EXPECT_EQ(Rgb(fromMemory.read()), Rgb(QImage(path("png/p.g16.png"))));
    // Pictures of other kinds are left to their own readers; a damaged GROB says so.
    EXPECT_EQ(QImageReader(path("p.png")).format(), "png");
    WriteAll(path("prose.gro"), "Not a GROB at all.\n");
    WriteAll(path("cut.g16"), ReadAll(path("p.g16")).chopped(3));
    for (const char* name : {"prose.gro", "cut.g16"})
        EXPECT_TRUE(QImageReader(path(name)).read().isNull()) << name;
    // A header that claims more than a GROB can be (42 bytes that say 1048575
    // x 1048575), or more than its file holds, tells no size and is not read.
    WriteAll(path("claim.gro"),
             ReadAll(path("p.gro")).left(42).replace(13, 5, "\xFF\xFF\xFF\xFF\xFF"));
    for (const char* name : {"claim.gro", "cut.g16"}) {
        QImageReader reader(path(name));
        EXPECT_FALSE(reader.size().isValid()) << name;
        EXPECT_FALSE(reader.canRead()) << name;
    }
    // What follows a GROB or a list, 300 MB here (sparse), is not read.
    struct Counted : QFile {
        using QFile::QFile;
        qint64 got = 0;
        qint64 readData(char* data, qint64 size) override {
            const qint64 n = QFile::readData(data, size);
            return got += std::max<qint64>(n, 0), n;
        }
    };
    for (const QString name : {"p.g16", "two.g04.lst", "text.g08"}) {
        ASSERT_TRUE(QFile::copy(path(name), path("junk-" + name)));
        ASSERT_TRUE(QFile::resize(path("junk-" + name), 300 << 20));
        Counted file(path("junk-" + name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QImageReader reader(&file);
        EXPECT_EQ(Rgb(reader.read()),
                  Rgb(QImage(path(name.endsWith("lst") ? "split/" + name + "-01.png"
                                                       : "png/" + name + ".png"))));
        EXPECT_LT(file.got, 5 << 20) << name.toStdString(); // the text a GROB can take at most
    }
}

// The entry's Exec line run as a file manager runs it: %s the
// size, %i the file, %o the PNG to write.
TEST_F(Desktop, ThumbnailerWritesTheFittedPicture) {
    // "Key=Value" lines under [Thumbnailer Entry] (";" ends a list here, not a line).
    auto entryOf = [](const QString& name) {
        QMap<QString, QString> entry;
        const QByteArray text = ReadAll(QStringLiteral(VELDAR_THUMBNAILERS "/") + name);
        for (const QString& line : QString::fromUtf8(text).split('\n'))
            if (const qsizetype equals = line.indexOf('='); equals > 0)
                entry[line.left(equals)] = line.mid(equals + 1).trimmed();
        EXPECT_TRUE(text.startsWith("[Thumbnailer Entry]\n")) << name.toStdString();
        EXPECT_EQ(entry["TryExec"], "veldar-thumbnailer");
        return entry;
    };
    const QMap<QString, QString> entry = entryOf("veldar-convert.thumbnailer");
    EXPECT_FALSE(QStandardPaths::findExecutable("veldar-thumbnailer", {VELDAR_BIN}).isEmpty());
    EXPECT_EQ(entry["MimeType"],
              "application/x-hp-grob;application/x-hp-grob-list;text/x-hp-grob;");
    // Each other kind's types (told by the name) in an entry of the kind's own.
    for (const QString kind : {"gro2", "gro4", "g04", "g08", "g16", "g32"}) {
        EXPECT_EQ(
            entryOf("veldar-convert-" + kind + ".thumbnailer")["MimeType"],
            QStringLiteral("application/x-hp-grob-%1;application/x-hp-grob-list-%1;").arg(kind));
    }
    QStringList exec = entry["Exec"].split(' ', Qt::SkipEmptyParts);
    auto thumbnail = [&](const QString& file, int size, const QString& out,
                         const QString& original = {}) {
        QStringList args;
        for (QString arg : exec)
            args << arg.replace("%s", QString::number(size))
                        .replace("%i", path(file))
                        .replace("%o", path(out))
                        .replace("%u",
                                 QUrl::fromLocalFile(path(original.isEmpty() ? file : original))
                                     .toString());
        return run(args.takeFirst(), args);
    };
    // Larger by whole factors, dot for dot: 48 x 32 three times at 160, the
    // sheet of a list (48 + 1 + 16 wide) three times at 200.
    const struct {
        const char* file;
        const char* png;
        int size, factor;
    } cases[] = {{"p.gro", "png/p.gro.png", 160, 3},
                 {"p.gro2", "png/p.gro2.png", 160, 3},
                 {"p.gro4", "png/p.gro4.png", 160, 3},
                 {"p.g04", "png/p.g04.png", 160, 3},
                 {"p.g08", "png/p.g08.png", 160, 3},
                 {"p.g16", "png/p.g16.png", 160, 3},
                 {"p.g32", "png/p.g32.png", 160, 3},
                 {"text.g08", "png/text.g08.png", 160, 3},
                 {"two.g04.lst", "png/two.g04.lst.png", 200, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(thumbnail(c.file, c.size, "thumb.png"), 0);
        const QImage picture = Rgb(QImage(path(c.png)));
        const QImage made = Rgb(QImage(path("thumb.png")));
        ASSERT_EQ(made.size(), picture.size() * c.factor);
        for (int y = 0; y < made.height(); y += 5)
            for (int x = 0; x < made.width(); x += 7)
                ASSERT_EQ(made.pixel(x, y), picture.pixel(x / c.factor, y / c.factor))
                    << x << "," << y;
    }
    // Written in place, as tumbler reads the file it holds open; and the
    // kind told by the original name (%u) where GNOME's sandbox renamed it.
    WriteAll(path("held.png"), "");
    QFile held(path("held.png"));
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    ASSERT_TRUE(QFile::copy(path("two.g04.lst"), path("gnome-desktop-file-to-thumbnail.lst")));
    ASSERT_EQ(thumbnail("gnome-desktop-file-to-thumbnail.lst", 200, "held.png", "two.g04.lst"), 0);
    EXPECT_EQ(QImage::fromData(held.readAll()), QImage(path("thumb.png")));
    // ... and by the kind's entry where the URI is the renamed copy's too, as
    // GNOME 43's sandbox gives it.
    exec = entryOf("veldar-convert-g04.thumbnailer")["Exec"].split(' ', Qt::SkipEmptyParts);
    ASSERT_EQ(thumbnail("gnome-desktop-file-to-thumbnail.lst", 200, "kind.png"), 0);
    EXPECT_EQ(QImage(path("kind.png")), QImage(path("thumb.png")));
    exec = entry["Exec"].split(' ', Qt::SkipEmptyParts);
    // Smaller by averaging: 48 x 32 inside 24 x 24.
    ASSERT_EQ(thumbnail("p.g16", 24, "small.png"), 0);
    EXPECT_EQ(QImage(path("small.png")).size(), QSize(24, 16));
    // A damaged GROB: exit status 1, one line naming it, no thumbnail.
    WriteAll(path("cut.g16"), ReadAll(path("p.g16")).chopped(3));
    QString err;
    EXPECT_EQ(run("veldar-thumbnailer", {"-s", "128", path("cut.g16"), path("cut.png")}, &err), 1);
    EXPECT_TRUE(err.contains("cut.g16: ") && err.contains("cut short")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(path("cut.png")));
    // Only what a GROB can take is read: 300 MB (sparse) after a GROB do not
    // hinder it, and 300 MB without one are refused from their start.
    ASSERT_TRUE(QFile::copy(path("p.g16"), path("junk.g16")) &&
                QFile::resize(path("junk.g16"), 300 << 20));
    EXPECT_EQ(thumbnail("junk.g16", 24, "junk.png"), 0);
    EXPECT_EQ(QImage(path("junk.png")), QImage(path("small.png")));
    WriteAll(path("zeros.gro"), "");
    ASSERT_TRUE(QFile::resize(path("zeros.gro"), 300 << 20));
    EXPECT_EQ(run("veldar-thumbnailer", {"-s", "128", path("zeros.gro"), path("z.png")}, &err), 1);
    EXPECT_TRUE(err.contains("zeros.gro: it is not a GROB")) << err.toStdString();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::addLibraryPath(QStringLiteral(VELDAR_PLUGINS));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// GNOME's file manager tells files apart by shared-mime-info, through GIO: a
// GROB and a list by the object after the header, whatever the header's
// letter; a program with the same header is not one of ours; a GROB as text
// is one, alone or after the %%HP: line, ASCII-encoded too; the kinds other
// than 1-bit have types of their own, told by the name alone.
TEST(DesktopMime, TypesTellGrobsFromOtherObjects) {
    const QString gio = QStandardPaths::findExecutable("gio");
    const QString update = QStandardPaths::findExecutable("update-mime-database");
    if (gio.isEmpty() || update.isEmpty()) GTEST_SKIP() << "gio or update-mime-database missing";
    QTemporaryDir data;
    QDir().mkpath(data.filePath("mime/packages"));
    for (const QString& xml : {QStringLiteral(VELDAR_MIME),
                               QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml")})
        ASSERT_TRUE(QFile::copy(xml, data.filePath("mime/packages/" + QFileInfo(xml).fileName())));
    ASSERT_EQ(QProcess::execute(update, {data.filePath("mime")}), 0);
    const std::tuple<const char*, const char*, QByteArray> files[] = {
        // GROB 8 x 2: prologue 02B1E, size, height, width, body; nibbles low first.
        {"", "application/x-hp-grob", QByteArray("HPHP49-E\x1e\x2b\x50\x01\x00\x20\x00\x80", 16)},
        {"", "application/x-hp-grob-list", QByteArray("HPHP48-W\x74\x2a\xb0\x21\x30", 13)},
        {"", "", QByteArray("HPHP48-X\x9d\x2d\xb0\x21\x30", 13)}, // a program: none of ours
        {"", "text/x-hp-grob", "GROB 8 2 FF00\n"},
        {"", "text/x-hp-grob", "%%HP: T(3)A(R)F(.);\nGROB 8 2 FF00\n"},
        {"", "text/x-hp-grob", "%%HP: T(3)A(R)F(.);\r\n\"E1B2031000200008006E\"\r\n"},
        // The kinds other than 1-bit by name alone, whatever the bytes.
        {"walk.g16", "application/x-hp-grob-g16", "GROB 8 2 FF00\n"},
        {"walk.gro2.lst", "application/x-hp-grob-list-gro2", QByteArray("HPHP48-W\x74\x2a", 10)},
        {"walk.gro", "application/x-hp-grob", "GROB 8 2 FF00\n"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", data.path());
    env.insert("XDG_DATA_DIRS", data.path());
    int n = 0;
    for (const auto& [name, type, bytes] : files) {
        const QString file = data.filePath(*name ? name : QStringLiteral("object%1").arg(n++));
        WriteAll(file, bytes);
        QProcess info;
        info.setProcessEnvironment(env);
        info.start(gio, {"info", "-a", "standard::content-type", file});
        ASSERT_TRUE(info.waitForFinished(30000));
        const QByteArray said = info.readAllStandardOutput();
        EXPECT_TRUE(*type ? said.contains(QByteArray(": ") + type + '\n') : !said.contains("-hp-"))
            << said.toStdString() << bytes.toHex().toStdString();
    }
}

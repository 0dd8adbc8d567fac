// The plain functions behind the window: the command line,
// the settings file and the picture checks.
#include "budget.h"
#include "commandline.h"
#include "filenames.h"
#include "loader.h"
#include "option_values.h"
#include "picturecheck.h"
#include "preferences.h"
#include "regularfile.h"
#include "settings.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <clocale>
#include <csignal>
#include <future>
#include <map>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

struct LineCase {
    std::string text;
    std::string file;
    std::string option;
};

TEST(CommandLine, CutsFileNameAndOption) {
    const LineCase cases[] = {
        {"logo.bmp -g16", "logo.bmp", "-g16"},
        {"logo.bmp", "logo.bmp", ""},
        {"logo.bmp  -1", "logo.bmp", ""}, // two spaces: the option is the empty piece
        {"logo.bmp -1 extra", "logo.bmp", "-1"},
        {"\"my pics/a b.bmp\" -4", "my pics/a b.bmp", "-4"},
        {"\"a b.bmp\" -1 extra", "a b.bmp", "-1 extra"},
        {"-1 \"a b.bmp\"", "a b.bmp", ""},
        {"\"a b.bmp", "a b.bmp", ""}, // a single quote
        {"\"\"", "", ""},
        {"logo.bmp\t-1", "logo.bmp\t-1", ""}, // a tab does not separate
        {"\"x.bmp\"   -g32   ", "x.bmp", "-g32"},
    };
    for (const LineCase& c : cases) {
        const auto line = cmdline::Parse(c.text);
        EXPECT_EQ(line.fileName, c.file) << c.text;
        EXPECT_EQ(line.option, c.option) << c.text;
    }
}

TEST(CommandLine, OptionsAndOutputNames) {
    const std::pair<std::string_view, std::string_view> options[] = {
        {"-1", "gro"},   {"-2", "gro2"},  {"-4", "gro4"}, {"-g04", "g04"},
        {"-g08", "g08"}, {"-g16", "g16"}, {"-g32", "g32"}};
    for (const auto& [option, ext] : options)
        EXPECT_EQ(cmdline::KindForOption(option)->extension, ext);
    for (const char* bad : {"-G16", "-3", "", "g16", "-g16 ", "-1 extra"})
        EXPECT_FALSE(cmdline::KindForOption(bad)) << bad;

    EXPECT_EQ(cmdline::OutputName("logo.bmp", "g16"), "logo.g16");
    EXPECT_EQ(cmdline::OutputName("a.b.c.bmp", "gro4"), "a.b.c.gro4");
    EXPECT_EQ(cmdline::OutputName("my pics/a b.bmp", "gro4"), "my pics/a b.gro4");
    // Only a dot in the file's own name counts: never a folder's, never
    // a name made of the extension alone.
    EXPECT_EQ(cmdline::OutputName("logo", "gro2"), "logo.gro2");
    EXPECT_EQ(cmdline::OutputName("photos.v2/holiday", "gro"), "photos.v2/holiday.gro");
    EXPECT_EQ(cmdline::OutputName("../pic", "gro"), "../pic.gro");
    EXPECT_EQ(cmdline::OutputName("/pics.old/.hidden", "gro"), "/pics.old/.gro");
}

TEST(SettingsFile, WritesTheSixLines) {
    const settings::WindowSettings values{2880, 1440, 7590, 6345, false};
    EXPECT_EQ(settings::Format(values), std::string("[Window position x,y]\r\n2880,1440\r\n"
                                                    "[Window size w,h]\r\n7590,6345\r\n"
                                                    "[Default header]\r\n#FALSE#\r\n"));
    const settings::WindowSettings offScreen{-300, -45, 15, 1e6f, true};
    EXPECT_EQ(settings::Format(offScreen), std::string("[Window position x,y]\r\n-300,-45\r\n"
                                                       "[Window size w,h]\r\n15,1000000\r\n"
                                                       "[Default header]\r\n#TRUE#\r\n"));
    EXPECT_EQ(settings::FormatNumber(12.5f), "12.5");
}

TEST(SettingsFile, ReadsEveryFlagAndFallsBackOnAnyFault) {
    auto file = [](const char* line2, const char* line4, const char* line6) {
        return std::string("[a]\r\n") + line2 + "\r\n[b]\r\n" + line4 + "\r\n[c]\r\n" + line6 +
               "\r\n";
    };
    const auto good = settings::Parse(file("2880,1440", "7590,6345", "#TRUE#"));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->left, 2880);
    EXPECT_EQ(good->top, 1440);
    EXPECT_EQ(good->width, 7590);
    EXPECT_EQ(good->height, 6345);
    EXPECT_TRUE(good->hp48);

    const std::pair<const char*, bool> flags[] = {
        {"#TRUE#", true}, {"#FALSE#", false}, {"0", false}, {"5", true}, {"", false}, {"-1", true}};
    for (const auto& [flag, hp48] : flags) {
        const auto parsed = settings::Parse(file("1,2", "3,4", flag));
        ASSERT_TRUE(parsed) << flag;
        EXPECT_EQ(parsed->hp48, hp48) << flag;
    }
    // Lines that do not give what is needed.
    EXPECT_FALSE(settings::Parse(file("1,2", "3,4", "abc")));
    EXPECT_FALSE(settings::Parse(file("1;2", "3,4", "0")));
    EXPECT_FALSE(settings::Parse(file("1,2,3", "3,4", "0")));
    EXPECT_FALSE(settings::Parse(file("1,", "3,4", "0")));
    EXPECT_FALSE(settings::Parse(file("1,2", "3,4x", "0")));
    EXPECT_FALSE(settings::Parse(file("nan,1200", "3,4", "0"))); // no place on a screen
    EXPECT_FALSE(settings::Parse(file("1,2", "inf,4", "0")));
    EXPECT_FALSE(settings::Parse(file("1,2", "3,-infinity", "0")));
    EXPECT_FALSE(settings::Parse(file("1,2", "1e39,4", "0")));            // beyond single precision
    EXPECT_FALSE(settings::Parse("[a]\r\n1,2\r\n[b]\r\n3,4\r\n"));        // four lines only
    EXPECT_FALSE(settings::Parse("[a]\r\n1,2\r\n[b]\r\n3,4\r\n[c]\r\n")); // no sixth line
    EXPECT_FALSE(settings::Parse(""));
    // Plain LF, spaces and fractions are read too; "." is the separator.
    const auto loose = settings::Parse("x\n 1.5 , -2 \nx\n3,4\nx\n#FALSE#");
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->left, 1.5f);
    EXPECT_EQ(loose->top, -2.0f);
}

TEST(SettingsFile, NumbersIgnoreTheLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_EQ(settings::FormatNumber(12.5f), "12.5");
    const auto parsed = settings::Parse("a\r\n1.5,2\r\nb\r\n3,4\r\nc\r\n0\r\n");
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->left, 1.5f);
}

// Whole pixels, rounded to nearest with ties to even, at the screen's size
// of a pixel: what a window placed there and never moved writes back.
TEST(SettingsFile, WholePixels) {
    EXPECT_EQ(settings::WholePixels(3202.5f), 3210.0f); // 213.5 pixels: 214
    EXPECT_EQ(settings::WholePixels(2557.5f), 2550.0f); // 170.5 pixels: 170
    EXPECT_EQ(settings::WholePixels(-22.5f), -30.0f);
    EXPECT_EQ(settings::WholePixels(7590, 12), 7584.0f);      // 120 dots per inch: 632.5 pixels
    EXPECT_EQ(settings::WholePixels(1e12f), 999999995904.0f); // no pixel count overflows
}

TEST(SettingsFile, WhereItLives) {
    EXPECT_EQ(settings::SettingsPath("/tmp/win", std::nullopt, "/home/u"), "/tmp/win/ORBEX.ini");
    EXPECT_EQ(settings::SettingsPath("/tmp/win/", std::nullopt, "/home/u"), "/tmp/win/ORBEX.ini");
    EXPECT_EQ(settings::SettingsPath("", "/cfg", "/home/u"), "/cfg/veldar-convert/ORBEX.ini");
    EXPECT_EQ(settings::SettingsPath(std::nullopt, std::nullopt, "/home/u"),
              "/home/u/.config/veldar-convert/ORBEX.ini");
    EXPECT_EQ(settings::SettingsPath(std::nullopt, "relative", "/home/u"),
              "/home/u/.config/veldar-convert/ORBEX.ini");

    QTemporaryDir dir;
    const std::string path = dir.filePath("new/folder/ORBEX.ini").toStdString();
    EXPECT_EQ(settings::Save(path, {1, 2, 3, 4, true}), "");
    const auto back = settings::Load(path);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->hp48);
    // The same six lines again leave the file alone (the same inode: not replaced).
    struct stat first {
    }, again{};
    ::stat(path.c_str(), &first);
    EXPECT_EQ(settings::Save(path, {1, 2, 3, 4, true}), "");
    ::stat(path.c_str(), &again);
    EXPECT_EQ(again.st_ino, first.st_ino);
    EXPECT_NE(settings::Save(path + "/x", {}), "");
    EXPECT_FALSE(settings::Load(dir.filePath("missing.ini").toStdString()));
}

// The settings file is read and written only as a whole regular file.
TEST(SettingsFile, NeverHangsReadsEndlesslyOrLosesTheOldFile) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("fifo.ini").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(settings::Load(fifo)); // returns at once: nobody writes to it
    EXPECT_NE(settings::Save(fifo, {}), "");
    const QString endless = dir.filePath("zero.ini");
    QFile::link("/dev/zero", endless);
    EXPECT_FALSE(settings::Load(endless.toStdString()));
    std::string error;
    EXPECT_FALSE(loading::ReadRegularFile("/dev/zero", 100, &error));
    EXPECT_NE(error.find("device"), std::string::npos) << error;

    // A disk that takes nothing more: the old file stays whole.
    const QString path = dir.filePath("ORBEX.ini");
    ASSERT_EQ(settings::Save(path.toStdString(), {1, 2, 3, 4, true}), "");
    const QByteArray before = testing_util::ReadAll(path);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    auto* const handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit none = previous;
    none.rlim_cur = 10;
    setrlimit(RLIMIT_FSIZE, &none);
    const std::string failure = settings::Save(path.toStdString(), {5, 6, 7, 8, false});
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    EXPECT_NE(failure, "");
    EXPECT_EQ(testing_util::ReadAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3);
}

// The preferences file: what the table allows is read, anything else (a
// flag that is not true or false, a number out of range or not whole where
// it must be, an unknown name) keeps its default; the old file's keys too.
TEST(PreferencesFile, ValuesOutsideTheTableKeepTheirDefaults) {
    const Preferences odd =
        Preferences::Parse("[prepare]\ninvert=maybe\nupscale=1\ngamma=0\n"
                           "dither=sepia\nfitWidth=20000\nfitHeight=64\n"
                           "rotate=45\nflip=diagonal\nthreshold=256\ncrop=5x5+-1+0\n"
                           "[preview]\nzoom=2.5\nkind=g17\nshown=yes\n");
    const Preferences defaults;
    EXPECT_FALSE(odd.preparation.invert);
    EXPECT_FALSE(odd.preparation.fit.upscale);
    EXPECT_EQ(odd.preparation.gamma, 1);
    EXPECT_EQ(odd.preparation.dither, grob::Dither::None);
    EXPECT_FALSE(odd.preparation.fits());
    EXPECT_FALSE(odd.preparation.turned());
    EXPECT_EQ(odd.preparation.threshold, 128);
    EXPECT_FALSE(odd.preparation.cropped());
    EXPECT_EQ(odd.zoom, 2);
    EXPECT_EQ(odd.kind.extension, "gro");
    EXPECT_FALSE(odd.previewShown);
    // A file as the earlier program wrote it, read back and written again alike.
    const std::string earlier = "[prepare]\nbrightness=-20\ncontrast=15\ndither=atkinson\n"
                                "fitHeight=80\nfitWidth=131\ngamma=1.2\ninvert=true\n"
                                "upscale=true\n\n[preview]\nkind=g16\nshown=true\nzoom=3\n";
    const Preferences read = Preferences::Parse(earlier);
    EXPECT_EQ(read.preparation.fit.width, 131);
    EXPECT_EQ(read.preparation.dither, grob::Dither::Atkinson);
    EXPECT_EQ(read.zoom, 3);
    // Written again alike, with the settings added since in their defaults.
    std::string again = earlier;
    again.insert(again.find("brightness="), "anchor=center\nbackground=255\n");
    again.insert(again.find("dither="), "crop=none\n");
    again.insert(again.find("fitHeight="), "fit-mode=inside\n");
    again.insert(again.find("gamma="), "flip=none\n");
    again.insert(again.find("upscale="), "linear=false\nrotate=0\nthreshold=128\n");
    again += "\n[send]\nbaud=9600\ndevice=\nprotocol=kermit\n";
    EXPECT_EQ(read.format(), "[convert]\nclear-padding=false\nviewer=false\n\n" + again);
    // Turned, mirrored and a threshold: kept for the next start.
    const std::string turned =
        Preferences::Parse("[prepare]\nrotate=270\nflip=vertical\nthreshold=90\n").format();
    for (const char* line : {"\nflip=vertical\n", "\nrotate=270\n", "\nthreshold=90\n"})
        EXPECT_NE(turned.find(line), std::string::npos) << line << turned;

    // Written by hand: CR LF line ends, blanks around "=" and the names; a
    // fit with one side 0 is no fit (natural size), never half of one.
    const Preferences typed = Preferences::Parse(
        "[prepare]\r\n fitWidth = 0 \r\nfitHeight= 64\r\ndither =ordered\r\ncrop = 30x20+5+4\r\n"
        "rotate=90\r\nflip= vertical\r\n[ preview ]\r\nzoom = 4\r\n");
    EXPECT_EQ(typed.preparation.dither, grob::Dither::Ordered);
    EXPECT_EQ(typed.zoom, 4);
    EXPECT_EQ(typed.preparation.fit.width, 0);
    EXPECT_EQ(typed.preparation.fit.height, 0);
    // The status line's words, from the table's labels.
    EXPECT_EQ(Describe(read), "fit 131 x 80, enlarged, brightness -20, contrast 15, "
                              "gamma 1.2, inverted, Atkinson dithering");
    EXPECT_EQ(Describe(typed), "crop 30 x 20 from 5, 4, a quarter clockwise turn, "
                               "top to bottom mirroring, Ordered (8 x 8 Bayer) dithering");
    EXPECT_EQ(Describe({}), "");
    // Recent files' names are bytes: a line break, a byte of no UTF-8, "%", an end blank
    // escaped and read back; one not absolute, cut or listed before is left out.
    const Preferences recent = Preferences::Parse(
        "[recent]\n1=relative.png\n2=/cut%4\n3= /a%0Ab%E9%25%20 \n4=/a%0ab%e9%25%20\n");
    EXPECT_EQ(recent.recentFiles, std::vector<std::string>{"/a\nb\xe9% "});
    std::string eight = "[recent]\n";
    for (int i = 1; i <= 9; ++i)
        eight += std::to_string(i) + "=/p" + std::to_string(i) + "\n";
    EXPECT_EQ(Preferences::Parse(eight).recentFiles.size(), 8u); // the latest 8 of 9
    EXPECT_NE(recent.format().find("\n1=/a%0Ab%E9%25%20\n"), std::string::npos);

    // Every number of the table kept in the file: either end is read, and a
    // text that is none of its values keeps the default.
    for (const grob::OptionEntry& option : grob::Options()) {
        if (option.preference.empty() || !testing_util::Numeric(option)) continue;
        const std::string_view key = option.preference;
        const std::size_t slash = key.find('/');
        std::string line = "[";
        line.append(key.substr(0, slash)).append("]\n").append(key.substr(slash + 1)).append("=");
        const auto parsed = [&](const std::string& value) {
            return grob::OptionText(Preferences::Parse(line + value + '\n'), option);
        };
        for (const double end : {option.minimum, option.maximum})
            EXPECT_EQ(parsed(grob::FormatNumber(end)), grob::FormatNumber(end)) << key;
        for (const std::string& value : testing_util::NotValues(option))
            EXPECT_EQ(parsed(value), grob::OptionText(defaults, option)) << key << '=' << value;
    }
}

picturecheck::Bytes Span(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// File names are bytes: what is printed shows valid UTF-8 as it is and
// every other byte, control or not, as an octal escape, so a name can never
// send the terminal an escape sequence nor pass for another name.
TEST(FileNames, ShownEscaped) {
    EXPECT_EQ(filenames::Printable("lat\xe9 \x1b[2J\x7f\xc2\x9b.png"),
              "lat\\351 \\033[2J\\177\\302\\233.png");
    EXPECT_EQ(filenames::Printable("caf\xc3\xa9 \xf0\x9f\x98\x80"), "caf\xc3\xa9 \xf0\x9f\x98\x80");
    // An overlong "/" (two and three bytes), an encoded surrogate, a lead
    // byte cut short: each byte escaped, never read as the character.
    EXPECT_EQ(filenames::Printable("\xc0\xaf"), "\\300\\257");
    EXPECT_EQ(filenames::Printable("a\xe0\x80\xaf"
                                   "b"),
              "a\\340\\200\\257b");
    EXPECT_EQ(filenames::Printable("\xed\xa0\x80"), "\\355\\240\\200");
    EXPECT_EQ(filenames::Printable("\xe2\x82"), "\\342\\202");
    // Written back as read: one, two, three and four bytes.
    std::string written;
    for (const char32_t code : {U'a', U'\u00e9', U'\u20ac', U'\U0001F600'})
        filenames::AppendUtf8(written, code);
    EXPECT_EQ(written, "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
}

// Decodings wait for memory others hold; one larger than the whole runs alone.
TEST(MemoryBudget, ReservationsWaitForWhatOthersHold) {
    pipeline::MemoryBudget budget(100);
    auto first = budget.reserve(60);
    auto small = budget.reserve(40); // fits beside it
    auto waiting = std::async(std::launch::async, [&] { return budget.reserve(1000); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    first.release();
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    small.release();
    auto alone = waiting.get(); // held as the whole budget
    EXPECT_EQ(budget.held(), 100u);
    alone.release();
    EXPECT_EQ(budget.held(), 0u);
}

// A decoding holds what its header says it takes, from the budget it is
// given, and its lease holds it until let go: a picture's bytes, and a file
// read where it lies.
TEST(MemoryBudget, DecodingHoldsWhatItsHeaderSays) {
    testing_util::ScratchDir dir;
    const QByteArray gif = testing_util::WideAnimation(300, 200, 3);
    QImage png(300, 200, QImage::Format_RGB32);
    png.fill(Qt::red);
    ASSERT_TRUE(png.save(QString::fromStdString(dir.file("a.png"))));
    std::uint64_t said = 0;
    const auto tell = [&](const pictureloader::Header& header) { said = header.memory; };
    pipeline::MemoryBudget budget(1ull << 30);
    for (const bool file : {false, true}) {
        pipeline::MemoryBudget::Lease lease;
        EXPECT_TRUE((file ? pipeline::LoadFileWithin(dir.file("a.png"), {}, &budget, lease, tell)
                          : pipeline::LoadWithin(Span(gif), {}, "a.gif", &budget, lease, tell))
                        .ok());
        EXPECT_GT(said, 0u);
        EXPECT_EQ(budget.held(), said) << file;
        lease.release();
        EXPECT_EQ(budget.held(), 0u);
    }
}

// The window's picture keeps the frames it showed last within its share,
// the first kept let go first, and the frame shown always.
TEST(MemoryBudget, HeldPictureLetsTheOldestFramesGo) {
    testing_util::ScratchDir dir;
    testing_util::WriteAll(QString::fromStdString(dir.file("a.gif")),
                           testing_util::WideAnimation(2048, 2048, 6)); // 16 MiB a frame
    std::string error;
    const auto held = pipeline::HeldPicture::Open(dir.file("a.gif"), std::nullopt, error);
    ASSERT_TRUE(held) << error;
    for (const int index : {5, 1, 2, 3, 4}) // 0, 5, 1 and 2 fill the share; 3 and 4 let 0 and 5 go
        ASSERT_TRUE(held->frame(index));
    EXPECT_EQ(held->keptBytes(), pipeline::HeldPicture::kKeptBytes);
    for (int index = 0; index < 6; ++index)
        EXPECT_EQ(held->kept(index), index >= 1 && index <= 4) << index;
    // A frame larger than the share is kept while it is shown, alone.
    testing_util::WriteAll(QString::fromStdString(dir.file("b.gif")),
                           testing_util::WideAnimation(4200, 4200, 2));
    const auto large = pipeline::HeldPicture::Open(dir.file("b.gif"), std::nullopt, error);
    ASSERT_TRUE(large && large->frame(1));
    EXPECT_TRUE(large->kept(1) && !large->kept(0));
    EXPECT_EQ(large->keptBytes(), 0u);
}

TEST(PictureCheck, TellsKindsByContent) {
    using picturecheck::Kind;
    EXPECT_EQ(picturecheck::Sniff(Span(Bytes({0xD7, 0xCD, 0xC6, 0x9A, 0, 0}))), Kind::Wmf);
    EXPECT_EQ(picturecheck::Sniff(Span(Bytes({1, 0, 9, 0, 0, 3, 0, 0}))), Kind::Wmf);
    QByteArray emf(44, '\0');
    emf[0] = 1;
    emf.replace(40, 4, " EMF");
    EXPECT_EQ(picturecheck::Sniff(Span(emf)), Kind::Emf);
    EXPECT_EQ(picturecheck::Sniff(Span(Bytes({40, 0, 0, 0, 1, 0}))), Kind::PackedDib);
    EXPECT_EQ(picturecheck::Sniff(Span(QByteArray("BM") + Bytes({40, 0, 0, 0}))), Kind::Other);
    EXPECT_EQ(picturecheck::Sniff(Span("hello, world")), Kind::Other);
    EXPECT_EQ(picturecheck::Sniff(Span("")), Kind::Other);
}

TEST(PictureCheck, FindsCutShortData) {
    // JPEG: segments, then entropy data with a stuffed FF 00, then EOI.
    const QByteArray jpeg = Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 4,    1,    2, 0xFF, 0xDA, 0,
                                   2,    5,    0xFF, 0,    6, 0xFF, 0xD0, 7, 0xFF, 0xD9});
    EXPECT_TRUE(picturecheck::JpegComplete(Span(jpeg)));
    EXPECT_TRUE(picturecheck::JpegComplete(Span(jpeg + "trailing")));
    for (int cut = 2; cut < jpeg.size() - 1; ++cut)
        EXPECT_FALSE(picturecheck::JpegComplete(Span(jpeg.left(cut)))) << cut;

    // GIF: header, no colour table, one image of one sub-block.
    const QByteArray gif = QByteArray("GIF89a") + Bytes({1, 0, 1, 0, 0, 0, 0, 0x2C, 0,    0, 0,   0,
                                                         1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0, 0x3B});
    EXPECT_TRUE(picturecheck::GifComplete(Span(gif)));
    EXPECT_TRUE(
        picturecheck::GifComplete(Span(gif.left(gif.size() - 1)))); // the trailer is not needed
    EXPECT_FALSE(picturecheck::GifComplete(Span(gif.left(gif.size() - 3))));
    EXPECT_FALSE(picturecheck::GifComplete(Span(gif.left(12))));

    // A 3 x 2 24-bit packed DIB: rows of 12 bytes (9 padded to 12).
    QByteArray dib(40, '\0');
    dib[0] = 40;
    dib[4] = 3;
    dib[8] = 2;
    dib[12] = 1;
    dib[14] = 24;
    EXPECT_TRUE(picturecheck::BitmapComplete(Span(dib + QByteArray(24, 'x')), false));
    EXPECT_FALSE(picturecheck::BitmapComplete(Span(dib + QByteArray(23, 'x')), false));
    QByteArray bmp = QByteArray("BM") + QByteArray(12, '\0') + dib;
    bmp[10] = 54;
    EXPECT_TRUE(picturecheck::BitmapComplete(Span(bmp + QByteArray(24, 'x')), true));
    EXPECT_FALSE(picturecheck::BitmapComplete(Span(bmp + QByteArray(20, 'x')), true));
    // Sizes whose product does not fit in 64 bits are cut short, not a wrap-around.
    QByteArray huge = dib;
    qToLittleEndian<qint32>(0x7FFFFFFF, huge.data() + 4);
    qToLittleEndian<qint32>(0x7FFFFFFF, huge.data() + 8);
    qToLittleEndian<quint16>(0xFFFF, huge.data() + 14);
    EXPECT_FALSE(picturecheck::BitmapComplete(Span(huge + QByteArray(24, 'x')), false));

    // X bitmap: 10 x 2 pixels need 2 bytes a row.
    const QByteArray xbm = "#define a_width 10\n#define a_height 2\n"
                           "static char a_bits[] = {\n 0x01, 0x02,\n 0x03, 0x04 };\n";
    EXPECT_TRUE(picturecheck::XbmComplete(Span(xbm)));
    for (const int cut : {int(xbm.size()) - 3, int(xbm.size()) - 8, 50})
        EXPECT_FALSE(picturecheck::XbmComplete(Span(xbm.left(cut)))) << cut;
}

} // namespace

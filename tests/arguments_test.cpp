// The modern command line's parser: every spelling it takes, and every
// refusal in the program's words, before any picture is looked at.
#include "arguments.h"
#include "requests.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <utility>
#include <vector>

namespace {

struct Case {
    std::vector<std::string> args;
    std::string error;                                                 // empty: accepted
    std::vector<std::pair<std::string_view, std::string>> values = {}; // option: its value then
    std::vector<std::string> pictures = {};
};

cli::Parsed Parse(std::vector<std::string> args, int cores = 2) {
    args.insert(args.begin(), "veldar-convert");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    return cli::ParseArguments(int(argv.size()), argv.data(), cores);
}

TEST(Arguments, SpellingsAndRefusals) {
    ASSERT_TRUE(grob::EveryEntryBound()) << "an option of the table sets nothing";
    // In a folder of its own: "photo.jpg" is a file there, "views" a folder.
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    QFile(dir.filePath("photo.jpg")).open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir("views");
    const std::string kinds = "a kind (gro, gro2, gro4, g04, g08, g16 or g32)";
    const std::string gro = "-kgro";
    const Case cases[] = {
        // Spellings: flags together, values attached, long names after one
        // dash, the classic kind among the arguments, "--" before pictures.
        {{"-qkgro", "-j4", "a.png"}, "", {{"kind", "gro"}, {"quiet", "true"}, {"jobs", "4"}}},
        {{"--kind=g16", "-vq", "-k=-g16", "a.png"}, "", {{"kind", "g16"}, {"verbose", "true"}}},
        {{"-kind", "g04", "-tile=8x8", "a.png"}, "", {{"kind", "g04"}, {"tile", "8x8"}}},
        {{"a.png", "-g16", "--fit", "131X64"}, "", {{"kind", "g16"}, {"fit", "131x64"}}},
        {{"-k", "-1", "--", "-x.png", "--fit"}, "", {{"kind", "gro"}}, {"-x.png", "--fit"}},
        {{"--zoom", "3", "--zoom=3.0", "--preview", "v.png", gro, "a"}, "", {{"zoom", "3"}}},
        {{gro, "a.png"}, "", {{"jobs", "2"}}}, // one job a core, at most four a core
        {{gro, "-j", "100", "a.png"}, "", {{"jobs", "8"}}},
        {{gro, "--frames", "--mask", "--list", "-o", "-", "a.png"}, "", {{"output", "-"}}},
        {{"-k", "g32", "--tile", "8000x4000", "--fit", "131x64", "a.png"},
         "",
         {{"tile", "8000x4000"}}},
        {{gro, "--preview", "views", "a.png", "b.png"}, "", {{"preview", "views"}}},
        {{gro, "--crop", "30X20+0+16384", "--rotate", "270", "--flip", "vertical", "a.png"},
         "",
         {{"crop", "30x20+0+16384"}, {"rotate", "270"}, {"flip", "vertical"}}},
        {{gro, "--threshold", "255", "a.png"}, "", {{"threshold", "255"}}},
        // What is not an option of the table, or not a value of it.
        {{"--frob", "a.png"}, "unknown option --frob"},
        {{gro, "-xq", "a.png"}, "unknown option -x"},
        {{gro, "--quiet=yes", "a.png"}, "--quiet takes no value"},
        {{gro, "-vq=1", "a.png"}, "-q takes no value"},
        {{"-k"}, "--kind needs " + kinds},
        {{"-qk"}, "--kind needs " + kinds},
        {{"--kind=", "a.png"}, "--kind needs " + kinds},
        {{"--kind", "photo.jpg"}, "--kind needs " + kinds + " before the file \"photo.jpg\""},
        {{gro, "-o", "", "a.png"}, "--output needs a file name (or - for standard output)"},
        {{gro, "--fit", "0x64", "a.png"},
         "--fit takes WIDTHxHEIGHT, each from 1 to 16384, as 131x64, not \"0x64\""},
        {{gro, "--tile", "0x16", "a.png"},
         "--tile takes WIDTHxHEIGHT, each from 1 to 16384, as 131x64, not \"0x16\""},
        {{gro, "--jobs", "2.5", "a.png"}, "--jobs takes a whole number of 1 or more, not \"2.5\""},
        {{gro, "--crop", "30x20+5", "a.png"},
         "--crop takes WIDTHxHEIGHT+X+Y, each side from 1 to 16384 and the corner from 0 to "
         "16384, as 131x64+20+0, not \"30x20+5\""},
        {{gro, "--crop", "30x0+5+5", "a.png"},
         "--crop takes WIDTHxHEIGHT+X+Y, each side from 1 to 16384 and the corner from 0 to "
         "16384, as 131x64+20+0, not \"30x0+5+5\""},
        {{gro, "--crop", "30x20+-1+5", "a.png"},
         "--crop takes WIDTHxHEIGHT+X+Y, each side from 1 to 16384 and the corner from 0 to "
         "16384, as 131x64+20+0, not \"30x20+-1+5\""},
        {{gro, "--threshold", "0", "a.png"},
         "--threshold takes a whole number from 1 to 255, not \"0\""},
        // A long value said back cut short to 60 characters, never inside
        // a character (a 2-byte e acute at 56-57).
        {{gro, "--threshold", std::string(200, '9'), "a.png"},
         "--threshold takes a whole number from 1 to 255, not \"" + std::string(57, '9') + "...\""},
        {{gro, "--fit", std::string(56, '1') + "\xC3\xA9xyz", "a.png"},
         "--fit takes WIDTHxHEIGHT, each from 1 to 16384, as 131x64, not \"" +
             std::string(56, '1') + "...\""},
        {{"--" + std::string(100, 'f'), "a.png"},
         "unknown option --" + std::string(55, 'f') + "..."},
        // Exactly 60 said whole; a 3-byte euro sign at 55-57 left out whole;
        // a file name given twice, each cut short.
        {{gro, "--threshold", std::string(60, '9'), "a.png"},
         "--threshold takes a whole number from 1 to 255, not \"" + std::string(60, '9') + "\""},
        {{gro, "--threshold", std::string(55, '9') + "\xE2\x82\xACxyz", "a.png"},
         "--threshold takes a whole number from 1 to 255, not \"" + std::string(55, '9') + "...\""},
        {{gro, "-o", std::string(70, 'a'), "-o", std::string(70, 'b'), "a.png"},
         "--output is given twice, as \"" + std::string(57, 'a') + "...\" and \"" +
             std::string(57, 'b') + "...\""},
        {{"-k", "g04", "--threshold", "90", "a.png"},
         "--threshold splits black from white: it goes with the 1-bit kind (gro), not g04, whose "
         "shades are its own"},
        // Given twice, differently; options that have no effect together.
        {{"--kind", "gro", "--kind", "g16", "a.png"},
         "--kind is given twice, as \"gro\" and \"g16\""},
        {{"a.png", "-g16", "--kind", "gro"}, "--kind is given twice, as \"gro\" and \"-g16\""},
        {{"--to", "png", "-g16", "a.png"},
         "--to png writes a PNG, not a GROB: --kind goes with a GROB only"},
        {{"--to", "png", "--gamma", "2", "a.png"},
         "--to png writes each picture as it is: --gamma prepares a picture for a GROB (--kind)"},
        {{"--quiet", "a.png"}, "--kind is needed (or --to png)"},
        {{gro, "--zoom", "3", "a.png"}, "--zoom sets the previews' zoom: it goes with --preview"},
        {{gro, "--upscale", "a.png"}, "--upscale goes with --fit"},
        {{gro, "--skip-empty", "a.png"}, "--skip-empty goes with --tile"},
        {{gro, "--mask-opacity", "200", "a.png"}, "--mask-opacity goes with --mask"},
        {{gro, "-o", "x.gro", "a.png", "b.png"},
         "-o names the output of one picture: with several, name a folder with --output-dir "
         "(-d), or make one --list"},
        {{gro, "--preview", "views", "-"},
         "--preview names a file with standard input: a picture from it has no name"},
        {{gro}, "no pictures given"},
        // Several files back to back on standard output could never be read back.
        {{gro, "--frames", "-o", "-", "a.png"},
         "--frames makes several GROBs, and standard output takes one file: add --list for one "
         "list of them"},
        {{gro, "--mask", "-"},
         "--mask makes several GROBs, and standard output takes one file: "
         "add --list for one list of them"},
        {{"--to", "png", "--split", "-o", "-", "a.png"},
         "--split makes one PNG a picture, and standard output takes one file: leave out --split "
         "for one sheet of them"},
        // Tiles that no picture could ever give, blamed on what makes them so.
        {{gro, "--tile", "16384x16384", "--tile-pad", "a.png"},
         "tiles of 16,384 x 16,384 pixels are larger than any picture made (at most 16,384 on a "
         "side and 32 million pixels): choose smaller tiles"},
        {{"-k", "g32", "--tile", "8000x4000", "a.png"},
         "tiles of 8,000 x 4,000 pixels cannot be converted: the GROB would be 8,000 x 20,000 "
         "dots, a body of 20,000,000 bytes; a GROB holds at most 524,280: fit it to the screen "
         "with --fit 131x64 (or another size)"},
        {{gro, "--tile", "8x8", "--fit", "16384x16384", "--upscale", "a.png"},
         "tiles of 8 x 8 pixels cannot be converted: enlarged to fit, the picture would be 16,384 "
         "x 16,384 pixels; at most 16,384 on a side and 32 million pixels are made: choose a "
         "smaller --fit or leave out --upscale"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& arg : c.args)
            line += '[' + arg + ']';
        const cli::Parsed parsed = Parse(c.args);
        EXPECT_EQ(parsed.error, c.error) << line;
        EXPECT_EQ(parsed.arguments.has_value(), c.error.empty()) << line;
        EXPECT_TRUE(parsed.output.empty()) << line;
        if (!parsed.arguments) continue;
        for (const auto& [name, value] : c.values)
            EXPECT_EQ(grob::OptionText(parsed.arguments->choices, *grob::FindOption(name)), value)
                << line << " --" << name;
        if (!c.pictures.empty()) {
            EXPECT_EQ(parsed.arguments->pictures, c.pictures) << line;
        }
    }
    ASSERT_TRUE(QDir::setCurrent(previous));
}

// Help comes before any other fault; its options in two columns, wrapped
// within 79 columns.
TEST(Arguments, HelpAndVersion) {
    const cli::Parsed help = Parse({"--zoom", "3", "--help"});
    EXPECT_TRUE(help.error.empty() && !help.arguments);
    EXPECT_EQ(help.output.rfind("Usage: veldar-convert [options] PICTURE...\n", 0), 0u);
    EXPECT_NE(help.output.find("\n  -d, --output-dir <DIR>  Write the outputs into DIR, made if "
                               "missing (default:\n                          beside each "
                               "picture).\n"),
              std::string::npos)
        << help.output;
    EXPECT_EQ(Parse({"-V"}).output, "veldar-convert " VELDAR_VERSION "\n");
}

} // namespace

// What has its effect, as the table's requirements say, worked by hand:
// each option that does not is set back to its default in a conversion,
// and a requirement on an option the asker does not have (the window has
// no --preview, no --to) holds.
TEST(Arguments, OnlyWhatHasItsEffect) {
    grob::Choices asked;
    const auto set = [&](std::string_view name, std::string_view value) {
        ASSERT_TRUE(grob::SetOption(asked, *grob::FindOption(name), value)) << name;
    };
    for (const auto& [name, value] : {std::pair{"kind", "g16"},
                                      {"threshold", "90"},
                                      {"upscale", "true"},
                                      {"tile-pad", "true"},
                                      {"mask-opacity", "50"},
                                      {"zoom", "5"},
                                      {"brightness", "-20"},
                                      {"bare", "true"}})
        set(name, value);
    const auto text = [](const grob::Choices& c, std::string_view name) {
        return grob::OptionText(c, *grob::FindOption(name));
    };
    const grob::Choices window = grob::Applied(asked);
    EXPECT_EQ(text(window, "threshold"), "128"); // a grayscale kind keeps its own levels
    EXPECT_EQ(text(window, "upscale"), "false"); // no fit to enlarge to
    EXPECT_EQ(text(window, "tile-pad"), "false");
    EXPECT_EQ(text(window, "mask-opacity"), "128");
    EXPECT_EQ(text(window, "zoom"), "5");    // --preview is the command line's own
    EXPECT_EQ(text(window, "bare"), "true"); // and so is --bare: not the window's to judge
    EXPECT_EQ(text(window, "brightness"), "-20");
    const grob::Choices line = grob::Applied(asked, grob::kCommandLine);
    EXPECT_EQ(text(line, "zoom"), "2");
    EXPECT_EQ(text(line, "bare"), "false");
    // Each requirement met: all kept, and the engine's preparation keeps the threshold.
    for (const auto& [name, value] : {std::pair{"kind", "gro"},
                                      {"fit", "131x64"},
                                      {"tile", "8x8"},
                                      {"mask", "true"},
                                      {"preview", "v.png"},
                                      {"text", "true"}})
        set(name, value);
    const grob::Choices kept = grob::Applied(asked, grob::kCommandLine);
    for (const char* name : {"threshold", "upscale", "tile-pad", "mask-opacity", "zoom", "bare"})
        EXPECT_EQ(text(kept, name), text(asked, name)) << name;
    EXPECT_EQ(grob::Applied(asked.kind, asked.preparation).threshold, 90);
    EXPECT_EQ(grob::Applied(grob::OutputKinds()[5], asked.preparation).threshold, 128);
    set("dither", "atkinson");
    EXPECT_EQ(grob::Applied(asked.kind, asked.preparation).threshold, 128);
    // The pipeline's request builder, for every front end, takes only that.
    grob::Choices loose;
    loose.kind = grob::OutputKinds()[5];
    loose.preparation.threshold = 90;
    loose.cutting.skipEmpty = true;
    const pipeline::Request request =
        pipeline::ConversionFor(pipeline::Source::File("a.png"), loose, grob::Series::HP49);
    EXPECT_EQ(request.preparation.threshold, 128);
    EXPECT_FALSE(request.cutting.skipEmpty);
    // No size ("none"), and the choices as a control shows them.
    EXPECT_EQ(grob::OptionText(asked, grob::Option("fit")), "131x64");
    set("fit", "none");
    EXPECT_EQ(grob::OptionText(asked, grob::Option("fit")), "none");
    EXPECT_FALSE(asked.preparation.fits());
    EXPECT_EQ(grob::ShownChoice(grob::Option("flip"), 1), "Left to right");
    EXPECT_EQ(grob::ShownChoice(grob::Option("rotate"), 1), "90°: a quarter clockwise");
    EXPECT_EQ(grob::ShownChoice(grob::Option("kind"), 0), "1-bit GROB (.gro)");
}

#include "menutable.h"

#include "grob/options.h"
#include "grob/viewer.h"
#include "preferences.h"

namespace menutable {

namespace {

// The kinds as the classic menus caption them, in their order.
struct KindCaption {
    std::string_view kind;
    const char* caption;
};
constexpr KindCaption kKindCaptions[] = {
    {"gro4", "4-bit GROB       (VELDAR 16 shades)"},
    {"gro2", "2-bit GROB       (VELDAR 4 shades)"},
    {"gro", "1-bit GROB       (STANDARD)"},
    {"g04", "2-frames GROB  (PAGE-FLIPPING 4 shades)"},
    {"g08", "3-frames GROB  (PAGE-FLIPPING 8 shades)"},
    {"g16", "4-frames GROB  (PAGE-FLIPPING 16 shades)"},
    {"g32", "5-frames GROB  (PAGE-FLIPPING 32 shades)"},
};

// A menu of the seven kinds, numbered from 1; with `separated`, a line
// between the side-by-side kinds and the page-flipping ones takes a place.
void AddKinds(std::vector<Item>& items, MenuArray array, const QString& parent, Command command,
              bool separated) {
    int index = 1;
    for (const KindCaption& kind : kKindCaptions) {
        if (separated && kind.kind == "g04") items.push_back({array, index++, "-", parent});
        items.push_back({array, index++, kind.caption, parent, command, kind.kind});
    }
}

} // namespace

const std::vector<Item>& Items() {
    using enum MenuArray;
    using Command::ConvertTo, Command::CopyAsText, Command::Open, Command::Exit,
        Command::SeriesHP48, Command::SeriesHP49, Command::ShowPreview, Command::ListOfFrames,
        Command::OpenAsKind;
    static const std::vector<Item> items = [] {
        const QString convert = QStringLiteral("Convert to...");
        const QString copy = QStringLiteral("Copy as text");
        const QString list = QStringLiteral("All frames as a list");
        const QString openAs = QStringLiteral("Open as kind");
        const std::string_view label = grob::Option("clear-padding").label;
        const QString padding = QString::fromLatin1(label.data(), qsizetype(label.size()));
        const std::string_view viewerLabel = grob::Option("viewer").label;
        const QString viewer =
            QString::fromLatin1(viewerLabel.data(), qsizetype(viewerLabel.size()));
        std::vector<Item> made = {
            {Main, 1, "File...", {}},
            {File, 1, "Open", "File...", Open},
            {File, 2, "Exit", "File...", Exit},
            // After the classic items, numbered as "Convert to..." numbers its kinds.
            {OpenAs, 9, "-", "File..."},
            {Main, 6, openAs, "File..."},
        };
        AddKinds(made, OpenAs, openAs, OpenAsKind, true);
        // The pictures opened last, captioned by the window with their names.
        const QString recent = QStringLiteral("Open recent");
        made.push_back({Main, 7, recent, "File..."});
        for (int index = 1; index <= int(Preferences::kRecentFiles); ++index)
            made.push_back({Recent, index, {}, recent, Command::OpenRecent});
        made.push_back({Recent, 9, "-", recent});
        made.push_back({Recent, 10, "Clear the list", recent, Command::ClearRecent});
        made.push_back({Main, 2, convert, {}});
        AddKinds(made, Action, convert, ConvertTo, true);
        // Added after the classic items, so that none of them moves.
        made.push_back({Action, 9, "-", convert});
        made.push_back({Main, 4, copy, convert});
        AddKinds(made, Clipboard, copy, CopyAsText, false);
        made.push_back({Main, 5, list, convert});
        AddKinds(made, ListOf, list, ListOfFrames, false);
        const QString send = QStringLiteral("Send to calculator");
        made.push_back({Main, 10, send, convert});
        AddKinds(made, Send, send, Command::SendTo, false);
        made.insert(made.end(),
                    {
                        {Main, 3, "Settings...", {}},
                        {Settings, 1, "HP 48 series", "Settings...", SeriesHP48},
                        {Settings, 2, "HP 49 series", "Settings...", SeriesHP49, {}, true},
                        {Preview, 1, "-", "Settings..."},
                        {Preview, 2, "Preview and preparation...", "Settings...", ShowPreview},
                        {Preview, 3, padding, "Settings...", Command::ClearPadding},
                        {Preview, 4, viewer, "Settings...", Command::Viewer},
                        {MenuArray::About, 4, "About", {}, Command::About},
                        // After the classic menus.
                        {Main, 8, "Edit", {}},
                        {Edit, 1, "Undo", "Edit", Command::Undo},
                        {Edit, 2, "Redo", "Edit", Command::Redo},
                    });
        // After the classic menus: the picture's view, and the crop drawn on it.
        const QString view = QStringLiteral("View");
        made.insert(made.end(),
                    {
                        {Main, 9, view, {}},
                        {View, 1, "Fit picture to window", view, Command::FitToWindow},
                        {View, 2, "Zoom in", view, Command::ZoomIn, {}, false, "Ctrl++; Ctrl+="},
                        {View, 3, "Zoom out", view, Command::ZoomOut, {}, false, "Ctrl+-"},
                        {View, 4, "Natural size", view, Command::NaturalSize, {}, false, "Ctrl+0"},
                        {View, 5, "-", view},
                        {View, 6, "Clear crop", view, Command::ClearCrop},
                        {View, 7, "Crop to fill the box", view, Command::CropToFill},
                    });
        return made;
    }();
    return items;
}

QString SaveFilter(const grob::OutputKind& kind) {
    const QString extension =
        QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
    return QStringLiteral("GROB image (*.%1)|*.%1").arg(extension);
}

QString ViewerFilter() {
    const QString extension = QString::fromLatin1(grob::kProgramExtension.data(),
                                                  qsizetype(grob::kProgramExtension.size()));
    return QStringLiteral("Program with the grayscale viewer (*.%1)|*.%1").arg(extension);
}

QString ListFilter(const grob::OutputKind& kind) {
    return QStringLiteral("GROB list (*.%1)|*.%1").arg(ListExtension(kind));
}

QString ListExtension(const grob::OutputKind& kind) {
    return QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size())) +
           QStringLiteral(".lst");
}

} // namespace menutable

#include "menutable.h"

#include "grob/options.h"

namespace menutable {

const std::vector<Item>& Items() {
    using enum MenuArray;
    using Command::ConvertTo, Command::CopyAsText, Command::Open, Command::Exit,
        Command::SeriesHP48, Command::SeriesHP49, Command::ShowPreview, Command::ListOfFrames,
        Command::OpenAsKind;
    static const QString convert = QStringLiteral("Convert to...");
    static const QString copy = QStringLiteral("Copy as text");
    static const QString list = QStringLiteral("All frames as a list");
    static const QString openAs = QStringLiteral("Open as kind");
    static const std::string_view label = grob::Option("clear-padding").label;
    static const QString padding = QString::fromLatin1(label.data(), qsizetype(label.size()));
    static const std::vector<Item> items = {
        {Main, 1, "File...", {}},
        {File, 1, "Open", "File...", Open},
        {File, 2, "Exit", "File...", Exit},
        // After the classic items, numbered as "Convert to..." numbers its kinds.
        {OpenAs, 9, "-", "File..."},
        {Main, 6, openAs, "File..."},
        {OpenAs, 1, "4-bit GROB       (VELDAR 16 shades)", openAs, OpenAsKind, "gro4"},
        {OpenAs, 2, "2-bit GROB       (VELDAR 4 shades)", openAs, OpenAsKind, "gro2"},
        {OpenAs, 3, "1-bit GROB       (STANDARD)", openAs, OpenAsKind, "gro"},
        {OpenAs, 4, "-", openAs},
        {OpenAs, 5, "2-frames GROB  (PAGE-FLIPPING 4 shades)", openAs, OpenAsKind, "g04"},
        {OpenAs, 6, "3-frames GROB  (PAGE-FLIPPING 8 shades)", openAs, OpenAsKind, "g08"},
        {OpenAs, 7, "4-frames GROB  (PAGE-FLIPPING 16 shades)", openAs, OpenAsKind, "g16"},
        {OpenAs, 8, "5-frames GROB  (PAGE-FLIPPING 32 shades)", openAs, OpenAsKind, "g32"},
        {Main, 2, convert, {}},
        {Action, 1, "4-bit GROB       (VELDAR 16 shades)", convert, ConvertTo, "gro4"},
        {Action, 2, "2-bit GROB       (VELDAR 4 shades)", convert, ConvertTo, "gro2"},
        {Action, 3, "1-bit GROB       (STANDARD)", convert, ConvertTo, "gro"},
        {Action, 4, "-", convert},
        {Action, 5, "2-frames GROB  (PAGE-FLIPPING 4 shades)", convert, ConvertTo, "g04"},
        {Action, 6, "3-frames GROB  (PAGE-FLIPPING 8 shades)", convert, ConvertTo, "g08"},
        {Action, 7, "4-frames GROB  (PAGE-FLIPPING 16 shades)", convert, ConvertTo, "g16"},
        {Action, 8, "5-frames GROB  (PAGE-FLIPPING 32 shades)", convert, ConvertTo, "g32"},
        // Added after the classic items, so that none of them moves.
        {Action, 9, "-", convert},
        {Main, 4, copy, convert},
        {Clipboard, 1, "4-bit GROB       (VELDAR 16 shades)", copy, CopyAsText, "gro4"},
        {Clipboard, 2, "2-bit GROB       (VELDAR 4 shades)", copy, CopyAsText, "gro2"},
        {Clipboard, 3, "1-bit GROB       (STANDARD)", copy, CopyAsText, "gro"},
        {Clipboard, 4, "2-frames GROB  (PAGE-FLIPPING 4 shades)", copy, CopyAsText, "g04"},
        {Clipboard, 5, "3-frames GROB  (PAGE-FLIPPING 8 shades)", copy, CopyAsText, "g08"},
        {Clipboard, 6, "4-frames GROB  (PAGE-FLIPPING 16 shades)", copy, CopyAsText, "g16"},
        {Clipboard, 7, "5-frames GROB  (PAGE-FLIPPING 32 shades)", copy, CopyAsText, "g32"},
        {Main, 5, list, convert},
        {ListOf, 1, "4-bit GROB       (VELDAR 16 shades)", list, ListOfFrames, "gro4"},
        {ListOf, 2, "2-bit GROB       (VELDAR 4 shades)", list, ListOfFrames, "gro2"},
        {ListOf, 3, "1-bit GROB       (STANDARD)", list, ListOfFrames, "gro"},
        {ListOf, 4, "2-frames GROB  (PAGE-FLIPPING 4 shades)", list, ListOfFrames, "g04"},
        {ListOf, 5, "3-frames GROB  (PAGE-FLIPPING 8 shades)", list, ListOfFrames, "g08"},
        {ListOf, 6, "4-frames GROB  (PAGE-FLIPPING 16 shades)", list, ListOfFrames, "g16"},
        {ListOf, 7, "5-frames GROB  (PAGE-FLIPPING 32 shades)", list, ListOfFrames, "g32"},
        {Main, 3, "Settings...", {}},
        {Settings, 1, "HP 48 series", "Settings...", SeriesHP48},
        {Settings, 2, "HP 49 series", "Settings...", SeriesHP49, {}, true},
        {Preview, 1, "-", "Settings..."},
        {Preview, 2, "Preview and preparation...", "Settings...", ShowPreview},
        {Preview, 3, padding, "Settings...", Command::ClearPadding},
        {MenuArray::About, 4, "About", {}, Command::About},
    };
    return items;
}

QString SaveFilter(const grob::OutputKind& kind) {
    const QString extension =
        QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
    return QStringLiteral("GROB image (*.%1)|*.%1").arg(extension);
}

QString ListFilter(const grob::OutputKind& kind) {
    return QStringLiteral("GROB list (*.%1)|*.%1").arg(ListExtension(kind));
}

QString ListExtension(const grob::OutputKind& kind) {
    return QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size())) +
           QStringLiteral(".lst");
}

} // namespace menutable

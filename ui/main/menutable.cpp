#include "menutable.h"

namespace menutable {

const std::vector<Item>& Items() {
    using enum MenuArray;
    static const std::vector<Item> items = {
        {Main, 1, "File...", {}},
        {File, 1, "Open", "File..."},
        {File, 2, "Exit", "File..."},
        {Main, 2, "Convert to...", {}},
        {Action, 1, "4-bit GROB       (VELDAR 16 shades)", "Convert to...", false, "gro4"},
        {Action, 2, "2-bit GROB       (VELDAR 4 shades)", "Convert to...", false, "gro2"},
        {Action, 3, "1-bit GROB       (STANDARD)", "Convert to...", false, "gro"},
        {Action, 4, "-", "Convert to..."},
        {Action, 5, "2-frames GROB  (PAGE-FLIPPING 4 shades)", "Convert to...", false, "g04"},
        {Action, 6, "3-frames GROB  (PAGE-FLIPPING 8 shades)", "Convert to...", false, "g08"},
        {Action, 7, "4-frames GROB  (PAGE-FLIPPING 16 shades)", "Convert to...", false, "g16"},
        {Action, 8, "5-frames GROB  (PAGE-FLIPPING 32 shades)", "Convert to...", false, "g32"},
        // Added after the classic items, so that none of them moves.
        {Action, 9, "-", "Convert to..."},
        {Main, 4, "Copy as text", "Convert to..."},
        {Clipboard, 1, "4-bit GROB       (VELDAR 16 shades)", "Copy as text", false, "gro4"},
        {Clipboard, 2, "2-bit GROB       (VELDAR 4 shades)", "Copy as text", false, "gro2"},
        {Clipboard, 3, "1-bit GROB       (STANDARD)", "Copy as text", false, "gro"},
        {Clipboard, 4, "2-frames GROB  (PAGE-FLIPPING 4 shades)", "Copy as text", false, "g04"},
        {Clipboard, 5, "3-frames GROB  (PAGE-FLIPPING 8 shades)", "Copy as text", false, "g08"},
        {Clipboard, 6, "4-frames GROB  (PAGE-FLIPPING 16 shades)", "Copy as text", false, "g16"},
        {Clipboard, 7, "5-frames GROB  (PAGE-FLIPPING 32 shades)", "Copy as text", false, "g32"},
        {Main, 3, "Settings...", {}},
        {Settings, 1, "HP 48 series", "Settings...", false},
        {Settings, 2, "HP 49 series", "Settings...", true},
        {Preview, 1, "-", "Settings..."},
        {Preview, 2, "Preview and preparation...", "Settings..."},
        {About, 4, "About", {}},
    };
    return items;
}

namespace {

std::optional<grob::OutputKind> KindOf(MenuArray array, int index) {
    for (const Item& item : Items())
        if (item.array == array && item.index == index && !item.kind.empty())
            return grob::KindForExtension(item.kind);
    return std::nullopt;
}

} // namespace

std::optional<grob::OutputKind> KindForAction(int index) {
    return KindOf(MenuArray::Action, index);
}

std::optional<grob::OutputKind> KindForClipboard(int index) {
    return KindOf(MenuArray::Clipboard, index);
}

QString SaveFilter(const grob::OutputKind& kind) {
    const QString extension =
        QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
    return QStringLiteral("GROB image (*.%1)|*.%1").arg(extension);
}

} // namespace menutable

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
        {Main, 3, "Settings...", {}},
        {Settings, 1, "HP 48 series", "Settings...", false},
        {Settings, 2, "HP 49 series", "Settings...", true},
        {About, 4, "About", {}},
    };
    return items;
}

std::optional<grob::OutputKind> KindForAction(int index) {
    for (const Item& item : Items())
        if (item.array == MenuArray::Action && item.index == index && !item.kind.empty())
            return grob::KindForExtension(item.kind);
    return std::nullopt;
}

QString SaveFilter(const grob::OutputKind& kind) {
    const QString extension =
        QString::fromLatin1(kind.extension.data(), qsizetype(kind.extension.size()));
    return QStringLiteral("GROB image (*.%1)|*.%1").arg(extension);
}

} // namespace menutable

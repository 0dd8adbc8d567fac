#include "menutable.h"

namespace menutable {

const std::vector<Item>& Items() {
    static const std::vector<Item> items = {
        {"main", 1, "File...", {}, false},
        {"file", 1, "Open", "File...", false},
        {"file", 2, "Exit", "File...", false},
        {"main", 2, "Convert to...", {}, false},
        {"action", 1, "4-bit GROB       (VELDAR 16 shades)", "Convert to...", false},
        {"action", 2, "2-bit GROB       (VELDAR 4 shades)", "Convert to...", false},
        {"action", 3, "1-bit GROB       (STANDARD)", "Convert to...", false},
        {"action", 4, "-", "Convert to...", false},
        {"action", 5, "2-frames GROB  (PAGE-FLIPPING 4 shades)", "Convert to...", false},
        {"action", 6, "3-frames GROB  (PAGE-FLIPPING 8 shades)", "Convert to...", false},
        {"action", 7, "4-frames GROB  (PAGE-FLIPPING 16 shades)", "Convert to...", false},
        {"action", 8, "5-frames GROB  (PAGE-FLIPPING 32 shades)", "Convert to...", false},
        {"main", 3, "Settings...", {}, false},
        {"settings", 1, "HP 48 series", "Settings...", false},
        {"settings", 2, "HP 49 series", "Settings...", true},
        {"about", 4, "About", {}, false},
    };
    return items;
}

} // namespace menutable

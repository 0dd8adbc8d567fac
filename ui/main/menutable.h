// The menu bar: every item with its menu array, index and caption.
#pragma once

#include <QString>

#include <vector>

namespace menutable {

struct Item {
    QString array; // "main", "file", "action", "settings", "about"
    int index;
    QString caption; // "-" is a separator line
    QString parent;  // caption of the menu title it sits under; empty on the bar
    bool checked;
};

const std::vector<Item>& Items();

} // namespace menutable

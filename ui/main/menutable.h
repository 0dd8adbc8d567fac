// The menu bar: every item with its menu array, index and caption, and for
// the "Convert to..." items the output kind they write.
#pragma once

#include "grob/kinds.h"

#include <QString>

#include <optional>
#include <string_view>
#include <vector>

enum class MenuArray { Main, File, Action, Settings, About, Clipboard, Preview };

namespace menutable {

struct Item {
    MenuArray array;
    int index;
    QString caption; // "-" is a separator line
    QString parent;  // caption of the menu title it sits under; empty on the bar
    bool checked = false;
    std::string_view kind = {}; // for "action" and "clipboard" items: the kind's extension
};

const std::vector<Item>& Items();

// The kind the "Convert to..." item with this index writes; nothing for the
// separator or an index that is not there.
std::optional<grob::OutputKind> KindForAction(int index);
// The kind the "Copy as text" item with this index copies.
std::optional<grob::OutputKind> KindForClipboard(int index);

// The save dialog's filter for a kind: "GROB image (*.g16)|*.g16".
QString SaveFilter(const grob::OutputKind& kind);

} // namespace menutable

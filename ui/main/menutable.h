// The menu bar: every item with its menu, its place in it, its caption and
// what it does (for the "Convert to..." and "Copy as text" items, with the
// kind they write).
#pragma once

#include "grob/kinds.h"

#include <QString>

#include <optional>
#include <string_view>
#include <vector>

// The menus, as the items' places are counted: each item has its index within its menu.
// The classic ones first; those added since after them.
enum class MenuArray {
    Main,
    File,
    Action,
    Settings,
    About,
    Clipboard,
    Preview,
    ListOf,
    OpenAs,
    View,
    Recent,
    Edit,
    Send
};

// What choosing an item does.
enum class Command {
    None,         // a menu title or a separator
    Open,         // File... > Open
    OpenAsKind,   // File... > Open as kind > a kind: a GROB file whose name does not say its kind
    Exit,         // File... > Exit
    ConvertTo,    // Convert to... > a kind: asks for the file and writes it
    CopyAsText,   // Copy as text > a kind: the text form on the clipboard
    ListOfFrames, // All frames as a list > a kind: every frame's GROB in one list
    SeriesHP48,   // Settings... > HP 48 series
    SeriesHP49,   // Settings... > HP 49 series
    ShowPreview,  // Settings... > Preview and preparation...
    ClearPadding, // Settings... > Clear the padding dots: checked, every conversion clears them
    Viewer,       // Settings... > With the grayscale viewer: checked, Convert to... a grayscale
                  // kind writes a program of the GROB and the viewer (.prg)
    About,        // About
    FitToWindow,  // View > Fit picture to window: checked, the zoom follows the window's size
    ZoomIn,       // View > Zoom in
    ZoomOut,      // View > Zoom out
    NaturalSize,  // View > Natural size: each pixel a pixel of the screen
    ClearCrop,    // View > Clear crop
    CropToFill,   // View > Crop to fill the box: the fit's proportions, centred
    OpenRecent,   // File... > Open recent > a picture: the one at the item's index, 1 the latest
    ClearRecent,  // File... > Open recent > Clear the list
    Undo,         // Edit > Undo: the last change of the preparation or the preview's kind
    Redo,         // Edit > Redo
    SendTo,       // Convert to... > Send to calculator > a kind: asks the line, then sends it
};

namespace menutable {

struct Item {
    MenuArray array;
    int index;
    QString caption; // "-" is a separator line
    QString parent;  // caption of the menu title it sits under; empty on the bar
    Command command = Command::None;
    std::string_view kind = {}; // the kind items: the kind's extension
    bool checked = false;       // the series items: checked when the window is created
    const char* keys = nullptr; // its shortcuts, the first shown in the menu: "Ctrl++; Ctrl+="
};

const std::vector<Item>& Items();

// The save dialog's filter for a kind: "GROB image (*.g16)|*.g16".
QString SaveFilter(const grob::OutputKind& kind);
// The save dialog's filter for a program of a GROB and the grayscale viewer.
QString ViewerFilter();
// A list's, named as the command line names lists: "GROB list (*.g16.lst)|*.g16.lst".
QString ListFilter(const grob::OutputKind& kind);
// "g16.lst": the kind is part of a list's name, so that reading it back knows it.
QString ListExtension(const grob::OutputKind& kind);

} // namespace menutable

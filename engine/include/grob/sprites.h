// Sprites, sheets and animations: the frames and tiles that one picture
// becomes, their masks, and pictures side by side in one sheet. Every front
// end cuts and masks through these, so a tile or a mask is the same
// whichever made it.
#pragma once

#include "grob/encoders.h"
#include "grob/grobfile.h"
#include "grob/prepare.h"
#include "grob/raster.h"
#include "grob/reader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace grob {

// How the pictures of a request come to be several GROBs.
struct Cutting {
    bool frames = false; // every frame of an animation, page of a TIFF, GROB of a list
    int tileWidth = 0;   // each picture cut into tiles of this size (0: whole)
    int tileHeight = 0;
    bool tilePad = false;   // a picture that is no whole number of tiles padded, not refused
    bool skipEmpty = false; // tiles entirely white or clear left out
    bool masks = false;     // after each picture a 1-bit mask, dark where it is opaque
    int maskOpacity = 128;  // from this opacity (1 .. 255) up, a mask dot is dark
    bool tiles() const { return tileWidth > 0 && tileHeight > 0; }
    // Whether one picture can give several GROBs.
    bool many() const { return frames || tiles() || masks; }
};

// One picture on its way to a GROB: a whole picture, a frame or a tile,
// with each pixel's opacity when it has any transparency (empty: opaque
// throughout), and its number among the pictures of its request, counted
// whether it is kept or not.
struct Sprite {
    std::shared_ptr<const Image> image;
    std::vector<std::uint8_t> opacity;
    int number = 1;
    int delayMs = 0; // how long an animation shows it (0: a still picture)
};

// Why a picture of `width` x `height` pixels cannot be cut into the tiles
// asked for: it is no whole number of them and no padding is asked for
// (`padHint` says how to ask for it); empty when it can.
std::string TileRefusal(int width, int height, const Cutting& cutting, std::string_view padHint);

// A picture to be cut into tiles is cropped first, as a whole: the part the
// preparation's crop keeps, its opacity with it (the crop checked first by
// CropRefusal). The tiles are then prepared without it (CropCleared).
Sprite CropSprite(const Sprite& whole, const Preparation& preparation);

// Cuts a picture into tiles, left to right, top to bottom, padding the last
// row and column with white and clear when asked (call TileRefusal first).
// Tiles are numbered on from `number`; with skipEmpty, those that show
// nothing are left out and `kept` gets the numbers of those that remain.
void CutTiles(const Sprite& whole, const Cutting& cutting, std::vector<Sprite>& out, int& number,
              std::vector<int>& kept);

// A picture cut into the items a request's cutting asks for, numbered on
// from `counted`: the picture itself, or its tiles, the picture cropped as
// a whole first (with skipEmpty, tiles that show nothing are left out and
// `kept` gets the numbers of the rest). Why it cannot be (the crop outside
// it; no whole number of tiles, `padHint` saying how to pad), or empty.
std::string CutItems(Sprite whole, const Cutting& cutting, const Preparation& preparation,
                     std::string_view padHint, std::vector<Sprite>& out, int& counted,
                     std::vector<int>& kept);

// Whether a picture shows nothing: each pixel white, or entirely clear.
bool ShowsNothing(const Image& picture, const std::vector<std::uint8_t>& opacity);

// "1-3, 5, 8": numbers in order, runs shortened.
std::string Runs(const std::vector<int>& numbers);

// The mask of a sprite, as the cutting asks for it: a 1-bit GROB of its
// size once fitted as `preparation` fits (its tone and dithering play no
// part), dark where the sprite is at least `cutting.maskOpacity` opaque
// (128: half), light where clear; its unused bits at the end of each row
// as `padding` chooses.
GrobObject MaskOf(const Sprite& sprite, const Preparation& preparation, const Cutting& cutting,
                  Series series, const std::string& name, Padding padding = Padding::Classic);

// The size of a sheet of these pictures side by side with a one-pixel gap.
struct SheetSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
SheetSize SizeOfSheet(const std::vector<const Image*>& pictures);
// The sheet itself, white between and below the pictures (check its size first).
Image Sheet(const std::vector<const Image*>& pictures);

} // namespace grob

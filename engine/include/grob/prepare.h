// Preparing a picture for the calculator's screen before it is encoded:
// fitting it to a size, its tone, and dithering in the chosen kind's own
// shade levels. The encoders stay as they are: preparation yields a picture
// of grays whose channel sums fall in the bands the kind's encoder turns
// into exactly the levels chosen here.
//
// A prepared picture's brightness is its luminance with the Rec. 601
// weights, in whole numbers: (299 R + 587 G + 114 B + 500) / 1000, so a gray
// pixel keeps its value exactly. (The plain conversion, which never
// prepares, keeps the encoders' rule: the sum of the three channels.)
#pragma once

#include "grob/kinds.h"
#include "grob/raster.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace grob {

enum class Dither { None, FloydSteinberg, Atkinson, Ordered, Search, BlueNoise };
// A turned picture's mirror: left to right, or upside down.
enum class Flip { None, Horizontal, Vertical };
// How a picture meets its fit box: inside it (its proportions kept, the box
// a bound), filling it (cut to the box's proportions first, then fitted),
// or inside it on a field of the box's exact size.
enum class FitMode { Inside, Fill, Pad };
// Where a filled picture's kept part, or a padded picture on its field, lies.
enum class Anchor { Center, Top, Bottom, Left, Right };

// The 1-bit kind's own band: a gray from 128 up is white.
inline constexpr int kPlainThreshold = 128;

std::optional<Dither> DitherForName(std::string_view name); // "none", "floyd-steinberg", ...
std::string_view NameOfDither(Dither dither);

// The box a picture is fitted into, its proportions kept: smaller by
// averaging areas, larger only with `upscale`, by whole factors. 0 x 0:
// natural size. One fit request goes from the preparation to the loader,
// the decoders and the renderer as it is.
struct FitBox {
    int width = 0;
    int height = 0;
    bool upscale = false;
    bool any() const { return width > 0 && height > 0; }
    bool operator==(const FitBox&) const = default;
};

// A part of a picture: its top left corner and its size; 0 x 0 for none.
struct Region {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool any() const { return width > 0 && height > 0; }
    bool operator==(const Region&) const = default;
};

struct Preparation {
    // The picture's shape, in this order: only the part `crop` keeps
    // (clipped to the picture; none: the whole picture), fitted into
    // `fit`, turned clockwise by `turn` degrees (0, 90, 180, 270), then
    // mirrored. The fit box is the turned picture's.
    Region crop{};
    FitBox fit{};
    int turn = 0;
    Flip flip = Flip::None;
    // How the picture meets the box (`anchor`: where it lies; for a fill,
    // on the picture as it stands before it is turned), and the gray
    // (0 black .. 255 white) of a padded picture's field.
    FitMode fitMode = FitMode::Inside;
    Anchor anchor = Anchor::Center;
    int background = 255;
    // Its tone.
    double brightness = 0; // -100 .. 100, added to every level (in 1/100 of full scale)
    double contrast = 0;   // -100 .. 100, spread about the middle gray
    double gamma = 1;      // > 0; above 1 lightens the mid-tones
    bool invert = false;
    Dither dither = Dither::None;
    bool linear = false; // dithered in linear light
    // The 1-bit kind without dithering: a gray (0 .. 255, after the tone)
    // from this up is white, below it black. Other kinds keep their bands.
    int threshold = kPlainThreshold;

    bool fits() const { return fit.any(); }
    bool toned() const {
        return brightness != 0 || contrast != 0 || gamma != 1 || invert ||
               threshold != kPlainThreshold;
    }
    bool turned() const { return turn % 360 != 0 || flip != Flip::None; }
    bool quarterTurned() const { return turn % 180 != 0; }
    bool cropped() const { return crop.any(); }
    bool filled() const { return fitMode == FitMode::Fill && fits(); }
    bool padded() const { return fitMode == FitMode::Pad && fits(); }
    // Only a part of the picture is kept (a crop, or a fill): it must come
    // whole, not fitted as it is decoded.
    bool cutsPicture() const { return cropped() || filled(); }
    // Whether a decoder may hand the picture fitted: not when only a part of
    // it is kept, nor when its transparency goes over another gray than
    // white (a fitted picture carries no opacity to compose from).
    bool fittedAsDecoded() const { return !cutsPicture() && background == 255; }
    // Every option at its default: the picture goes to the encoder as it is.
    bool neutral() const {
        return !fits() && !toned() && dither == Dither::None && !turned() && !cropped();
    }
    // The shape alone (crop, fit, turn and mirror), and the same shape of
    // two preparations: what a mask shares with its picture, and what a
    // picture fitted once serves for.
    Preparation shape() const {
        Preparation only;
        only.crop = crop;
        only.fit = fit;
        only.turn = turn;
        only.flip = flip;
        only.fitMode = fitMode;
        only.anchor = anchor;
        only.background = background;
        return only;
    }
    bool sameShape(const Preparation& other) const {
        return crop == other.crop && fit == other.fit && turn == other.turn && flip == other.flip &&
               fitMode == other.fitMode && anchor == other.anchor && background == other.background;
    }
};

// The preparation without its crop: for the tiles cut from a cropped picture.
inline Preparation CropCleared(Preparation preparation) {
    preparation.crop = {};
    return preparation;
}

// The fit as the picture stands before it is turned (a quarter turn swaps
// the box's sides): what a decoder that fits while it decodes is asked
// for. Fit is that fit, then Turn.
FitBox FitBeforeTurning(const Preparation& preparation);

// The size of a width x height picture fitted into the box, not turned.
void FitSize(const FitBox& fit, int width, int height, int& outWidth, int& outHeight);

// The part of a width x height picture the crop keeps, clipped to the
// picture (the whole picture when there is no crop), and of that, with a
// fill, the largest part in the fit box's proportions at the anchor; false,
// with the part empty, when the crop lies entirely outside it.
bool CroppedArea(const Preparation& preparation, int width, int height, Region& area);

// The largest crop of a width x height picture in the proportions of the
// preparation's fit box, as the picture stands before it is turned, centred
// in it: what the fit then scales to fill the whole box, with no empty band
// across it. None without a fit box or a picture.
Region FillingCrop(const Preparation& preparation, int width, int height);

// The size the picture takes when cropped, fitted and turned, a padded one
// the box's (its own size when none of them; 0 x 0 when the crop lies
// outside it).
void FittedSize(const Preparation& preparation, int width, int height, int& outWidth,
                int& outHeight);

// The picture cropped, fitted, then turned and mirrored, and padded to the
// box; colours are kept (each pixel 0x00BBGGRR).
MemoryRaster Fit(const PixelView& picture, const Preparation& preparation);
// The picture fitted into the box alone.
MemoryRaster Fit(const PixelView& picture, const FitBox& fit);
// The picture turned and mirrored as the preparation says (a copy when not).
MemoryRaster Turn(const PixelView& picture, const Preparation& preparation);

// Fit, fed the picture's rows one at a time, top row first, as a decoder
// makes them: the same pixels, bit for bit, while holding only the fitted
// picture and the rows of it that are still gathering (two at most). Fit is
// this with every row of a picture in memory.
class RowFitter {
  public:
    // For a picture of width x height pixels (both > 0), fitted into the box.
    RowFitter(int width, int height, const FitBox& fit);

    int width() const { return out_.width(); } // the fitted size
    int height() const { return out_.height(); }
    bool done() const { return fed_ == sourceHeight_; } // every row given

    // The next row of the picture: `width` pixels 0x??BBGGRR. Rows past the
    // last are ignored.
    void add(const std::uint32_t* row);
    // The fitted picture, once every row has been given (empty before).
    MemoryRaster take();

  private:
    enum class Mode { Copy, Down, Up };
    void finishRow();

    int sourceWidth_, sourceHeight_;
    Mode mode_ = Mode::Copy;
    int factor_ = 1;         // Up: the whole factor
    double sx_ = 1, sy_ = 1; // Down: source pixels per fitted pixel
    int fed_ = 0;            // source rows given so far
    int next_ = 0;           // Down: the first fitted row still gathering
    // Down: fitted column x takes the source columns column_[k], each
    // covered by share_[k] of its width, for k from first_[x] to first_[x + 1] - 1.
    std::vector<int> first_;
    std::vector<int> column_;
    std::vector<double> share_;
    std::vector<double> sums_[2]; // Down: per fitted row in flight, 3 sums a pixel
    MemoryRaster out_;
};

// The prepared picture for `kind`: fitted, then every pixel its luminance,
// toned and dithered, as grays (a fit alone also yields grays). Dithering
// chooses among the kind's level grays (GrayOfShade): error diffusion runs
// every row left to right, takes the nearest (the lighter of two equally
// near) and passes on the difference from it, what it carries into a dot
// kept within black and white; ordered dithering interpolates between the
// two neighbouring level grays; so a picture made of level grays comes back
// unchanged. Without dithering the toned grays go to the encoder's own
// bands, or to black and white at the threshold. A picture only turned keeps
// its colours. Only call it when the preparation is not neutral; a neutral one
// leaves the picture as it is.
MemoryRaster Prepare(const PixelView& picture, const OutputKind& kind,
                     const Preparation& preparation);
// The same from a picture already fitted and turned as `preparation` asks
// (Fit: neither is applied again): every pixel its luminance, toned and
// dithered. A fit alone gives the luminance grays too, so a preview that
// keeps the fitted picture and this one give the same bytes as Prepare.
MemoryRaster PrepareFitted(MemoryRaster fitted, const OutputKind& kind,
                           const Preparation& preparation);

} // namespace grob

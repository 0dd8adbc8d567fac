// The conversion pipeline: one request (its sources, their preparation, the
// kind and series, the outputs wanted with their targets) turned into its
// outputs by one function. The window's menu, clipboard and preview, the
// classic batch run and the modern command line (files and standard input)
// all build a request and call Convert.
//
// One way through: a single picture is a request of one item. Every source
// is loaded and cut into its items (the whole picture, its frames, its
// tiles), each item is prepared and encoded into a GROB object (and its
// mask), and each output is delivered from those objects by one function,
// to the files the output plan (targets.h) named before any work.
#pragma once

#include "budget.h"
#include "grob/encoders.h"
#include "grob/raster.h"
#include "grob/source.h"
#include "grob/sprites.h"
#include "pictureloader.h"
#include "regularfile.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pipeline {

class PictureFile; // loader.h

// What a conversion makes.
enum class Product {
    Grob,       // the GROB file in the binary transfer form
    GrobText,   // the GROB in the calculators' text form
    PicturePng, // the picture itself as a PNG (a GROB seen in its shades, say)
    PreviewPng, // the calculator's view of the GROB, as a PNG
    Preview,    // the calculator's view, as an image in memory
    List,       // every picture's GROB (and mask) in one list object, binary form
    ListText,   // the same list in the text form
    Player,     // a program that plays every GROB in turn, in the text form
    Viewer,     // a program that shows a GROB's shades: its frames and the grayscale viewer
    Source,     // every GROB (and mask) as source code, in the request's sourceForm
};

// Where an output goes. Paths are the system's bytes.
struct Target {
    enum class To { File, StandardOutput, Memory };
    To to = To::Memory;
    std::string path; // File
    // One file a picture when a request has several (frames, tiles):
    // walk.gro gives walk-01.gro, walk-02.gro, ... (as many digits as the
    // count has, two at least), and the masks walk-01.mask.gro, ...
    bool numbered = false;

    static Target File(std::string path) { return {To::File, std::move(path), false}; }
    static Target Numbered(std::string path) { return {To::File, std::move(path), true}; }
    static Target StandardOutput() { return {To::StandardOutput, {}, false}; }
    static Target Memory() { return {To::Memory, {}, false}; }
    // How messages name it: the path, or "-" for standard output.
    std::string name() const;
};

struct Output {
    Product product;
    Target target;
};

// Where a picture comes from.
struct Source {
    enum class From { File, StandardInput, Picture, Held };
    From from = From::File;
    std::string path; // File, Held; for Picture the path it was loaded from, if any
    std::shared_ptr<const grob::Image> picture; // Picture: already loaded and composed
    // Picture: every frame of it (an animation, the GROBs of a list), when
    // a request cuts it into its frames.
    std::vector<std::shared_ptr<const grob::Image>> frames;
    // Held: a file as it was opened (read where it lies, or its bytes as
    // they were read), loaded exactly as a file is (a JPEG to be fitted
    // decoded smaller, say), so that the window converts what it shows as
    // the command line would.
    std::shared_ptr<const PictureFile> held;
    int frame = 0; // Held: the frame, page or GROB of a list, when frames are not cut out

    static Source File(std::string path) { return {From::File, std::move(path), {}, {}, {}, 0}; }
    static Source StandardInput() { return {From::StandardInput, {}, {}, {}, {}, 0}; }
    static Source Loaded(std::shared_ptr<const grob::Image> picture, std::string path = {}) {
        return {From::Picture, std::move(path), std::move(picture), {}, {}, 0};
    }
    static Source Held(std::shared_ptr<const PictureFile> held, std::string path, int frame = 0) {
        return {From::Held, std::move(path), {}, {}, std::move(held), frame};
    }
    // How messages name it: the path, or "-" for standard input.
    std::string name() const;
};

using Cutting = grob::Cutting;

struct Request {
    Source source;
    std::vector<Source> more; // further pictures of one list, in order
    grob::OutputKind kind = grob::OutputKinds()[0];
    // Nothing: the series a GROB source carries in its header, else `defaultSeries`.
    std::optional<grob::Series> series;
    grob::Series defaultSeries = grob::Series::HP49;
    grob::Preparation preparation;
    // The unused bits at the end of each GROB row: the classic bytes, or cleared.
    grob::Padding padding = grob::Padding::Classic;
    // Whether the text form (GrobText, ListText) starts with the "%%HP:" line.
    grob::TextHeader textHeader = grob::TextHeader::With;
    int zoom = 2; // of the previews
    Cutting cutting;
    // Every GROB of a list source, even without cutting.frames (a list seen
    // as one sheet, --to png).
    bool wholeLists = false;
    // A GROB source's kind when its name does not tell it.
    std::optional<grob::OutputKind> grobKind;
    // Pictures as stored, not turned upright by their Exif orientation.
    bool keepStoredOrientation = false;
    // How long the player shows each frame; 0: the picture's own times.
    int playerDelayMs = 0;
    // The form of a Source output.
    grob::SourceForm sourceForm = grob::SourceForm::SysRpl;
    std::vector<Output> outputs;
};

// One output made.
struct Made {
    Output output;                   // its target's path is the file's own (numbered) path
    std::vector<std::uint8_t> bytes; // what was written, or kept (Memory targets)
    grob::Image image;               // a Preview kept in memory
};

struct Result {
    // Empty when every output was made; else the file the failure is about
    // (the picture, or the output that could not be made) and why.
    std::string file;
    std::string cause;
    bool ok() const { return cause.empty(); }
    std::string line() const; // "FILE: CAUSE"

    std::vector<Made> made;
    grob::GrobObject object; // the (first) GROB made, for whoever shows or copies it
    int dotsWide = 0;        // the GROB's size in dots
    int dotsHigh = 0;
    int zoom = 0;                     // the zoom the previews were drawn at
    std::vector<std::string> notes;   // what the user should know: the zoom was lowered, tiles kept
    bool fullMasks = false;           // masks were asked for and no picture had transparency
    int pictures = 0;                 // how many pictures became GROBs (several: frames, tiles)
    std::vector<std::string> written; // the files written, in order
    // The pictures (PicturePng) written over a file that was there: the
    // picture a GROB was made from, say, on a round trip back to its name.
    std::vector<std::string> replaced;
};

// The fitted picture of the last conversion, kept for the next one of the
// same picture and fit box: a preview whose tone, dithering or kind changes
// is neither decoded nor fitted again. Any thread may use it.
class FitCache {
  public:
    // The picture fitted and turned as `preparation` asks, from the cache when
    // the same picture (`picture`: its image, or its held file, and `frame`)
    // was fitted into the same box and turned alike last, else made now from what `load` gives.
    // The cache keeps the last picture alive, so that no other takes its place.
    std::shared_ptr<const grob::MemoryRaster>
    fitted(std::shared_ptr<const void> picture, int frame, const grob::Preparation& preparation,
           const std::function<std::shared_ptr<const grob::Image>()>& load);

  private:
    std::mutex mutex_;
    std::shared_ptr<const void> picture_;
    int frame_ = 0;
    grob::Preparation shape_; // the crop, fit, turn and mirror it was made with
    std::shared_ptr<const grob::MemoryRaster> fitted_;
};

// Who reads the causes: hints name the command line's options or the window's controls.
enum class Audience { CommandLine, Window };

struct Context {
    grob::Flush flush = grob::Flush::EachFile;
    Audience audience = Audience::CommandLine;
    // A preview too large at the zoom asked for: drawn at a lower zoom (with
    // a note) rather than refused.
    bool lowerZoom = false;
    // A GROB larger than a calculator holds (kMaxListBytes): refused rather
    // than written with a note.
    bool refuseOversize = false;
    // Set by another thread to give up early (a newer preview is wanted).
    const std::atomic<bool>* cancelled = nullptr;
    // Fitted pictures kept from one conversion of a loaded picture to the next.
    FitCache* fitCache = nullptr;
    // The memory the decodings under way may hold at once (none: no limit):
    // the process's one budget unless a caller gives its own.
    MemoryBudget* budget = &ProcessBudget();
    pictureloader::Options loading;
};

[[nodiscard]] Result Convert(const Request& request, const Context& context = {});

// What the header of the request's picture file already refuses, before
// anything is decoded (the sizes the request would make, the picture
// limits): the failure Convert would give; ok when the header refuses
// nothing, has nothing to tell, or the source is no picture file (one to
// read, or one held open).
[[nodiscard]] Result CheckHeader(const Request& request, const Context& context = {});

} // namespace pipeline

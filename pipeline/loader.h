// The one way every front end loads a picture file: the command line, the
// window and its preview, the sprite tools and the classic form alike.
//
// A file's format is recognised once and its header read before anything is
// decoded: a picture larger than the limits is refused there (and a
// conversion refuses more there: a GROB too large for its kind), and the
// memory its decoding takes is reserved from the process's one budget while
// it decodes, so that every decoding under way at once shares it, whatever
// the front end or the number of jobs; a picture the picture renderer draws
// takes the renderer's address space from the same budget while it draws.
// An animation's frames are decoded one by one and only the frame wanted is
// kept.
#pragma once

#include "budget.h"
#include "picture.h"
#include "pictureloader.h"
#include "regularfile.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace pipeline {

// The picture renderer's address space when its picture's header tells
// nothing of it, leased from the budget while it draws: Qt and the libraries
// take about 90 MB to start, and the test pictures and every real-world
// metafile at hand draw within 100 MB. What a header says the picture takes
// to draw comes on top, up to the whole budget.
constexpr std::uint64_t kRendererShare = 104ull << 20;

// What the header of a picture file refuses before anything is decoded: a
// picture larger than the limits, or what `check` refuses (by throwing
// grob::Error); empty when nothing. The header, when the format has one,
// in `header`.
std::string HeaderRefusal(std::span<const std::uint8_t> bytes,
                          const pictureloader::Options& options,
                          const std::function<void(const pictureloader::Header&)>& check,
                          std::optional<pictureloader::Header>* header = nullptr);

// What a header refused or a decoding failed: the picture's file and why.
// `check` may refuse a picture from its header by throwing grob::Error.
// The budget reserved is held by `lease` until the caller lets it go (the
// pictures loaded are the caller's to account for).
loading::Picture LoadWithin(std::span<const std::uint8_t> bytes,
                            const pictureloader::Options& options, const std::string& name,
                            MemoryBudget* budget, MemoryBudget::Lease& lease,
                            const std::function<void(const pictureloader::Header&)>& check = {});

// A picture file opened and checked as ReadRegularFile checks it: read
// where it lies when its format's decoder reads files so (PNG, JPEG, GIF,
// BMP and DIB, told by its first bytes: the header read first, and the
// memory taken the picture's and a bounded buffer's whatever the file's
// size), else its bytes read whole. Held open, it is read again where it
// lies for each picture loaded from it (an animation's frames one at a
// time), from any thread.
class PictureFile {
  public:
    // Nothing, and `error` says why, when it cannot be opened or read.
    static std::shared_ptr<const PictureFile> Open(const std::string& path, std::string& error);

    const std::string& path() const { return path_; }
    // What its header refuses, as HeaderRefusal tells it of the bytes.
    std::string headerRefusal(const pictureloader::Options& options,
                              const std::function<void(const pictureloader::Header&)>& check,
                              std::optional<pictureloader::Header>* header = nullptr) const;
    // Its picture, as LoadWithin loads the bytes.
    loading::Picture
    load(const pictureloader::Options& options, MemoryBudget* budget, MemoryBudget::Lease& lease,
         const std::function<void(const pictureloader::Header&)>& check = {}) const;

  private:
    codecs::File where() const { return {file_->fd(), file_->size()}; }
    std::string path_;
    std::optional<loading::RegularFile> file_;
    const pictureloader::Format* inPlace_ = nullptr; // null: read whole into bytes_
    loading::Bytes bytes_;
};

// The same for a picture file, opened as PictureFile opens it; a file that
// cannot be read is refused with the cause.
loading::Picture
LoadFileWithin(const std::string& path, const pictureloader::Options& options, MemoryBudget* budget,
               MemoryBudget::Lease& lease,
               const std::function<void(const pictureloader::Header&)>& check = {});
// What the header of a picture file refuses, read as LoadFileWithin reads
// it; the cause when the file cannot be read.
std::string FileHeaderRefusal(const std::string& path, const pictureloader::Options& options,
                              const std::function<void(const pictureloader::Header&)>& check);

// A picture file held open for showing (the window): opened once (see
// PictureFile: read where it lies, or its bytes read once), its frames (an
// animation's, a multi-page file's, a list's GROBs) decoded one at a time
// as they are asked for, within the process's budget; the frames shown last
// kept while they take little memory.
class HeldPicture {
  public:
    // Reads and loads the file's first frame; nothing, and `error` says why,
    // when it cannot. `grobKind`: the kind of GROB the file holds, whatever
    // its name says.
    static std::shared_ptr<HeldPicture>
    Open(const std::string& path, std::optional<grob::OutputKind> grobKind, std::string& error);

    const std::string& path() const { return path_; }
    // The file as it was opened, for converting it as the command line would.
    std::shared_ptr<const PictureFile> file() const { return file_; }
    int frames() const { return count_; }
    // The GROB's kind, for a GROB or a list read back.
    std::optional<grob::OutputKind> grobKind() const { return grobKind_; }
    // Frame `index` (from 0), decoded now unless it is kept (the frame asked
    // for last always is); how long an animation shows it in `delayMs`.
    // Null, and `error` says why, when it cannot be decoded.
    std::shared_ptr<const grob::Image> frame(int index, int* delayMs = nullptr,
                                             std::string* error = nullptr);

    // What the frames kept besides the last may take at once.
    static constexpr std::uint64_t kKeptBytes = 64ull << 20;
    // What they take now, and whether frame `index` is kept (the last or another).
    std::uint64_t keptBytes() const { return keptBytes_; }
    bool kept(int index) const {
        return (last_.image && last_.index == index) || kept_.contains(index);
    }

  private:
    struct Kept {
        int index = 0;
        std::shared_ptr<const grob::Image> image;
        int delayMs = 0;
    };
    loading::Picture load(int index) const;
    void keep(int index, std::shared_ptr<const grob::Image> image, int delayMs);

    std::string path_;
    std::shared_ptr<const PictureFile> file_;
    pictureloader::Options options_;
    int count_ = 1;
    std::optional<grob::OutputKind> grobKind_;
    Kept last_; // the frame asked for last
    std::map<int, Kept> kept_;
    std::list<int> order_; // the frames kept, in the order they were
    std::uint64_t keptBytes_ = 0;
};

} // namespace pipeline

#include "loader.h"

#include "grob/checks.h"

#include <algorithm>
#include <limits>

namespace pipeline {

namespace {

// What loading a picture of this header may take at most: what its
// decoder says, else its pixels twice (the decoded picture and a frame being
// composed, or the file's rows being fitted), four bytes each, and its
// opacity.
std::uint64_t DecodingCost(const pictureloader::Header& header) {
    if (header.memory > 0) return header.memory;
    return std::uint64_t(header.width) * std::uint64_t(header.height) * 9;
}

// What a decoding is taken to need when nothing tells it beforehand; but a
// single picture the renderer draws to be fitted comes fitted, no larger
// than the box.
constexpr std::uint64_t kUnknownCost = 64ull << 20;

std::uint64_t UnknownCost(const pictureloader::Format& format,
                          const pictureloader::Options& options) {
    if (!format.rendered || !options.fit.any() || options.allFrames) return kUnknownCost;
    return std::uint64_t(options.fit.width) * std::uint64_t(options.fit.height) * 5;
}

// What a header refuses: what `check` refuses (by throwing grob::Error), a
// picture larger than the limits, or what else the header rules out.
std::string Refusal(const std::optional<pictureloader::Header>& header,
                    const std::function<void(const pictureloader::Header&)>& check) {
    if (!header) return {};
    if (check) check(*header);
    return pictureloader::Refusal(*header);
}

// Loads what the header allowed, its memory (`cost`) reserved in `lease`.
// A picture the renderer draws takes the renderer's address space from the
// budget too, leased with the picture's memory while it draws (so that no
// one waits for a second part of the budget while holding a first): its
// share, Qt's start and the picture as drawn; one stopped by that limit
// draws once more, alone, with the whole budget, so that a large picture
// still loads while hostile ones stay bounded.
loading::Picture Load(const pictureloader::Format& format, std::span<const std::uint8_t> bytes,
                      const pictureloader::Options& options, const std::string& name,
                      MemoryBudget* budget, MemoryBudget::Lease& lease, std::uint64_t cost,
                      const std::optional<pictureloader::Header>& header) {
    if (!budget) return format.load(bytes, options, name);
    if (!format.rendered) {
        lease = budget->reserve(cost);
        return format.load(bytes, options, name);
    }
    pictureloader::Options within = options;
    within.renderMemoryBytes =
        std::min(budget->total(), kRendererShare + (header ? header->drawing : 0));
    lease = budget->reserve(cost + within.renderMemoryBytes);
    loading::Picture picture = format.load(bytes, within, name);
    if (picture.rendererLimited && within.renderMemoryBytes < budget->total()) {
        lease.release();
        lease = budget->reserve(std::numeric_limits<std::uint64_t>::max());
        within.renderMemoryBytes = budget->total();
        picture = format.load(bytes, within, name);
    }
    lease.keep(cost);
    return picture;
}

} // namespace

std::shared_ptr<const PictureFile> PictureFile::Open(const std::string& path, std::string& error) {
    auto picture = std::make_shared<PictureFile>();
    picture->path_ = path;
    picture->file_ = loading::RegularFile::Open(path, loading::kMaxFileBytes, &error);
    if (!picture->file_) return nullptr;
    // Enough to tell each format by its signature.
    std::uint8_t head[4096];
    const std::size_t got = picture->where().read(0, head);
    const pictureloader::Format& format = pictureloader::Recognise({head, got});
    if (format.loadFile && format.fileHeader) {
        picture->inPlace_ = &format;
    } else {
        auto bytes = picture->file_->readAll(&error);
        if (!bytes) return nullptr;
        picture->bytes_ = std::move(*bytes);
        picture->file_.reset(); // all that is wanted of it is read
    }
    return picture;
}

std::string
PictureFile::headerRefusal(const pictureloader::Options& options,
                           const std::function<void(const pictureloader::Header&)>& check,
                           std::optional<pictureloader::Header>* header) const {
    if (!inPlace_) return HeaderRefusal(bytes_, options, check, header);
    const auto read = inPlace_->fileHeader(where(), options);
    if (header) *header = read;
    return Refusal(read, check);
}

loading::Picture
PictureFile::load(const pictureloader::Options& options, MemoryBudget* budget,
                  MemoryBudget::Lease& lease,
                  const std::function<void(const pictureloader::Header&)>& check) const {
    if (!inPlace_) return LoadWithin(bytes_, options, path_, budget, lease, check);
    std::optional<pictureloader::Header> header;
    if (std::string refusal = headerRefusal(options, check, &header); !refusal.empty())
        return loading::Picture::Failure(std::move(refusal));
    if (budget) lease = budget->reserve(header ? DecodingCost(*header) : kUnknownCost);
    return inPlace_->loadFile(where(), options);
}

std::string HeaderRefusal(std::span<const std::uint8_t> bytes,
                          const pictureloader::Options& options,
                          const std::function<void(const pictureloader::Header&)>& check,
                          std::optional<pictureloader::Header>* header) {
    if (bytes.empty()) return "the file is empty";
    const pictureloader::Format& format = pictureloader::Recognise(bytes);
    std::optional<pictureloader::Header> read;
    if (format.header) read = format.header(bytes, options);
    if (header) *header = read;
    return Refusal(read, check);
}

loading::Picture LoadWithin(std::span<const std::uint8_t> bytes,
                            const pictureloader::Options& options, const std::string& name,
                            MemoryBudget* budget, MemoryBudget::Lease& lease,
                            const std::function<void(const pictureloader::Header&)>& check) {
    std::optional<pictureloader::Header> header;
    if (std::string refusal = HeaderRefusal(bytes, options, check, &header); !refusal.empty())
        return loading::Picture::Failure(std::move(refusal));
    const pictureloader::Format& format = pictureloader::Recognise(bytes);
    return Load(format, bytes, options, name, budget, lease,
                header ? DecodingCost(*header) : UnknownCost(format, options), header);
}

loading::Picture LoadFileWithin(const std::string& path, const pictureloader::Options& options,
                                MemoryBudget* budget, MemoryBudget::Lease& lease,
                                const std::function<void(const pictureloader::Header&)>& check) {
    std::string error;
    const auto picture = PictureFile::Open(path, error);
    if (!picture) return loading::Picture::Failure(error);
    return picture->load(options, budget, lease, check);
}

std::string FileHeaderRefusal(const std::string& path, const pictureloader::Options& options,
                              const std::function<void(const pictureloader::Header&)>& check) {
    std::string error;
    const auto picture = PictureFile::Open(path, error);
    if (!picture) return error;
    return picture->headerRefusal(options, check);
}

std::shared_ptr<HeldPicture> HeldPicture::Open(const std::string& path,
                                               std::optional<grob::OutputKind> grobKind,
                                               std::string& error) {
    auto file = PictureFile::Open(path, error);
    if (!file) return nullptr;
    auto held = std::make_shared<HeldPicture>();
    held->path_ = path;
    held->file_ = std::move(file);
    held->options_.allFrames = true; // an animation, a multi-page picture, a list of GROBs
    held->options_.grobKind = grobKind;
    std::optional<pictureloader::Header> header;
    held->file_->headerRefusal(held->options_, {}, &header);
    // Told by the header: only the first frame now. Else every frame at
    // once (a list of GROBs, the pages the renderer draws), kept while they
    // take little memory.
    const bool counted = header && header->pictures > 0;
    loading::Picture picture = held->load(counted ? 0 : -1);
    if (!picture.ok()) {
        error = picture.error;
        return nullptr;
    }
    held->count_ = counted ? header->pictures : int(picture.frames.size());
    held->grobKind_ = picture.grobKind;
    for (std::size_t i = picture.frames.size(); i-- > 0;) // the first frame last: it is shown
        held->keep(int(i), std::make_shared<const grob::Image>(std::move(picture.frames[i].image)),
                   picture.frames[i].delayMs);
    return held;
}

loading::Picture HeldPicture::load(int index) const {
    pictureloader::Options options = options_;
    options.onlyFrame = index;
    MemoryBudget::Lease lease;
    return file_->load(options, &ProcessBudget(), lease);
}

void HeldPicture::keep(int index, std::shared_ptr<const grob::Image> image, int delayMs) {
    last_ = {index, image, delayMs};
    const std::uint64_t size = std::uint64_t(image->pixels.size()) * 4;
    if (size > kKeptBytes || kept_.contains(index)) return;
    // The first kept let go first, until this one fits.
    while (keptBytes_ + size > kKeptBytes) {
        keptBytes_ -= std::uint64_t(kept_.at(order_.front()).image->pixels.size()) * 4;
        kept_.erase(order_.front());
        order_.pop_front();
    }
    kept_[index] = last_;
    order_.push_back(index);
    keptBytes_ += size;
}

std::shared_ptr<const grob::Image> HeldPicture::frame(int index, int* delayMs, std::string* error) {
    if (index < 0 || index >= count_) {
        if (error) *error = "it has no frame " + std::to_string(index + 1);
        return nullptr;
    }
    if (last_.image && last_.index == index) {
    } else if (const auto found = kept_.find(index); found != kept_.end()) {
        last_ = found->second;
    } else {
        // The frame shown last is let go first: a large one need not be held twice.
        last_ = {};
        loading::Picture picture = load(index);
        if (!picture.ok()) {
            if (error) *error = picture.error;
            return nullptr;
        }
        loading::Frame& frame = picture.frames.front();
        keep(index, std::make_shared<const grob::Image>(std::move(frame.image)), frame.delayMs);
    }
    if (delayMs) *delayMs = last_.delayMs;
    return last_.image;
}

} // namespace pipeline

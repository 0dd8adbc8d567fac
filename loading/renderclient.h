// Running the picture renderer (veldar-render, see renderprotocol.h): the
// file's bytes in, the pictures out, as they are drawn. Plain C++.
//
// The renderer runs within limits that the kernel enforces, so that what
// decides is never how busy the machine is: its address space (memory) and
// its processor time. It dies with the thread that started it (and so with
// the program, however that ends), and runs in a process group of its own.
// A clock only stops a renderer that waits on something and answers nothing.
#pragma once

#include "grob/prepare.h"
#include "grob/raster.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace renderclient {

// The renderer's address space when the caller gives none (the pipeline's
// loader gives each renderer its share of the run's memory). Qt and the
// libraries take about 90 MB of it to start; the largest picture accepted
// (32 million pixels) takes 128 MiB a copy, and a few copies may be held
// while it is drawn; and the file itself is held whole.
constexpr std::uint64_t kDefaultMemoryBytes = 1024ull << 20;
// Processor time: the largest pictures take a few seconds.
constexpr int kDefaultCpuSeconds = 30;
// The clock, for a renderer that uses no processor time and answers nothing.
constexpr int kDefaultWaitMs = 300000;

struct Request {
    std::string renderer; // the program to run
    std::string kind;     // "wmf", "emf", "picture" or "frames"
    // Each picture fitted into this box in the renderer, as grob::Fit makes
    // it, smaller only (a picture is never enlarged there, whatever
    // `upscale` says); 0 x 0: natural size.
    grob::FitBox fit{};
    bool opacity = false; // each picture's opacity too (fitted as well)
    // Pictures as stored, not turned upright by the orientation their
    // metadata records (TIFF, WebP, JPEG and the like that Qt reads).
    bool keepStoredOrientation = false;
    // Only this page (from 0) is kept, so that one page's memory is held
    // whatever their number: with "frames" the only one drawn (an
    // animation's frames before it read and let go), else the others read
    // past as they come; -1: every page.
    int onlyPage = -1;
    // Limits: the address space, in bytes (lowered to what this process may
    // have), processor time in seconds, and the clock in milliseconds.
    std::uint64_t memoryBytes = kDefaultMemoryBytes;
    int cpuSeconds = kDefaultCpuSeconds;
    int waitMs = kDefaultWaitMs;
};

struct Page {
    // Composed over white; each pixel's top byte is the picture's opacity
    // there (with `opacity` asked for; otherwise it means nothing).
    grob::Image image;
    int delayMs = 0;          // how long an animation shows it
    bool transparent = false; // not opaque throughout (before any fitting)
};

struct Result {
    std::vector<Page> pages; // in order; none on failure
    std::string error;       // one line: why there is no picture
    // The renderer stopped where more memory might have let it draw the
    // picture: out of its address space, or crashed (a library that does
    // not check what it allocates); never when its limit was lowered to what
    // this process may have, as no more could be given.
    bool limited = false;
    bool ok() const { return error.empty(); }
};

// Runs the renderer on `data` and waits for it. A renderer stopped by a
// limit is said as such ("the picture needs more memory than 512 MB to
// draw", "drawing the picture takes more than 30 s of processor time"); any
// other failure is the last line the renderer wrote on its standard error.
// Call it from a thread that outlives the call (any thread does).
Result Render(const Request& request, std::span<const std::uint8_t> data);

} // namespace renderclient

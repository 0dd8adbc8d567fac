// What a request may cost, checked before any work: the size of each
// picture, of its fitted (or enlarged) form, of its GROB, of its previews;
// and the fitted pictures kept for the window's previews.
#pragma once

#include "conversion.h"
#include "grob/checks.h"
#include "products.h"

#include <string>

namespace pipeline {

// A failure of a conversion: the file it is about and why (grob::Error).
[[noreturn]] void Fail(const std::string& file, const std::string& cause);

// Hints that name the front end's own controls.
std::string FitHint(Audience audience);

// What a request's sizes are checked against, worked out once for it: what
// it makes, its kind, the previews' zoom, and the words of its front end.
struct SizeRules {
    bool grobs = false;    // GROBs (or their views), not the pictures as they are
    bool previews = false; // the calculator's views too
    grob::OutputKind kind = grob::OutputKinds()[0];
    int zoom = 0;
    bool lowerZoom = false;      // a view too large at its zoom drawn smaller
    bool masks = false;          // each GROB followed by its mask
    bool refuseOversize = false; // a GROB larger than a calculator holds refused, else noted
    std::string file;            // the picture a refusal names
    std::string fitHint;
    std::string enlargeHint;
};
SizeRules RulesFor(const Request& request, const Context& context);

// The sizes a request makes from a picture of `width` x `height` pixels
// prepared as `preparation` asks, checked by its rules: the picture itself,
// the fitted (or enlarged) picture, the GROB, the previews. Fails, naming
// `file`, with the refusal.
struct CheckedSize {
    grob::ConversionSize made; // the prepared picture and its GROB (when GROBs are made)
    int zoom = 0;              // of the previews (0 when none are made)
    std::string note;          // why that zoom is lower than the one asked for
    std::string sizeNote;      // that the GROB is larger than a calculator holds
};
CheckedSize CheckSizes(int width, int height, const grob::Preparation& preparation,
                       const SizeRules& rules, const std::string& file);

// An item of `width` x `height` pixels, prepared as `preparation` asks: its
// sizes checked (the previews' zoom and note kept in `result`), and its
// GROB's (and mask's) dots counted for a list.
void Measure(int width, int height, const grob::Preparation& preparation, const SizeRules& rules,
             Items& items, Result& result);

// Whether the request makes a GROB (or a preview of one), rather than the
// pictures as they are.
bool MakesGrobs(const Request& request);
bool Wants(const Request& request, std::initializer_list<Product> products);

} // namespace pipeline

// What a request may cost, checked before any work: the size of each
// picture, of its fitted (or enlarged) form, of its GROB, of its previews;
// and the fitted pictures kept for the window's previews.
#pragma once

#include "conversion.h"

#include <string>

namespace pipeline {

// A failure of a conversion: the file it is about and why (grob::Error).
[[noreturn]] void Fail(const std::string& file, const std::string& cause);

// Hints that name the front end's own controls.
std::string FitHint(Audience audience);

// The sizes a request makes from a picture of `width` x `height` pixels
// prepared as `preparation` asks:
// the fitted (or enlarged) picture, the GROB, the previews. Returns the
// zoom the previews are drawn at (0 when none are made) and sets `note`
// when it had to be lowered; fails, naming `file`, with the refusal otherwise.
int CheckSizes(int width, int height, const grob::Preparation& preparation, const Request& request,
               const Context& context, const std::string& file, std::string& note);

// Whether the request makes a GROB (or a preview of one), rather than the
// pictures as they are.
bool MakesGrobs(const Request& request);
bool Wants(const Request& request, std::initializer_list<Product> products);

} // namespace pipeline

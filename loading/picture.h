// A loaded picture, or why there is none.
#pragma once

#include "grob/grobfile.h"
#include "grob/raster.h"

#include <QString>

#include <optional>

namespace loading {

struct Picture {
    grob::Image image; // composed over white
    QString error;     // empty when the picture was loaded
    // A GROB in the binary transfer form carries the calculator series in
    // its header; nothing for any other picture.
    std::optional<grob::Series> series;

    bool ok() const { return error.isEmpty(); }
    // Never an empty cause: a failure always says something.
    static Picture Failure(const QString& why) {
        return {{}, why.trimmed().isEmpty() ? QStringLiteral("it cannot be read") : why,
                std::nullopt};
    }
};

} // namespace loading

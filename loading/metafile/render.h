// Drawing Windows metafiles (WMF) and enhanced metafiles (EMF) at their
// natural size at 96 dots per inch.
#pragma once

#include "../picture.h"

#include <QByteArray>

namespace metafile {

// The metafile libraries are not ours and some read a little past the end
// of what they are given: `data` is the file's bytes followed by at least
// kMargin zero bytes, and `size` the file's own length.
constexpr qsizetype kMargin = 4096;

loading::Picture RenderWmf(QByteArray& data, qsizetype size);
loading::Picture RenderEmf(QByteArray& data, qsizetype size);

} // namespace metafile

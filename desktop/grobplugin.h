// The Qt image-format plugin for GROBs and lists of GROBs, so that every Qt
// application reads them through QImageReader: their pixels exactly as
// `veldar-convert --to png` writes them, the GROBs of a list as the images
// of a multi-image file. Built for Qt 6 and, from the same source, for Qt 5
// (desktop/qt5/).
#pragma once

#include "grob/kinds.h"
#include "grob/raster.h"

#include <QImageIOHandler>
#include <QImageIOPlugin>

#include <optional>
#include <vector>

class GrobHandler final : public QImageIOHandler {
  public:
    bool canRead() const override;
    bool read(QImage* image) override;
    QVariant option(ImageOption option) const override;
    bool supportsOption(ImageOption option) const override;
    int imageCount() const override;
    bool jumpToNextImage() override;
    bool jumpToImage(int imageNumber) override;
    int currentImageNumber() const override;

    // Whether the device holds a GROB or a list, in any form (peeked, not
    // read); a binary one only with a header HeaderSize takes.
    static bool CanRead(QIODevice* device, const grob::OutputKind& kind);

  private:
    // The file's name (the device is a file), which tells the kind.
    std::string fileName() const;
    grob::OutputKind kind() const;
    // Reads the file once, as far as a GROB in it can reach: every GROB as a
    // picture, or why not.
    bool load() const;

    mutable std::optional<std::vector<grob::Image>> pictures_;
    mutable bool failed_ = false;
    int next_ = 0;  // the picture read() gives
    int last_ = -1; // the picture read() gave last
};

class GrobPlugin final : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "grobplugin.json")

  public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format = {}) const override;
};

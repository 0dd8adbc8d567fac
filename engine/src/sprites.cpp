#include "grob/sprites.h"

#include "grob/checks.h"
#include "grob/encoders.h"

#include <algorithm>

namespace grob {

std::string TileRefusal(int width, int height, const Cutting& cutting, std::string_view padHint) {
    if (!cutting.tiles() || cutting.tilePad) return {};
    const int overX = width % cutting.tileWidth, overY = height % cutting.tileHeight;
    if (!overX && !overY) return {};
    std::string refusal = "the picture is " + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels, not a whole number of " +
                          std::to_string(cutting.tileWidth) + " x " +
                          std::to_string(cutting.tileHeight) + " tiles: " + std::to_string(overX) +
                          " pixels over across and " + std::to_string(overY) + " down";
    if (!padHint.empty()) refusal += " (" + std::string(padHint) + ")";
    return refusal;
}

std::string CutItems(Sprite whole, const Cutting& cutting, const Preparation& preparation,
                     std::string_view padHint, std::vector<Sprite>& out, int& counted,
                     std::vector<int>& kept) {
    if (!cutting.tiles()) {
        whole.number = ++counted;
        out.push_back(std::move(whole));
        return {};
    }
    if (preparation.cropped()) {
        std::string outside = CropRefusal(whole.image->width, whole.image->height, preparation);
        if (!outside.empty()) return outside;
        whole = CropSprite(whole, preparation);
    }
    std::string refusal = TileRefusal(whole.image->width, whole.image->height, cutting, padHint);
    if (refusal.empty()) CutTiles(whole, cutting, out, counted, kept);
    return refusal;
}

bool ShowsNothing(const Image& picture, const std::vector<std::uint8_t>& opacity) {
    for (std::size_t i = 0; i < picture.pixels.size(); ++i)
        if ((picture.pixels[i] & 0xFFFFFFu) != 0xFFFFFFu && (opacity.empty() || opacity[i] != 0))
            return false;
    return true;
}

Sprite CropSprite(const Sprite& whole, const Preparation& preparation) {
    Region area;
    if (!preparation.cropped() ||
        !CroppedArea(preparation, whole.image->width, whole.image->height, area))
        return whole;
    const Image& picture = *whole.image;
    Image part{area.width, area.height, {}};
    part.pixels.reserve(std::size_t(area.width) * std::size_t(area.height));
    Sprite cropped{nullptr, {}, whole.number};
    for (int y = area.y; y < area.y + area.height; ++y) {
        const std::size_t from = std::size_t(y) * std::size_t(picture.width) + std::size_t(area.x);
        part.pixels.insert(part.pixels.end(), picture.pixels.begin() + std::ptrdiff_t(from),
                           picture.pixels.begin() + std::ptrdiff_t(from) + area.width);
        if (!whole.opacity.empty())
            cropped.opacity.insert(cropped.opacity.end(),
                                   whole.opacity.begin() + std::ptrdiff_t(from),
                                   whole.opacity.begin() + std::ptrdiff_t(from) + area.width);
    }
    cropped.image = std::make_shared<const Image>(std::move(part));
    return cropped;
}

void CutTiles(const Sprite& whole, const Cutting& cutting, std::vector<Sprite>& out, int& number,
              std::vector<int>& kept) {
    const Image& picture = *whole.image;
    const int tw = cutting.tileWidth, th = cutting.tileHeight;
    const int across = (picture.width + tw - 1) / tw, down = (picture.height + th - 1) / th;
    for (int row = 0; row < down; ++row)
        for (int column = 0; column < across; ++column) {
            ++number;
            Image tile{tw, th,
                       std::vector<std::uint32_t>(std::size_t(tw) * std::size_t(th), 0xFFFFFFFFu)};
            // Padding is white and clear.
            std::vector<std::uint8_t> opacity;
            const bool padded =
                (column + 1) * tw > picture.width || (row + 1) * th > picture.height;
            if (!whole.opacity.empty() || padded) opacity.assign(tile.pixels.size(), 0);
            for (int y = 0; y < th && row * th + y < picture.height; ++y)
                for (int x = 0; x < tw && column * tw + x < picture.width; ++x) {
                    const std::size_t from =
                        std::size_t(row * th + y) * std::size_t(picture.width) +
                        std::size_t(column * tw + x);
                    const std::size_t to = std::size_t(y) * std::size_t(tw) + std::size_t(x);
                    tile.pixels[to] = picture.pixels[from];
                    if (!opacity.empty())
                        opacity[to] = whole.opacity.empty() ? 255 : whole.opacity[from];
                }
            if (cutting.skipEmpty && ShowsNothing(tile, opacity)) continue;
            kept.push_back(number);
            out.push_back(
                {std::make_shared<const Image>(std::move(tile)), std::move(opacity), number});
        }
}

std::string Runs(const std::vector<int>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(numbers[i]);
        if (j > i) {
            text += '-';
            text += std::to_string(numbers[j]);
        }
        i = j + 1;
    }
    return text;
}

GrobObject MaskOf(const Sprite& sprite, const Preparation& preparation, const Cutting& cutting,
                  Series series, const std::string& name, Padding padding) {
    // Clear is white, opaque black, split at the gray of the opacity asked
    // for: the 1-bit kind's own bands (opacity 128 and up dark) at 128.
    MemoryRaster clear(sprite.image->width, sprite.image->height, 0);
    if (!sprite.opacity.empty())
        for (int y = 0; y < clear.height(); ++y) {
            std::uint32_t* row = clear.row(y);
            const std::uint8_t* opacity =
                sprite.opacity.data() + std::size_t(y) * std::size_t(clear.width());
            for (int x = 0; x < clear.width(); ++x)
                row[x] = (255u - opacity[x]) * 0x010101u;
        }
    Preparation split = preparation.shape();
    split.background = 255; // a padded picture's field is clear
    split.threshold = 256 - std::clamp(cutting.maskOpacity, 1, 255);
    return EncodeObject(OutputKinds()[0], clear.view(), series, split, name, padding);
}

SheetSize SizeOfSheet(const std::vector<const Image*>& pictures) {
    SheetSize size;
    for (const Image* picture : pictures) {
        size.width += picture->width + (size.width ? 1 : 0);
        size.height = std::max<std::int64_t>(size.height, picture->height);
    }
    return size;
}

Image Sheet(const std::vector<const Image*>& pictures) {
    const SheetSize size = SizeOfSheet(pictures);
    const int width = int(size.width), height = int(size.height);
    Image sheet{width, height,
                std::vector<std::uint32_t>(std::size_t(width) * std::size_t(height), 0xFFFFFFFFu)};
    int left = 0;
    for (const Image* picture : pictures) {
        for (int y = 0; y < picture->height; ++y)
            std::copy_n(picture->pixels.data() + std::size_t(y) * std::size_t(picture->width),
                        picture->width,
                        sheet.pixels.data() + std::size_t(y) * std::size_t(width) +
                            std::size_t(left));
        left += picture->width + 1;
    }
    return sheet;
}

} // namespace grob

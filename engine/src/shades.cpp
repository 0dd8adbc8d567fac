#include "grob/shades.h"

namespace grob {

std::uint8_t Get1bit(const PictureRaster& picture, int cx, int cy) {
    return ShadeOfSum(ChannelSum(picture.point(cx, cy)), 384, 1);
}

std::uint8_t Get2bit(const PictureRaster& picture, int cx, int cy) {
    return ShadeOfSum(ChannelSum(picture.point(cx, cy)), 192, 3);
}

std::uint8_t Get4bit(const PictureRaster& picture, int cx, int cy) {
    return ShadeOfSum(ChannelSum(picture.point(cx, cy)), 48, 15);
}

std::uint8_t GetPF(const PictureRaster& picture, int pcnt, int pg, int cx, int cy) {
    return FrameBitOfSum(ChannelSum(picture.point(cx, cy)), 8 - pcnt + pg);
}

} // namespace grob

#include "renderprotocol.h"

#include "grob/options.h"

#include <algorithm>

namespace render {

namespace {

void Put(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

std::int32_t Get(const std::uint8_t* at) {
    return std::int32_t(std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 |
                        std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24);
}

} // namespace

std::array<std::uint8_t, kHeaderBytes> EncodeHeader(const BlockHeader& header) {
    std::array<std::uint8_t, kHeaderBytes> out{};
    std::copy(std::begin(kMagic), std::end(kMagic), out.begin());
    Put(out.data() + 4, std::uint32_t(header.width));
    Put(out.data() + 8, std::uint32_t(header.height));
    Put(out.data() + 12, std::uint32_t(header.delayMs));
    Put(out.data() + 16, header.transparent ? kTransparent : 0);
    return out;
}

std::optional<BlockHeader> DecodeHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderBytes ||
        !std::equal(std::begin(kMagic), std::end(kMagic), bytes.data()))
        return std::nullopt;
    BlockHeader header;
    header.width = Get(bytes.data() + 4);
    header.height = Get(bytes.data() + 8);
    header.delayMs = Get(bytes.data() + 12);
    const std::int32_t flags = Get(bytes.data() + 16);
    header.transparent = (flags & kTransparent) != 0;
    if (header.width <= 0 || header.height <= 0 || header.delayMs < 0 ||
        (flags & ~std::int32_t(kTransparent)) != 0 || header.width > grob::kMaxSide ||
        header.height > grob::kMaxSide ||
        std::int64_t(header.width) * header.height > grob::kMaxPixels)
        return std::nullopt;
    return header;
}

} // namespace render

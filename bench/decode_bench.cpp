// decode_bench FILE [W H] [frames]: decodes FILE once with the decoders of
// their own as a conversion does, for its time and peak memory under
// /usr/bin/time or bench/measure.py: the file read where it lies, a piece
// at a time, never whole; with a box, fitted while decoded; with `frames`,
// a GIF's frames one at a time. No Qt, so the figures are the decoder's own.
#include "codecs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: decode_bench FILE [W H] [frames]\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) return 2;
    const codecs::File file{fd, std::uint64_t(st.st_size)};
    std::uint8_t head[4096];
    const codecs::Handler* format = codecs::Sniff({head, file.read(0, head)});
    codecs::DecodeOptions options;
    if (argc >= 4) {
        options.fit = {std::atoi(argv[2]), std::atoi(argv[3])};
        options.fitted = true;
    }
    if (argc >= 5 && std::strcmp(argv[4], "frames") == 0) {
        if (!format || !format->readFileFrames) {
            std::printf("%s: not a picture of frames\n", argv[1]);
            return 1;
        }
        std::string error;
        int frames = 0;
        const bool ok = format->readFileFrames(
            file, options,
            [&](const codecs::Frame&) {
                ++frames;
                return true;
            },
            &error);
        std::printf("%s: %d frames%s%s\n", argv[1], frames, ok ? "" : ", ", error.c_str());
        return ok ? 0 : 1;
    }
    const codecs::Decoded decoded = codecs::Decode(file, format, options);
    if (!decoded.ok()) {
        std::printf("%s: %s\n", argv[1], decoded.error.c_str());
        return 1;
    }
    std::printf("%s: %d x %d\n", argv[1], decoded.image.width, decoded.image.height);
    return 0;
}

/* The least a program must do to turn PNG sprites into 1-bit GROBs, for the
 * speed comparison of bench/speed.sh: libpng decodes each picture to 8-bit
 * RGB, each dot is dark when the sum of its channels is below 384 (columns
 * past the picture's width dark, as the program writes them), and the file
 * (HPHP49-X header, GROB head, body) goes to a temporary name that is then
 * renamed over the output, as the program writes files.
 *
 *   png2grob PICTURE.png...   writes PICTURE.gro beside each
 */
#include <png.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int convert(const char* path) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return 1;
    image.format = PNG_FORMAT_RGB;
    const unsigned w = image.width, h = image.height;
    unsigned char* rgb = malloc(PNG_IMAGE_SIZE(image));
    if (!rgb || !png_image_finish_read(&image, NULL, rgb, 0, NULL)) return 1;
    const unsigned stride = (w + 7) / 8;
    const size_t body = (size_t)stride * h, size = 15 + 2 * body;
    unsigned char* file = calloc(18 + body, 1);
    memcpy(file, "HPHP49-X\x1e\x2b", 10);
    file[10] = (unsigned char)((size & 0xF) << 4);
    file[11] = (unsigned char)(size >> 4);
    file[12] = (unsigned char)(size >> 12);
    file[13] = (unsigned char)h;
    file[14] = (unsigned char)(h >> 8);
    file[15] = (unsigned char)(((h >> 16) & 0xF) | ((w & 0xF) << 4));
    file[16] = (unsigned char)(w >> 4);
    file[17] = (unsigned char)(w >> 12);
    for (unsigned y = 0; y < h; ++y) {
        const unsigned char* p = rgb + (size_t)y * w * 3;
        unsigned char* out = file + 18 + (size_t)y * stride;
        for (unsigned x = 0; x < stride * 8; ++x) {
            const int dark = x >= w || p[3 * x] + p[3 * x + 1] + p[3 * x + 2] < 384;
            out[x / 8] |= (unsigned char)(dark << (x % 8));
        }
    }
    char target[4096], temporary[4112];
    snprintf(target, sizeof target, "%.*s.gro", (int)(strrchr(path, '.') - path), path);
    snprintf(temporary, sizeof temporary, "%s.tmp", target);
    const int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int ok = fd >= 0 && write(fd, file, 18 + body) == (ssize_t)(18 + body) &&
                   close(fd) == 0 && rename(temporary, target) == 0;
    free(rgb);
    free(file);
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i)
        failed |= convert(argv[i]);
    return failed;
}

// The engine and the preview as the web page calls them: a few plain C
// functions over bytes in the WebAssembly memory. Each call leaves its
// result (bytes, or an image's RGBA pixels, with a few numbers) or its error
// in one place that the result functions read until the next call.
//
// Pictures are RGBA bytes, row by row with no slack, as a canvas gives
// them; the alpha byte is ignored by the encoders (compose first). The
// options come as `settings`: one "name=value" a line, with the command
// line's names and values as the options table has them (which the page
// reads from the table's JSON): "kind=g16\nfit=131x64\ndither=atkinson\n
// series=48\ncrop=none\n". Each is set through the table as the preferences
// file sets it; an option not named keeps its default, and one that has no
// effect with the others (the table's requirements) is left out. A name
// that is no option's, or a value its option does not take, is refused.
// A new option of the table reaches the page with no change here.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// What the bytes look like: 1 a binary GROB file, 2 text holding a GROB
// (try them as a picture first: a picture may mention a GROB), else 0. A
// list of GROBs counts as a GROB (veldar_read_grob says what it is).
int veldar_is_grob(const std::uint8_t* data, std::size_t size);

// A picture's size from its header, read and checked as the program reads
// and checks it before decoding (PNG, JPEG, GIF, BMP and DIB), upright as
// its Exif data turns it: 0 when the size is accepted (info 0 and 1: width
// and height; info 2: 1 for a JPEG, 2 for a GIF, else 0), 1 with the
// refusal in the program's words, or 3 when the header does not tell
// (another kind, which the program hands to its renderer: the browser's
// decoder decides, and veldar_check_picture checks what it gives).
int veldar_peek_picture(const std::uint8_t* data, std::size_t size);

// A picture (PNG, JPEG, GIF, BMP or DIB) decoded by the program's own
// decoders as the program decodes it to convert it with `settings`: turned
// upright by its Exif data unless keep-orientation is set, and with a fit
// (and no crop) already fitted, a JPEG decoded at a smaller scale first.
// With `frames`, every frame of a GIF one after another, each the whole
// canvas as shown at its moment, never fitted, and each frame's delay in
// milliseconds as the result's numbers. 0 with the picture as the
// result image (info 0: the frames in it), its pixels composed over white
// and the fourth byte how opaque the picture was there (255 throughout
// when fitted); 1 with the refusal
// or the decoder's cause in the program's words; 3 for another kind.
int veldar_decode(const std::uint8_t* data, std::size_t size, const char* settings, int frames);

// 0 when a picture of this size is accepted; 1 with the error when not.
int veldar_check_picture(int width, int height);

// Composes straight-alpha RGBA pixels over white in place (transparent
// becomes white) with the desktop program's arithmetic (grob::OverWhite).
void veldar_compose(std::uint8_t* rgba, int width, int height);

// The GROB file of the picture prepared and encoded as `settings` ask
// (kind, series, the preparation, clear-padding): 0 with the file's bytes
// as the result (info 0 and 1: its size in dots), or 1 with the error, or 2
// with the error when the picture is too large at this fit.
int veldar_encode(const std::uint8_t* rgba, int width, int height, const char* settings);

// The sprite tools: `count` pictures of `width` x `height` straight-alpha
// RGBA pixels one after another (the frames of an animation; only the first
// is used unless `frames` is set), or with `composed` pixels as
// veldar_decode gives them, prepared and encoded as veldar_encode
// does, cut and masked as `settings` ask (frames, tile, tile-pad,
// skip-empty, mask and the mask's own options), all in one list: 0 with the
// list file as the result (the text form with `text`), exactly as
// veldar-convert --list writes it (info 0: the GROBs in it, masks counted;
// info 1: the pictures and tiles counted; with skip-empty the note says
// which were kept), or 1 with the error, or 2 when a smaller fit would help.
int veldar_sprites(const std::uint8_t* rgba, int width, int height, int count, int composed,
                   const char* settings);
// The same GROBs one a file, as veldar-convert writes them without --list
// (walk-01.g16, walk-01.mask.gro, ...; in the text form with `text`, bare
// with `bare`): 0 with the files one after another as the result, and for
// each three numbers (veldar_result_number): its item's number, 1 for a
// mask, and its size in bytes; info 0: the files.
int veldar_sprite_files(const std::uint8_t* rgba, int width, int height, int count, int composed,
                        const char* settings);

// The text form of a binary GROB file: 0 with the text as the result, or 1.
// `bare`: the object alone, without the "%%HP: T(3)A(R)F(.);" line, as the
// calculator's command line (or an emulator's) takes it pasted.
int veldar_text(const std::uint8_t* grob, std::size_t size, int bare);

// A GROB file (either form) read as a picture, its kind told by `name`'s
// extension whatever its case, or by `kind` (an index into the table's
// kinds; -1 for the name's), as the window's Open as kind reads it; of a
// list of GROBs, GROB `index` (from 0), in the list's kind: 0 with its dots
// in grays as the result image (info 0: the series of a binary file, 48 or
// 49, 0 for the text form; info 1: the kind, as an index into the table's
// kinds; info 2: the GROBs in the file, 1 for a GROB alone), or 1.
int veldar_read_grob(const std::uint8_t* data, std::size_t size, const char* name, int kind,
                     int index);

// The calculator's view of a binary GROB file of the kind `settings` name
// at their zoom, lowered (with a note) when the view would be too large: 0
// with the view as the result image (info 0: the zoom drawn), or 1, or 2
// when even zoom 1 is too large for this fit.
int veldar_preview(const std::uint8_t* grob, std::size_t size, const char* settings);

// The grayscale viewer (grob/viewer.h), which the page gives as the
// command line's --viewer gives it. veldar_viewer_program: a binary GROB
// file (veldar_encode's) of the grayscale kind `kind` (an index into the
// table's kinds) with the viewer in one program, the bytes of photo.prg: 0
// with them as the result, or 1 (a 1-bit kind, a damaged GROB).
// veldar_viewer_file: the viewer alone for the series (48 or 49), GV.
int veldar_viewer_program(const std::uint8_t* grob, std::size_t size, int kind);
int veldar_viewer_file(int series);

// The last call's result: its bytes (RGBA pixels for an image), their
// count, an image's size, the numbers it reports (index 0 to 2, and any
// others), and its error or note (empty when there is none).
const std::uint8_t* veldar_result();
std::size_t veldar_result_size();
int veldar_result_width();
int veldar_result_height();
int veldar_result_info(int index);
// The numbers some calls give besides (index from 0; 0 beyond them).
int veldar_result_number(int index);
const char* veldar_message();
}

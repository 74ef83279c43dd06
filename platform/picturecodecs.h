#pragma once

// What the program's two picture decoders (the sheet's size reader and the windows' picture
// loader) share besides the picture bounds of platform/picturesize.h: a JPEG error manager that
// turns a fatal error into a jump back to the decoder instead of an exit, the JPEG header test that
// bounds what decoding may cost, a GIF reader of bytes in memory and the walk to a GIF's first
// image.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
// gif_lib.h is C and declares its own types.
#include <gif_lib.h>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "platform/picturesize.h"

// The memory libjpeg may take for one picture, and the scans a progressive JPEG may have: a
// progressive picture keeps all its coefficients while its scans come in (128 bytes for every
// 8 x 8 block of each component), and every scan passes over them again. Encoders write about
// ten scans.
inline constexpr long kMaxJpegMemory = 64L * 1024 * 1024;
inline constexpr int kMaxJpegScans = 100;

struct TJpegError {
  jpeg_error_mgr Manager;
  jpeg_progress_mgr Progress;
  std::jmp_buf Jump;
};

// Makes error the error manager of info: a fatal error longjmps to error->Jump (which the
// caller sets with setjmp before any other libjpeg call, in a frame free of objects with
// destructors), and warnings of a corrupt but decodable stream are not reported.
void InstallJpegErrorManager(jpeg_decompress_struct* info, TJpegError* error);

// Called after jpeg_read_header on the Size bytes of a JPEG: false for a picture not to
// decode: beyond the picture bounds, more pixels than its data can hold, or arithmetic-coded.
// Otherwise true, and decoding is bounded from here on: more memory than kMaxJpegMemory or
// more scans than kMaxJpegScans is a fatal error.
bool AcceptJpegHeader(jpeg_decompress_struct* info, TJpegError* error, std::size_t size);

// The bytes of a GIF in memory, read by giflib through ReadGifMemory (its UserData).
struct TGifMemory {
  const unsigned char* Data;
  std::size_t Size;
  std::size_t Position;
};

int ReadGifMemory(GifFileType* gif, GifByteType* buffer, int count);

// Reads the records of an open GIF up to its first image and that image's descriptor (into
// gif->Image), skipping extensions. Answers the image's colour map (its own or the screen's);
// nullptr on any failure, when no image follows, for an image without colours or size, and
// when the logical screen or the image is beyond the picture bounds. transparent gets the
// transparent index of the image's graphic control block, -1 for none.
const ColorMapObject* ReadFirstGifDescriptor(GifFileType* gif, int* transparent);

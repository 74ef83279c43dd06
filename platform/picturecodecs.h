#pragma once

// What the program's two picture decoders (the sheet's size reader and the windows' picture
// loader) share of libjpeg and giflib: a JPEG error manager that turns a fatal error into a
// jump back to the decoder instead of an exit, a GIF reader of bytes in memory and the walk to
// a GIF's first image.

#include <csetjmp>
#include <cstddef>
#include <cstdio>
// gif_lib.h is C and declares its own types.
#include <gif_lib.h>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

// Makes error the error manager of info: a fatal error longjmps to error->Jump (which the
// caller sets with setjmp before any other libjpeg call, in a frame free of objects with
// destructors), and warnings of a corrupt but decodable stream are not reported.
void InstallJpegErrorManager(jpeg_decompress_struct* info, TJpegError* error);

// The bytes of a GIF in memory, read by giflib through ReadGifMemory (its UserData).
struct TGifMemory {
  const unsigned char* Data;
  std::size_t Size;
  std::size_t Position;
};

int ReadGifMemory(GifFileType* gif, GifByteType* buffer, int count);

// Reads the records of an open GIF up to its first image and that image's descriptor (into
// gif->Image), skipping extensions. Answers the image's colour map (its own or the screen's);
// nullptr on any failure, when no image follows, or for an image without colours or size.
// transparent gets the transparent index of the image's graphic control block, -1 for none.
const ColorMapObject* ReadFirstGifDescriptor(GifFileType* gif, int* transparent);

#pragma once

// Picture decoding for display: JPEG through libjpeg, GIF through giflib, and the loader that
// picks the decoder by a file's extension.

#include <QImage>
#include <cstddef>
#include <string>

// Both decoders keep the picture bounds and the decoding bounds of the sheet's size reader
// (platform/picturesize.h, platform/picturecodecs.h), so that a hostile header cannot make them
// allocate gigabytes or decode for seconds, and a window shows what a sheet takes.

// The picture of a JPEG file in memory, as 24-bit RGB; a null image when the bytes are not a
// JPEG that can be decoded or the picture is beyond the bounds.
QImage DecodeJpeg(const unsigned char* data, std::size_t size);

// The first picture of a GIF file (GIF87a or GIF89a) in memory, on a canvas of the logical
// screen's size, transparent where the picture does not cover it or its transparent colour
// shows; a null image when the bytes are not a GIF that can be decoded or the canvas or the
// picture is beyond the bounds.
QImage DecodeGif(const unsigned char* data, std::size_t size);

// The picture of a file, the decoder chosen by the extension of its name (Latin letters in any
// case): "jpg" and "jpeg" JPEG, "gif" GIF. A null image for any other extension, a file that
// cannot be read, or one that does not decode. The path is a file-system path (UTF-8).
QImage LoadPictureFile(const std::string& path);

#pragma once

// Picture decoding for display: JPEG through libjpeg.

#include <QImage>
#include <cstddef>

// The picture of a JPEG file in memory, as 24-bit RGB; a null image when the bytes are not a
// JPEG that can be decoded or the picture is larger than kMaxPicturePixels.
QImage DecodeJpeg(const unsigned char* data, std::size_t size);

// The largest picture decoded (width x height), so that a hostile header cannot make the
// decoder allocate gigabytes.
inline constexpr long long kMaxPicturePixels = 64LL * 1024 * 1024;

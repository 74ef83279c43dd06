#pragma once

// The pictures of the sample scheme: whole picture files, made by make-sample-pictures.sh.

#include <string>

// A 64 x 96 JPEG of a rack front.
const std::string& SampleRackJpeg();
// A 64 x 48 GIF of a cabinet door.
const std::string& SampleDoorGif();

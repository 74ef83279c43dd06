#pragma once

// One fuzz entry point, as a libFuzzer target defines it, under its corpus name.
struct FuzzTarget {
  const char* Name;
  int (*Run)(const unsigned char* data, unsigned long size);
};

// Terminated by an entry whose Name is null.
extern const FuzzTarget kFuzzTargets[];

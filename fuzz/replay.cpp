// Replays every saved fuzz input (corpus and former crashes) through its target, so that
// an input that once crashed or hung a reader stays a test under any compiler.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/replay.h"

namespace {

std::vector<unsigned char> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzReplay, EverySavedInputRunsCleanly) {
  for (const FuzzTarget* target = kFuzzTargets; target->Name; ++target) {
    std::filesystem::path dir = std::filesystem::path(QUORVANE_CORPUS_DIR) / target->Name;
    // The empty input is always replayed, even for a target without a corpus yet.
    EXPECT_EQ(target->Run(nullptr, 0), 0) << target->Name;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      SCOPED_TRACE(entry.path().string());
      std::vector<unsigned char> bytes = ReadAll(entry.path());
      EXPECT_EQ(target->Run(bytes.data(), bytes.size()), 0);
    }
  }
}

}  // namespace

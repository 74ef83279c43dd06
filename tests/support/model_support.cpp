#include "tests/support/model_support.h"

#include <algorithm>

std::unique_ptr<TSpecDataStream> StreamOf(const SchemeWriter& writer) {
  auto stream = std::make_unique<TSpecDataStream>();
  writer.WriteTo(*stream);
  return stream;
}

std::unique_ptr<TSpecDataStream> StreamOfPrefix(const SchemeWriter& writer, std::size_t size) {
  SchemeWriter prefix;
  prefix.Raw(writer.Bytes().data(), std::min(size, writer.Size()));
  return StreamOf(prefix);
}

std::string SampleSchemePath() {
  return QUORVANE_BINARY_DIR "/scheme/sample.qzs";
}

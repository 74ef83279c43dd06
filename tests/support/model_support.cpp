#include "tests/support/model_support.h"

std::unique_ptr<TSpecDataStream> StreamOf(const SchemeWriter& writer) {
  auto stream = std::make_unique<TSpecDataStream>();
  writer.WriteTo(*stream);
  return stream;
}

std::string SampleSchemePath() {
  return QUORVANE_BINARY_DIR "/scheme/sample.qzs";
}

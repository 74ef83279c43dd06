#include "app/data.h"

#include "model/core.h"

TDM* DM = nullptr;

TDM::TDM(QObject* parent) : QObject(parent) {
  setObjectName("DM");
  DataModuleCreate(this);
}

TDM::~TDM() {
  DataModuleDestroy(this);
}

void TDM::DataModuleCreate(QObject*) {
  Template = std::make_unique<TSpecTemplate>();
}

void TDM::DataModuleDestroy(QObject*) {
  Template.reset();
}

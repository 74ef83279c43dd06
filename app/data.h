#pragma once

// The data module: the non-visual owner of the program's long-lived objects. It holds the
// scheme root, which the start-up fills from the embedded scheme; the settings, the link map
// and the engine join it as they are built.

#include <QObject>
#include <memory>

class TSpecTemplate;

class TDM : public QObject {
  Q_OBJECT

 public:
  // Runs DataModuleCreate.
  explicit TDM(QObject* parent = nullptr);
  // Runs DataModuleDestroy.
  ~TDM() override;

  // Creates the scheme root with its default service strings.
  void DataModuleCreate(QObject* Sender);
  // Frees the scheme root.
  void DataModuleDestroy(QObject* Sender);

  std::unique_ptr<TSpecTemplate> Template;
};

// The data module of the running program; set while it exists.
extern TDM* DM;

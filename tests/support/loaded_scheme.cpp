#include "tests/support/loaded_scheme.h"

#include "graph/elements.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/errors.h"

std::vector<std::uint8_t> SchemeBytes(const SchemeParts& parts) {
  SchemeWriter out;
  WriteTemplate(out, parts.Template);
  WriteGraph(out, parts.Graph);
  WriteSchemeStamp(out, parts.Stamp);
  WritePriceList(out, parts.Products, parts.Categories);
  return out.Bytes();
}

LoadedScheme::LoadedScheme()
    : Template(std::make_unique<TSpecTemplate>()), Graph(std::make_unique<TScheme>()) {}

LoadedScheme::LoadedScheme(const std::vector<std::uint8_t>& bytes) : LoadedScheme() {
  TSpecDataStream stream;
  stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  Load(stream);
}

std::unique_ptr<LoadedScheme> LoadedScheme::FromFile(const std::string& path) {
  TSpecDataStream stream;
  if (!stream.LoadFromFile(path)) throw Exception("cannot read the scheme " + path);
  std::unique_ptr<LoadedScheme> scheme(new LoadedScheme());
  scheme->Load(stream);
  return scheme;
}

void LoadedScheme::Load(TSpecDataStream& stream) {
  Template->LoadFromStream(stream);
  TSpecSchemeManager(Graph.get(), Template.get()).LoadFromStream(stream);
  Stamp = stream.ReadInteger();
  Template->PriceList()->LoadFromStream(stream);
  LinkMap = std::make_unique<TSpecLinkMap>(Template.get());
  LinkMap->Build(Graph.get());
}

LoadedScheme::~LoadedScheme() {
  Graph.reset();
  LinkMap.reset();
  Template.reset();
}

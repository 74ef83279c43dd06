#include "model/saver.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/resources.h"

static_assert(std::numeric_limits<long double>::digits == 64 && sizeof(long double) >= 10,
              "the 10-byte extended layout needs the x87 long double");

std::uint32_t TSpecDataChunk::Write(const void* source, std::uint32_t count) {
  std::uint32_t taken = std::min(count, FreeSpace());
  if (taken > 0) {
    std::memcpy(Data + Used, source, taken);
    Used += taken;
  }
  return taken;
}

bool TSpecDataStream::LoadFromFile(const std::string& fileName) {
  std::unique_ptr<IReadFile> file = FileSystem().OpenRead(fileName);
  if (!file) return false;
  std::uint64_t size = file->Size();
  if (size > MaxSize) return false;
  Clear();
  FillChunks(size, [&](unsigned char* buffer, std::uint32_t n) { file->ReadBlock(buffer, n); });
  return true;
}

bool TSpecDataStream::LoadFromFile(const std::string& fileName, std::uint32_t headSize,
                                   const std::function<bool(TSpecDataStream&)>& acceptHead) {
  std::unique_ptr<IReadFile> file = FileSystem().OpenRead(fileName);
  if (!file) return false;
  std::uint64_t size = file->Size();
  if (size > MaxSize) return false;
  Clear();
  const std::uint64_t head = std::min<std::uint64_t>(size, headSize);
  FillChunks(head, [&](unsigned char* buffer, std::uint32_t n) { file->ReadBlock(buffer, n); });
  if (!acceptHead(*this)) {
    Clear();
    return false;
  }
  Rewind();
  // The rest is appended through the one buffer: the chunk the head began is filled first.
  unsigned char buffer[TSpecDataChunk::Capacity];
  std::uint64_t remaining = size - head;
  while (remaining > 0) {
    auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, sizeof buffer));
    file->ReadBlock(buffer, n);
    Write(buffer, n);
    remaining -= n;
  }
  return true;
}

bool TSpecDataStream::LoadFromResource(const std::string& resourceName) {
  std::optional<std::span<const unsigned char>> resource = FindModuleResource(resourceName);
  if (!resource) return false;
  if (resource->size() > MaxSize) return false;
  Clear();
  std::size_t offset = 0;
  FillChunks(resource->size(), [&](unsigned char* buffer, std::uint32_t n) {
    std::memcpy(buffer, resource->data() + offset, n);
    offset += n;
  });
  return true;
}

bool TSpecDataStream::SaveToFile(const std::string& fileName) const {
  return WriteWhole(FileSystem().CreateWrite(fileName));
}

bool TSpecDataStream::SaveToFileReplacing(const std::string& fileName) const {
  return WriteWhole(FileSystem().CreateReplacing(fileName));
}

bool TSpecDataStream::SaveToFileReplacing(const std::string& fileName, std::string& reason) const {
  return WriteWhole(FileSystem().CreateReplacing(fileName, reason));
}

bool TSpecDataStream::WriteWhole(std::unique_ptr<IWriteFile> file) const {
  if (!file) return false;
  for (const auto& chunk : Chunks) {
    if (chunk->Used > 0) file->WriteBlock(chunk->Data, chunk->Used);
  }
  file->Close();
  return true;
}

void TSpecDataStream::Clear() {
  ClearChunks();
}

template <typename ReadBlock>
void TSpecDataStream::FillChunks(std::uint64_t size, ReadBlock&& readBlock) {
  // One block per chunk through one buffer; a chunk is added only once its bytes arrived, so
  // a failing source leaves the whole blocks read before it.
  unsigned char buffer[TSpecDataChunk::Capacity];
  std::uint64_t remaining = size;
  while (remaining > 0) {
    auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, sizeof buffer));
    readBlock(buffer, n);
    AddChunk()->Write(buffer, n);
    FSize += n;
    remaining -= n;
  }
}

TSpecDataChunk* TSpecDataStream::AddChunk() {
  if (Chunks.size() >= MaxChunks) throw Exception("Stream is full.");
  Chunks.push_back(std::make_unique<TSpecDataChunk>());
  return Chunks.back().get();
}

void TSpecDataStream::ClearChunks() {
  Rewind();
  DropBlock();
  Chunks.clear();
  FSize = 0;
}

TSpecDataChunk* TSpecDataStream::GetChunk(int index) const {
  if (index < 0 || index >= ChunkCount()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return Chunks[static_cast<std::size_t>(index)].get();
}

void TSpecDataStream::Write(const void* source, std::uint32_t count) {
  if (count > MaxSize - FSize) throw Exception("Stream is full.");
  const auto* bytes = static_cast<const unsigned char*>(source);
  std::uint32_t remaining = count;
  while (remaining > 0) {
    TSpecDataChunk* chunk =
        (!Chunks.empty() && Chunks.back()->FreeSpace() > 0) ? Chunks.back().get() : AddChunk();
    std::uint32_t written = chunk->Write(bytes + (count - remaining), remaining);
    FSize += written;
    remaining -= written;
  }
}

void TSpecDataStream::WriteInteger(std::int32_t value) {
  auto u = static_cast<std::uint32_t>(value);
  unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                            static_cast<unsigned char>(u >> 16),
                            static_cast<unsigned char>(u >> 24)};
  Write(bytes, 4);
}

void TSpecDataStream::WriteWord(std::uint16_t value) {
  unsigned char bytes[2] = {static_cast<unsigned char>(value),
                            static_cast<unsigned char>(value >> 8)};
  Write(bytes, 2);
}

void TSpecDataStream::WriteString(const std::string& text) {
  if (text.size() > 0xFFFF) throw Exception("Text is too long to be stored.");
  WriteWord(static_cast<std::uint16_t>(text.size()));
  Write(text.data(), static_cast<std::uint32_t>(text.size()));
}

TSpecDataReader::TBlock TSpecDataStream::BlockAt(std::uint32_t Position) const {
  const std::size_t index = Position / TSpecDataChunk::Capacity;
  const TSpecDataChunk& chunk = *Chunks[index];
  return {static_cast<std::uint32_t>(index * TSpecDataChunk::Capacity), chunk.Data, chunk.Used};
}

// --- The view ----------------------------------------------------------------------------------

bool TSpecDataView::LoadFromResource(const std::string& resourceName) {
  std::optional<std::span<const unsigned char>> resource = FindModuleResource(resourceName);
  if (!resource) return false;
  if (resource->size() > TSpecDataStream::MaxSize) return false;
  DropBlock();
  FBytes = resource->data();
  FSize = static_cast<std::uint32_t>(resource->size());
  FPosition = 0;
  return true;
}

TSpecDataReader::TBlock TSpecDataView::BlockAt(std::uint32_t) const {
  return {0, FBytes, FSize};
}

// --- The readers -------------------------------------------------------------------------------

std::uint32_t TSpecDataReader::Read(void* destination, std::uint32_t count) {
  if (count > Remaining()) throw Exception(kReadBeyondEnd);
  auto* out = static_cast<unsigned char*>(destination);
  std::uint32_t copied = 0;
  while (copied < count) {
    std::uint32_t offset = FPosition - FBlock.Start;
    if (offset >= FBlock.Size) {
      FBlock = BlockAt(FPosition);
      offset = FPosition - FBlock.Start;
      // A source whose blocks do not cover its size has no more to give.
      if (offset >= FBlock.Size) throw Exception(kReadBeyondEnd);
    }
    const std::uint32_t n = std::min(count - copied, FBlock.Size - offset);
    std::memcpy(out + copied, FBlock.Data + offset, n);
    copied += n;
    FPosition += n;
  }
  return copied;
}

long double TSpecDataReader::ReadExtended() {
  unsigned char b[10];
  if (const unsigned char* inBlock = TakeInBlock(10)) {
    std::memcpy(b, inBlock, 10);
  } else {
    Read(b, 10);
  }
  // On x86-64 a long double holds the x87 layout in its first ten bytes.
  long double value = 0;
  std::memcpy(&value, b, 10);
  return value;
}

std::string TSpecDataReader::ReadString() {
  std::uint16_t n = ReadWord();
  std::string text;
  if (n == 0) return text;
  if (n > Remaining()) {
    // Leave the position at the length word's end, as a failed block read would.
    throw Exception(kReadBeyondEnd);
  }
  if (const unsigned char* inBlock = TakeInBlock(n)) {
    // Inside one block, as nearly every text is: made straight from its bytes.
    text.assign(reinterpret_cast<const char*>(inBlock), n);
    return text;
  }
  text.resize(n);
  Read(text.data(), n);
  return text;
}

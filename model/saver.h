#pragma once

// The chunked byte stream: the only container of persistent data. The embedded scheme is read
// from one front to back, and saved states are written into one and saved to a file.
// All values are little-endian; a string is a 16-bit length followed by that many 8-bit bytes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class IWriteFile;

// One fixed block of a stream; only the first Used bytes belong to the stream.
class TSpecDataChunk {
 public:
  static constexpr std::uint32_t Capacity = 8192;

  TSpecDataChunk() = default;

  std::uint32_t FreeSpace() const { return Capacity - Used; }
  // Copies min(count, FreeSpace()) bytes after the used ones; returns how many it took.
  std::uint32_t Write(const void* source, std::uint32_t count);

  unsigned char Data[Capacity];
  std::uint32_t Used = 0;
};

class TSpecDataStream {
 public:
  // At most 65,536 chunks (512 MiB).
  static constexpr std::uint32_t MaxChunks = 65536;
  static constexpr std::uint32_t MaxSize = MaxChunks * TSpecDataChunk::Capacity;

  TSpecDataStream() = default;
  TSpecDataStream(const TSpecDataStream&) = delete;
  TSpecDataStream& operator=(const TSpecDataStream&) = delete;

  // Replaces the content with the bytes of a file opened for reading. False, with the stream
  // unchanged, when the file cannot be opened or is larger than MaxSize; an I/O error after
  // opening raises EInOutError and leaves what was read so far.
  bool LoadFromFile(const std::string& fileName);
  // As LoadFromFile, but the first headSize bytes (the whole of a shorter file) are read first
  // and handed to acceptHead on the stream, read from its start; when it answers false,
  // nothing more of the file is read, the stream is left empty and the answer is false.
  // Otherwise the rest follows and the stream is rewound.
  bool LoadFromFile(const std::string& fileName, std::uint32_t headSize,
                    const std::function<bool(TSpecDataStream&)>& acceptHead);
  // Replaces the content with the bytes of a data resource of the program's module. False,
  // with the stream unchanged, when the module has no resource of that name.
  bool LoadFromResource(const std::string& resourceName);
  // Writes the whole content to a file (created or truncated); False when it cannot be
  // created. The stream is unchanged.
  bool SaveToFile(const std::string& fileName) const;
  // Writes the whole content to a new file that replaces fileName only once it is complete
  // (IFileSystem::CreateReplacing): False when the new file cannot be created, EInOutError when
  // writing it fails; either way the old file is kept as it was. The stream is unchanged.
  bool SaveToFileReplacing(const std::string& fileName) const;
  // As above; on False, Reason says why the new file could not be created.
  bool SaveToFileReplacing(const std::string& fileName, std::string& reason) const;

  void Clear();
  void Rewind() { FPosition = 0; }
  std::uint32_t Size() const { return FSize; }
  std::uint32_t Position() const { return FPosition; }
  // Bytes between the read position and the end: the bound for every count a reader takes
  // from the stream before it allocates anything.
  std::uint32_t Remaining() const { return FSize - FPosition; }

  // Writers append at the end and leave the read position where it is.
  void Write(const void* source, std::uint32_t count);
  void WriteInteger(std::int32_t value);
  void WriteWord(std::uint16_t value);
  // Raises for a text longer than 65,535 bytes: a Str cannot carry it.
  void WriteString(const std::string& text);

  // Readers consume at the read position; reading past the end raises "Read beyond the end."
  // and leaves the position where it was.
  std::uint32_t Read(void* destination, std::uint32_t count);
  std::uint8_t ReadByte() {
    if (const unsigned char* b = TakeInChunk(1)) return b[0];
    std::uint8_t value;
    Read(&value, 1);
    return value;
  }
  std::uint16_t ReadWord() {
    unsigned char buffer[2];
    const unsigned char* b = TakeInChunk(2);
    if (!b) {
      Read(buffer, 2);
      b = buffer;
    }
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }
  std::int32_t ReadInteger() {
    unsigned char buffer[4];
    const unsigned char* b = TakeInChunk(4);
    if (!b) {
      Read(buffer, 4);
      b = buffer;
    }
    const std::uint32_t u =
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(u);
  }
  // The 10-byte x87 extended layout, decoded exactly.
  long double ReadExtended();
  std::string ReadString();

  TSpecDataChunk* AddChunk();
  void ClearChunks();
  int ChunkCount() const { return static_cast<int>(Chunks.size()); }
  // Raises EListError outside 0..ChunkCount()-1.
  TSpecDataChunk* GetChunk(int index) const;

 private:
  // Writes every used byte to the file and closes it; False for no file.
  bool WriteWhole(std::unique_ptr<IWriteFile> file) const;
  // Fills a cleared stream with size bytes delivered by readBlock(buffer, n).
  template <typename ReadBlock>
  void FillChunks(std::uint64_t size, ReadBlock&& readBlock);
  // The next count (1 or more) bytes when they lie in one chunk, the read position moved past
  // them; nullptr, with nothing moved, otherwise (Read then takes them or raises).
  const unsigned char* TakeInChunk(std::uint32_t count) {
    if (count > Remaining()) return nullptr;
    const std::uint32_t offset = FPosition % TSpecDataChunk::Capacity;
    const TSpecDataChunk& chunk = *Chunks[FPosition / TSpecDataChunk::Capacity];
    if (count > chunk.Used - offset) return nullptr;
    FPosition += count;
    return chunk.Data + offset;
  }

  std::vector<std::unique_ptr<TSpecDataChunk>> Chunks;
  std::uint32_t FPosition = 0;
  std::uint32_t FSize = 0;
};

// The message of a read past the end of a stream.
inline constexpr const char* kReadBeyondEnd = "Read beyond the end.";

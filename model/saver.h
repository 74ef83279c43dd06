#pragma once

// The chunked byte stream: the only container of persistent data. Saved states are written
// into one and saved to a file; the embedded scheme is read front to back through a read-only
// view of the same readers. All values are little-endian; a string is a 16-bit length followed
// by that many 8-bit bytes.

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

// The reading side of a stream: one read position over Size() bytes and the little-endian
// readers that every record of the scheme and of a saved state is read with. Reading past the
// end raises "Read beyond the end." and leaves the position where it was.
//
// The bytes lie in contiguous blocks that the source hands out one at a time (BlockAt); the
// readers work inside the block in hand and ask for another only when a value does not lie in
// it, so the typed readers cost no call to the source.
class TSpecDataReader {
 public:
  virtual ~TSpecDataReader() = default;
  TSpecDataReader(const TSpecDataReader&) = delete;
  TSpecDataReader& operator=(const TSpecDataReader&) = delete;

  void Rewind() { FPosition = 0; }
  std::uint32_t Size() const { return FSize; }
  std::uint32_t Position() const { return FPosition; }
  // Bytes between the read position and the end: the bound for every count a reader takes
  // from the stream before it allocates anything.
  std::uint32_t Remaining() const { return FSize - FPosition; }

  // Copies count bytes at the read position to the destination and answers count.
  std::uint32_t Read(void* destination, std::uint32_t count);
  std::uint8_t ReadByte() {
    if (const unsigned char* b = TakeInBlock(1)) return b[0];
    std::uint8_t value;
    Read(&value, 1);
    return value;
  }
  std::uint16_t ReadWord() {
    unsigned char buffer[2];
    const unsigned char* b = TakeInBlock(2);
    if (!b) {
      Read(buffer, 2);
      b = buffer;
    }
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }
  std::int32_t ReadInteger() {
    unsigned char buffer[4];
    const unsigned char* b = TakeInBlock(4);
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

 protected:
  TSpecDataReader() = default;

  // Contiguous bytes of the source: the stream position of the first, and how many.
  struct TBlock {
    std::uint32_t Start = 0;
    const unsigned char* Data = nullptr;
    std::uint32_t Size = 0;
  };
  // The block that holds the byte at Position (which is below Size()).
  virtual TBlock BlockAt(std::uint32_t Position) const = 0;
  // Forgets the block in hand; a source calls it before the bytes of its blocks go away.
  void DropBlock() { FBlock = TBlock(); }

  std::uint32_t FPosition = 0;
  std::uint32_t FSize = 0;

 private:
  // The next count (1 or more) bytes when they lie in one block, the read position moved past
  // them; nullptr, with nothing moved, otherwise (Read then takes them or raises).
  const unsigned char* TakeInBlock(std::uint32_t count) {
    // Below the block's start the offset wraps round and fails the test as well.
    std::uint32_t offset = FPosition - FBlock.Start;
    if (offset >= FBlock.Size || count > FBlock.Size - offset) {
      if (count > Remaining()) return nullptr;
      FBlock = BlockAt(FPosition);
      offset = FPosition - FBlock.Start;
      if (offset >= FBlock.Size || count > FBlock.Size - offset) return nullptr;
    }
    FPosition += count;
    return FBlock.Data + offset;
  }

  TBlock FBlock;
};

// The chunked stream: the bytes in a list of fixed 8192-byte chunks, filled by appending (the
// writers) or by loading a file or a data resource, and read with the readers above.
class TSpecDataStream : public TSpecDataReader {
 public:
  // At most 65,536 chunks (512 MiB).
  static constexpr std::uint32_t MaxChunks = 65536;
  static constexpr std::uint32_t MaxSize = MaxChunks * TSpecDataChunk::Capacity;

  TSpecDataStream() = default;

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
  // Replaces the content with a copy of the bytes of a data resource of the program's module.
  // False, with the stream unchanged, when the module has no resource of that name.
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

  // Writers append at the end and leave the read position where it is.
  void Write(const void* source, std::uint32_t count);
  void WriteInteger(std::int32_t value);
  void WriteWord(std::uint16_t value);
  // Raises for a text longer than 65,535 bytes: a Str cannot carry it.
  void WriteString(const std::string& text);

  TSpecDataChunk* AddChunk();
  void ClearChunks();
  int ChunkCount() const { return static_cast<int>(Chunks.size()); }
  // Raises EListError outside 0..ChunkCount()-1.
  TSpecDataChunk* GetChunk(int index) const;

 protected:
  // Every chunk but the last is full, so the chunk of a position is found by division.
  TBlock BlockAt(std::uint32_t Position) const override;

 private:
  // Writes every used byte to the file and closes it; False for no file.
  bool WriteWhole(std::unique_ptr<IWriteFile> file) const;
  // Fills a cleared stream with size bytes delivered by readBlock(buffer, n).
  template <typename ReadBlock>
  void FillChunks(std::uint64_t size, ReadBlock&& readBlock);

  std::vector<std::unique_ptr<TSpecDataChunk>> Chunks;
};

// A read-only stream over bytes it borrows and reads where they lie, without a copy: the bytes
// of a data resource of the program's module, which stay in place for the program's lifetime.
// The start-up reads the embedded scheme through one.
class TSpecDataView : public TSpecDataReader {
 public:
  TSpecDataView() = default;

  // Views the bytes of the data resource of that name, read from their start. False, with the
  // view unchanged, when the module has no resource of that name or it holds more than a
  // stream may (TSpecDataStream::MaxSize).
  bool LoadFromResource(const std::string& resourceName);

 protected:
  TBlock BlockAt(std::uint32_t Position) const override;

 private:
  const unsigned char* FBytes = nullptr;
};

// The message of a read past the end of a stream.
inline constexpr const char* kReadBeyondEnd = "Read beyond the end.";

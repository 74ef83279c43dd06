// The chunked stream: encodings, chunk borders, reads past the end, files and resources.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/errors.h"
#include "model/saver.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "tests/support/test_paths.h"
#include "tools/schemewriter.h"

namespace {

std::vector<unsigned char> Content(const TSpecDataStream& stream) {
  std::vector<unsigned char> bytes;
  for (int i = 0; i < stream.ChunkCount(); ++i) {
    const TSpecDataChunk* chunk = stream.GetChunk(i);
    bytes.insert(bytes.end(), chunk->Data, chunk->Data + chunk->Used);
  }
  return bytes;
}

std::vector<unsigned char> Pattern(std::size_t n) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
  return bytes;
}

template <typename Reader>
void ExpectReadBeyondEnd(Reader& stream, void (*read)(std::type_identity_t<Reader>&)) {
  std::uint32_t before = stream.Position();
  try {
    read(stream);
    FAIL() << "no error raised";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Read beyond the end.");
  }
  EXPECT_EQ(stream.Position(), before);
}

TEST(DataStream, WritersProduceTheLittleEndianEncodings) {
  struct Row {
    const char* name;
    void (*write)(TSpecDataStream&);
    std::vector<unsigned char> bytes;
  };
  const Row rows[] = {
      {"integer 1", [](TSpecDataStream& s) { s.WriteInteger(1); }, {1, 0, 0, 0}},
      {"integer -2", [](TSpecDataStream& s) { s.WriteInteger(-2); }, {0xFE, 0xFF, 0xFF, 0xFF}},
      {"word 2", [](TSpecDataStream& s) { s.WriteWord(2); }, {2, 0}},
      {"word 0xABCD", [](TSpecDataStream& s) { s.WriteWord(0xABCD); }, {0xCD, 0xAB}},
      {"string abc", [](TSpecDataStream& s) { s.WriteString("abc"); }, {3, 0, 'a', 'b', 'c'}},
      {"empty string", [](TSpecDataStream& s) { s.WriteString(""); }, {0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TSpecDataStream stream;
    row.write(stream);
    EXPECT_EQ(Content(stream), row.bytes);
    EXPECT_EQ(stream.Size(), row.bytes.size());
    EXPECT_EQ(stream.Position(), 0u);
  }
}

TEST(DataStream, WriterAndStreamAgreeOnEveryPrimitive) {
  SchemeWriter w;
  std::string withZero("a\0b", 3);
  w.Byte(0xC8)
      .Word(0xBEEF)
      .Int(-123456789)
      .Str("Текст")
      .Str(withZero)
      .Ext(-1.5L)
      .Ext(1e-4000L)
      .Mui({{"0", "zero"}, {"2", ""}});
  TSpecDataStream stream;
  w.WriteTo(stream);
  EXPECT_EQ(stream.ReadByte(), 0xC8);
  EXPECT_EQ(stream.ReadWord(), 0xBEEF);
  EXPECT_EQ(stream.ReadInteger(), -123456789);
  EXPECT_EQ(stream.ReadString(), "Текст");
  EXPECT_EQ(stream.ReadString(), withZero);
  EXPECT_EQ(stream.ReadExtended(), -1.5L);
  EXPECT_EQ(stream.ReadExtended(), 1e-4000L);
  EXPECT_EQ(stream.ReadByte(), 2);
  EXPECT_EQ(stream.ReadString(), "0");
  EXPECT_EQ(stream.ReadString(), "zero");
  EXPECT_EQ(stream.ReadString(), "2");
  EXPECT_EQ(stream.ReadString(), "");
  EXPECT_EQ(stream.Remaining(), 0u);
}

TEST(DataStream, ExtendedIsTheTenByteX87Layout) {
  // 1.0: significand with only the explicit integer bit, exponent 16383 (0x3FFF).
  SchemeWriter w;
  w.Ext(1.0L);
  const std::vector<std::uint8_t> one = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(w.Bytes(), one);
  // -2.5 read from hand-made bytes: 1.25 * 2^1, sign bit set.
  const unsigned char bytes[10] = {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0};
  TSpecDataStream stream;
  stream.Write(bytes, 10);
  EXPECT_EQ(stream.ReadExtended(), -2.5L);
}

TEST(DataStream, ReadingPastTheEndRaisesAndKeepsThePosition) {
  TSpecDataStream empty;
  unsigned char b;
  EXPECT_EQ(empty.Read(&b, 0), 0u);
  ExpectReadBeyondEnd(empty, [](TSpecDataStream& s) { s.ReadByte(); });
  ExpectReadBeyondEnd(empty, [](TSpecDataStream& s) { s.ReadWord(); });
  ExpectReadBeyondEnd(empty, [](TSpecDataStream& s) { s.ReadInteger(); });
  ExpectReadBeyondEnd(empty, [](TSpecDataStream& s) { s.ReadExtended(); });
  ExpectReadBeyondEnd(empty, [](TSpecDataStream& s) { s.ReadString(); });

  TSpecDataStream stream;
  stream.WriteInteger(7);
  stream.WriteWord(1);
  EXPECT_EQ(stream.ReadInteger(), 7);
  ExpectReadBeyondEnd(stream, [](TSpecDataStream& s) { s.ReadInteger(); });
  EXPECT_EQ(stream.ReadWord(), 1);
  EXPECT_EQ(stream.Remaining(), 0u);
  ExpectReadBeyondEnd(stream, [](TSpecDataStream& s) { s.ReadByte(); });
}

TEST(DataStream, AStringLongerThanTheRestRaisesAfterItsLength) {
  TSpecDataStream stream;
  stream.WriteWord(5);
  stream.Write("abc", 3);
  EXPECT_THROW(stream.ReadString(), Exception);
  // The length word was consumed; the text bytes were not.
  EXPECT_EQ(stream.Position(), 2u);
  EXPECT_EQ(stream.Remaining(), 3u);
}

TEST(DataStream, ChunkBordersKeepEveryChunkButTheLastFull) {
  struct Row {
    const char* name;
    std::vector<std::size_t> writes;
    int chunks;
    std::uint32_t lastUsed;
  };
  const Row rows[] = {
      {"nothing", {}, 0, 0},
      {"zero bytes add no chunk", {0}, 0, 0},
      {"one full chunk", {8192}, 1, 8192},
      {"8192 then 1", {8192, 1}, 2, 1},
      {"8193 at once", {8193}, 2, 1},
      {"small writes across the border", {8000, 100, 100}, 2, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TSpecDataStream stream;
    std::vector<unsigned char> all;
    for (std::size_t n : row.writes) {
      std::vector<unsigned char> part = Pattern(n);
      stream.Write(part.data(), static_cast<std::uint32_t>(n));
      all.insert(all.end(), part.begin(), part.end());
    }
    ASSERT_EQ(stream.ChunkCount(), row.chunks);
    for (int i = 0; i + 1 < stream.ChunkCount(); ++i) EXPECT_EQ(stream.GetChunk(i)->Used, 8192u);
    if (row.chunks > 0) {
      EXPECT_EQ(stream.GetChunk(row.chunks - 1)->Used, row.lastUsed);
    }
    EXPECT_EQ(Content(stream), all);
  }
}

TEST(DataStream, AValueSplitAcrossChunksReadsBackWhole) {
  TSpecDataStream stream;
  std::vector<unsigned char> filler(8190, 0x11);
  stream.Write(filler.data(), 8190);
  stream.WriteInteger(0x12345678);
  stream.WriteString(std::string(9000, 'x'));
  std::vector<unsigned char> skip(8190);
  stream.Read(skip.data(), 8190);
  EXPECT_EQ(stream.ReadInteger(), 0x12345678);
  EXPECT_EQ(stream.ReadString(), std::string(9000, 'x'));
}

TEST(DataStream, EveryPrimitiveReadsBackWholeAtEveryOffsetAroundAChunkBorder) {
  // The values start from 8 bytes before the first border to just after it, so each of them
  // lies before, across and after the border in one of the rounds.
  for (std::uint32_t start = 8184; start <= 8193; ++start) {
    SCOPED_TRACE(start);
    TSpecDataStream stream;
    std::vector<unsigned char> filler(start, 0x5A);
    stream.Write(filler.data(), start);
    stream.WriteWord(0xBEEF);
    stream.WriteInteger(-123456789);
    stream.WriteString("abcdefghij");
    const unsigned char byte = 0xC3;
    stream.Write(&byte, 1);
    stream.WriteInteger(0x01020304);
    std::vector<unsigned char> skip(start);
    stream.Read(skip.data(), start);
    EXPECT_EQ(stream.ReadWord(), 0xBEEF);
    EXPECT_EQ(stream.ReadInteger(), -123456789);
    EXPECT_EQ(stream.ReadString(), "abcdefghij");
    EXPECT_EQ(stream.ReadByte(), 0xC3);
    EXPECT_EQ(stream.ReadInteger(), 0x01020304);
    EXPECT_EQ(stream.Remaining(), 0u);
  }
}

TEST(DataStream, WritingAfterAPartialReadAppendsAndKeepsThePosition) {
  TSpecDataStream stream;
  stream.WriteInteger(1);
  stream.WriteInteger(2);
  EXPECT_EQ(stream.ReadInteger(), 1);
  stream.WriteInteger(3);
  EXPECT_EQ(stream.Position(), 4u);
  EXPECT_EQ(stream.ReadInteger(), 2);
  EXPECT_EQ(stream.ReadInteger(), 3);
  stream.Rewind();
  EXPECT_EQ(stream.ReadInteger(), 1);
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0u);
  EXPECT_EQ(stream.Position(), 0u);
  EXPECT_EQ(stream.ChunkCount(), 0);
}

TEST(DataStream, ATextTooLongForAStrIsRefusedWithoutWritingAnything) {
  TSpecDataStream stream;
  EXPECT_THROW(stream.WriteString(std::string(65536, 'a')), Exception);
  EXPECT_EQ(stream.Size(), 0u);
  stream.WriteString(std::string(65535, 'a'));
  EXPECT_EQ(stream.Size(), 65537u);
}

TEST(DataStream, ChunkIndexOutsideTheListRaisesTheListError) {
  TSpecDataStream stream;
  stream.WriteWord(1);
  EXPECT_NE(stream.GetChunk(0), nullptr);
  EXPECT_THROW(stream.GetChunk(1), EListError);
  EXPECT_THROW(stream.GetChunk(-1), EListError);
}

TEST(DataStreamFiles, LoadsFilesOfEveryChunkShape) {
  ScratchFolder folder;
  struct Row {
    const char* name;
    std::size_t size;
    int chunks;
  };
  const Row rows[] = {{"empty", 0, 0}, {"one chunk", 8192, 1}, {"one byte over", 8193, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<unsigned char> bytes = Pattern(row.size);
    std::string path = folder.WriteFile(row.name, std::string(bytes.begin(), bytes.end()));
    TSpecDataStream stream;
    stream.WriteInteger(99);  // replaced by the load
    stream.ReadWord();
    ASSERT_TRUE(stream.LoadFromFile(path));
    EXPECT_EQ(stream.ChunkCount(), row.chunks);
    EXPECT_EQ(stream.Size(), row.size);
    EXPECT_EQ(stream.Position(), 0u);
    EXPECT_EQ(Content(stream), bytes);
  }
}

TEST(DataStreamFiles, AReadOnlyFileLoads) {
  ScratchFolder folder;
  std::string path = folder.WriteFile("ro", std::string("\x05\0\0\0", 4));
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  TSpecDataStream stream;
  ASSERT_TRUE(stream.LoadFromFile(path));
  EXPECT_EQ(stream.ReadInteger(), 5);
}

TEST(DataStreamFiles, AFileThatCannotBeOpenedLeavesTheStreamAlone) {
  ScratchFolder folder;
  TSpecDataStream stream;
  stream.WriteInteger(42);
  stream.ReadWord();
  EXPECT_FALSE(stream.LoadFromFile(folder.File("missing")));
  EXPECT_FALSE(stream.LoadFromFile(folder.Path().string()));  // a folder is no byte file
  EXPECT_EQ(stream.Size(), 4u);
  EXPECT_EQ(stream.Position(), 2u);
}

TEST(DataStreamFiles, SavesTheWholeContentAndTruncatesTheOldFile) {
  ScratchFolder folder;
  std::string path = folder.WriteFile("state", std::string(20000, 'z'));
  TSpecDataStream stream;
  std::vector<unsigned char> bytes = Pattern(9000);
  stream.Write(bytes.data(), 9000);
  stream.ReadInteger();
  ASSERT_TRUE(stream.SaveToFile(path));
  EXPECT_EQ(ReadWholeFile(path), std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(stream.Position(), 4u);
  EXPECT_FALSE(stream.SaveToFile(folder.File("no/such/folder/state")));
}

// A file system whose files fail to read after opening, as a device error would.
class FailingReads : public IFileSystem {
 public:
  std::unique_ptr<IReadFile> OpenRead(const std::string&) override {
    struct File : IReadFile {
      std::uint64_t Size() override { return 20000; }
      void ReadBlock(void* destination, std::size_t count) override {
        if (++reads > 1) throw EInOutError("I/O error");
        std::memset(destination, 'r', count);
      }
      int reads = 0;
    };
    return std::make_unique<File>();
  }
  std::unique_ptr<IWriteFile> CreateWrite(const std::string&) override { return nullptr; }
};

TEST(DataStreamFiles, AnErrorAfterOpeningIsRaisedAndKeepsWhatWasRead) {
  FailingReads failing;
  IFileSystem* previous = SetFileSystem(&failing);
  TSpecDataStream stream;
  EXPECT_THROW(stream.LoadFromFile("any"), EInOutError);
  SetFileSystem(previous);
  EXPECT_EQ(stream.Size(), 8192u);
}

class ModuleResources : public ::testing::Test {
 protected:
  void TearDown() override { SetModuleResources(Previous); }
  void Install(std::span<const TModuleResource> table) { Previous = SetModuleResources(table); }
  std::span<const TModuleResource> Previous;
};

TEST_F(ModuleResources, PresentAbsentAndEmptyResources) {
  static const std::vector<unsigned char> scheme = Pattern(8193);
  static const unsigned char nothing[1] = {0};
  static const TModuleResource table[] = {{"QZSCHEME", scheme.data(), scheme.size()},
                                          {"EMPTY", nothing, 0}};
  Install(table);

  TSpecDataStream stream;
  ASSERT_TRUE(stream.LoadFromResource("qzscheme"));  // names ignore Latin case
  EXPECT_EQ(stream.ChunkCount(), 2);
  EXPECT_EQ(Content(stream), scheme);
  EXPECT_EQ(stream.Size(), 8193u);

  stream.ReadInteger();
  EXPECT_FALSE(stream.LoadFromResource("MISSING"));
  EXPECT_EQ(stream.Size(), 8193u);
  EXPECT_EQ(stream.Position(), 4u);

  ASSERT_TRUE(stream.LoadFromResource("EMPTY"));
  EXPECT_EQ(stream.Size(), 0u);
  EXPECT_EQ(stream.ChunkCount(), 0);
}

// A sequence whose values lie before, across and after the border of the first 8192 bytes,
// and a string at the end whose length promises more bytes than follow.
std::vector<unsigned char> BorderSequence() {
  SchemeWriter w;
  w.Raw(std::vector<std::uint8_t>(8187, 0x5A))
      .Word(0xBEEF)
      .Int(-123456789)
      .Str("abcdefghij")
      .Ext(-2.5L)
      .Byte(0xC3)
      .Str(std::string(9000, 'x'))
      .Word(5)
      .Raw("abc", 3);
  return {w.Bytes().begin(), w.Bytes().end()};
}

// Reads BorderSequence through any reader and checks every value and the errors at its end.
void ReadBorderSequence(TSpecDataReader& reader) {
  std::vector<unsigned char> skip(8187);
  EXPECT_EQ(reader.Read(skip.data(), 8187), 8187u);
  EXPECT_EQ(reader.ReadWord(), 0xBEEF);
  EXPECT_EQ(reader.ReadInteger(), -123456789);
  EXPECT_EQ(reader.ReadString(), "abcdefghij");
  EXPECT_EQ(reader.ReadExtended(), -2.5L);
  EXPECT_EQ(reader.ReadByte(), 0xC3);
  EXPECT_EQ(reader.ReadString(), std::string(9000, 'x'));
  const std::uint32_t tail = reader.Position();
  EXPECT_THROW(reader.ReadString(), Exception);
  EXPECT_EQ(reader.Position(), tail + 2);  // the length word was consumed, its text not
  for (std::uint32_t count : {4u, 10u}) {
    unsigned char buffer[10];
    try {
      reader.Read(buffer, count);
      ADD_FAILURE() << "no error raised";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Read beyond the end.");
    }
    EXPECT_EQ(reader.Position(), tail + 2);
  }
  reader.Rewind();
  EXPECT_EQ(reader.Read(skip.data(), 8187), 8187u);
  EXPECT_EQ(reader.ReadWord(), 0xBEEF);
}

TEST_F(ModuleResources, AViewReadsAResourceWhereItLiesAsTheStreamReadsItsCopy) {
  static std::vector<unsigned char> bytes = BorderSequence();
  static const TModuleResource table[] = {{"QZSCHEME", bytes.data(), bytes.size()}};
  Install(table);

  TSpecDataStream stream;
  ASSERT_TRUE(stream.LoadFromResource("QZSCHEME"));
  TSpecDataView view;
  ASSERT_TRUE(view.LoadFromResource("qzscheme"));
  EXPECT_EQ(view.Size(), bytes.size());
  EXPECT_EQ(view.Position(), 0u);
  {
    SCOPED_TRACE("stream");
    ReadBorderSequence(stream);
  }
  {
    SCOPED_TRACE("view");
    ReadBorderSequence(view);
  }

  // The view borrows the bytes; the stream read a copy of them.
  bytes[0] = 0x01;
  view.Rewind();
  stream.Rewind();
  EXPECT_EQ(view.ReadByte(), 0x01);
  EXPECT_EQ(stream.ReadByte(), 0x5A);
  bytes[0] = 0x5A;
}

TEST_F(ModuleResources, AViewOfAMissingResourceStaysAsItWasAndAnEmptyOneIsEmpty) {
  static const std::vector<unsigned char> scheme = Pattern(12);
  static const unsigned char nothing[1] = {0};
  static const TModuleResource table[] = {{"QZSCHEME", scheme.data(), scheme.size()},
                                          {"EMPTY", nothing, 0}};
  Install(table);

  TSpecDataView view;
  EXPECT_EQ(view.Size(), 0u);
  ExpectReadBeyondEnd(view, [](TSpecDataView& v) { v.ReadByte(); });
  ASSERT_TRUE(view.LoadFromResource("QZSCHEME"));
  view.ReadInteger();
  EXPECT_FALSE(view.LoadFromResource("MISSING"));
  EXPECT_EQ(view.Size(), 12u);
  EXPECT_EQ(view.Position(), 4u);

  ASSERT_TRUE(view.LoadFromResource("EMPTY"));
  EXPECT_EQ(view.Size(), 0u);
  EXPECT_EQ(view.Position(), 0u);
  ExpectReadBeyondEnd(view, [](TSpecDataView& v) { v.ReadString(); });
}

}  // namespace

// BER framing: headers, container ends, contents and the re-encoding of
// indefinite lengths.
#include "ber_reader.h"

#include <gtest/gtest.h>

#include "memory_source.h"
#include "provider_failure.h"

namespace {

using provider_testing::failureOf;
using provider_testing::MemorySource;
using vcert::BerReader;
using vcert::ErrorKind;
using vcert::TagClass;

TEST(BerReaderTest, ReadsShortLongAndHighTagNumberHeaders) {
  MemorySource source(std::string("\x30\x03", 2) + std::string("\x04\x82\x01\x00", 4) + std::string("\xBF\x81\x00\x80", 4), 1);
  BerReader reader(source, 4);
  const auto sequence = reader.readHeader();
  EXPECT_TRUE(sequence.is(TagClass::kUniversal, true, vcert::kTagSequence));
  EXPECT_EQ(sequence.length, 3u);
  const auto octets = reader.readHeader();
  EXPECT_TRUE(octets.is(TagClass::kUniversal, false, vcert::kTagOctetString));
  EXPECT_EQ(octets.length, 256u);
  EXPECT_EQ(octets.lengthOctets, std::string("\x82\x01\x00", 3));
  const auto high = reader.readHeader();
  EXPECT_TRUE(high.is(TagClass::kContext, true, 128));
  EXPECT_TRUE(high.indefinite);
  EXPECT_EQ(reader.offset(), 10u);
}

TEST(BerReaderTest, RejectsImpossibleHeaders) {
  for (const std::string& bytes : {std::string("\x04\x80", 2), std::string("\x04\x89", 2) + std::string(9, '\1'),
                                  std::string("\x1F\x81\x81\x81\x81\x01\x00", 7), std::string("\x30", 1),
                                  std::string("\x04\x82\x01", 3)}) {
    MemorySource source(bytes);
    BerReader reader(source);
    EXPECT_EQ(failureOf([&] { reader.readHeader(); }), ErrorKind::kMalformed);
  }
}

TEST(BerReaderTest, ElementsMustFitTheirDefiniteContainer) {
  MemorySource source(std::string("\x30\x03\x04\x05" "abcde", 9));
  BerReader reader(source);
  const auto container = reader.enter(reader.readHeader());
  EXPECT_EQ(failureOf([&] { reader.next(container, "element"); }), ErrorKind::kMalformed);
}

TEST(BerReaderTest, FindsTheEndsOfDefiniteAndIndefiniteContainers) {
  MemorySource source(std::string("\x30\x80\x04\x01X\x00\x00\x31\x00", 9), 1);
  BerReader reader(source, 2);
  const auto outer = reader.enter(reader.readHeader());
  EXPECT_FALSE(reader.atEnd(outer));
  const auto element = reader.next(outer, "element");
  reader.skip(element.length);
  EXPECT_TRUE(reader.atEnd(outer));
  const auto empty = reader.enter(reader.readHeader());
  EXPECT_TRUE(reader.atEnd(empty));
}

TEST(BerReaderTest, RedefinesIndefiniteElementsAndKeepsDefiniteOnesAsRead) {
  // SEQUENCE(indefinite) { INTEGER with a non-minimal length, SET(indefinite) {} }
  const std::string input("\x30\x80\x02\x81\x01\x05\x31\x80\x00\x00\x00\x00", 12);
  MemorySource source(input, 3);
  BerReader reader(source, 5);
  vcert::SizeBudget budget(1000);
  EXPECT_EQ(vcert::readDefiniteElement(reader, reader.readHeader(), budget),
            std::string("\x30\x06\x02\x81\x01\x05\x31\x00", 8));
  EXPECT_EQ(reader.offset(), input.size());
}

TEST(BerReaderTest, BoundsTheStructureKeptInMemoryAndItsNesting) {
  MemorySource big(std::string("\x04\x82\x10\x00", 4) + std::string(4096, 'x'));
  BerReader bigReader(big);
  vcert::SizeBudget budget(4000);
  EXPECT_EQ(failureOf([&] { vcert::readDefiniteElement(bigReader, bigReader.readHeader(), budget); }),
            ErrorKind::kStructureTooLarge);

  std::string nested;
  for (int i = 0; i < 100; ++i) nested += std::string("\x30\x80", 2);
  for (int i = 0; i < 100; ++i) nested += std::string("\x00\x00", 2);
  MemorySource deep(nested);
  BerReader deepReader(deep);
  vcert::SizeBudget ample(1 << 20);
  EXPECT_EQ(failureOf([&] { vcert::readDefiniteElement(deepReader, deepReader.readHeader(), ample); }),
            ErrorKind::kMalformed);
}

TEST(BerReaderTest, SkipAndReadAcrossBufferBoundariesAndStopAtTheEnd) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7);
  MemorySource source(bytes, 13);
  BerReader reader(source, 64);
  reader.skip(100);
  std::string kept;
  reader.readContent(500, kept);
  EXPECT_EQ(kept, bytes.substr(100, 500));
  reader.skip(350);
  EXPECT_EQ(reader.offset(), 950u);
  EXPECT_EQ(failureOf([&] { reader.skip(51); }), ErrorKind::kMalformed);
}

}  // namespace

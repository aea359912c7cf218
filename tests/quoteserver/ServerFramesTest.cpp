// The server's frame reader (client frames, checked before their bodies are waited for) and
// its frame writer with compression.
#include "ServerFrames.h"
#include "quoteserver/RawClient.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

namespace {

using zuvo::quoteserver::ClientFrame;
using zuvo::quoteserver::Compression;
using zuvo::quoteserver::FrameReader;

std::string Header(char magic, int type, int count, int index, int length, int flag = 0) {
  std::string header(10, '\0');
  header[0] = magic;
  header[1] = static_cast<char>(type);
  quoteservertest::Put16(&header, 2, static_cast<std::uint16_t>(count));
  quoteservertest::Put16(&header, 4, static_cast<std::uint16_t>(index));
  quoteservertest::Put16(&header, 6, static_cast<std::uint16_t>(length));
  header[8] = static_cast<char>(flag);
  return header;
}

void Feed(FrameReader* reader, const std::string& bytes) {
  reader->Append(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(ServerFramesTest, AssemblesFramesArrivingInPieces) {
  FrameReader reader;
  ClientFrame frame;
  std::string why;
  const std::string stream = Header('@', 1, 1, 0, 0) + Header('@', 6, 1, 0, 1) + "\x03" + Header('@', 12, 1, 0, 3);
  Feed(&reader, stream.substr(0, 3));
  EXPECT_EQ(reader.Next(&frame, &why), FrameReader::Result::kNeedMore);
  Feed(&reader, stream.substr(3, 10));
  ASSERT_EQ(reader.Next(&frame, &why), FrameReader::Result::kFrame);
  EXPECT_EQ(frame.header.type, 1);
  EXPECT_EQ(frame.length, 0u);
  EXPECT_EQ(reader.Next(&frame, &why), FrameReader::Result::kNeedMore);
  Feed(&reader, stream.substr(13) + "ab");
  ASSERT_EQ(reader.Next(&frame, &why), FrameReader::Result::kFrame);
  EXPECT_EQ(frame.header.type, 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.body), frame.length), "\x03");
  // The third body is one byte short: nothing past the bytes held is handed out.
  EXPECT_EQ(reader.Next(&frame, &why), FrameReader::Result::kNeedMore);
  Feed(&reader, "c");
  ASSERT_EQ(reader.Next(&frame, &why), FrameReader::Result::kFrame);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.body), frame.length), "abc");
}

TEST(ServerFramesTest, RefusesBadHeadersBeforeTheirBodies) {
  struct Case {
    const char* name;
    std::string header;
  };
  const Case cases[] = {
      {"wrong magic", Header('#', 6, 1, 0, 1)},
      {"count other than 1", Header('@', 6, 2, 0, 1)},
      {"index equal to the count", Header('@', 6, 1, 1, 1)},
      {"count 0", Header('@', 6, 0, 0, 1)},
      {"compressed", Header('@', 6, 1, 0, 1, 1)},
      {"longer than a client frame", Header('@', 6, 1, 0, 1015)},
      {"longer than any frame", Header('@', 6, 1, 0, 8193)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameReader reader;
    ClientFrame frame;
    std::string why;
    Feed(&reader, c.header);
    EXPECT_EQ(reader.Next(&frame, &why), FrameReader::Result::kBadHeader);
    EXPECT_FALSE(why.empty());
    // Once broken, the stream stays broken even if good frames follow.
    Feed(&reader, Header('@', 1, 1, 0, 0));
    EXPECT_EQ(reader.Next(&frame, &why), FrameReader::Result::kBadHeader);
  }
  FrameReader reader;
  ClientFrame frame;
  std::string why;
  Feed(&reader, Header('@', 6, 1, 0, 1014) + std::string(1014, 'x'));
  EXPECT_EQ(reader.Next(&frame, &why), FrameReader::Result::kFrame) << "the largest client frame";
}

TEST(ServerFramesTest, CompressesBodiesThatStillFitAFrame) {
  const std::string text(8192, 'q');
  std::string random(8192, '\0');
  std::uint32_t state = 7;
  for (char& c : random) c = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  struct Case {
    const char* name;
    Compression compression;
    const std::string* body;
    bool packed;
  };
  const Case cases[] = {
      {"plain", Compression::kNone, &text, false},
      {"lzw", Compression::kLzw, &text, true},
      // LZW of random bytes grows past 8192: sent plain, flag clear.
      {"lzw, incompressible", Compression::kLzw, &random, false},
      {"zlib", Compression::kZlib, &text, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> out;
    zuvo::quoteserver::AppendFrame(&out, 12, 3, 2, reinterpret_cast<const std::uint8_t*>(c.body->data()), c.body->size(),
                                   c.compression);
    const zuvo::quoteserver::FrameHeader header = zuvo::quoteserver::ReadHeader(out.data());
    EXPECT_EQ(header.magic, '@');
    EXPECT_EQ(header.type, 12);
    EXPECT_EQ(header.count, 3);
    EXPECT_EQ(header.index, 2);
    EXPECT_EQ(header.compressed != 0, c.packed);
    ASSERT_EQ(out.size(), 10u + header.length);
    ASSERT_LE(header.length, 8192);
    const std::string body(out.begin() + 10, out.end());
    std::string decoded = body;
    if (c.packed && c.compression == Compression::kLzw) {
      ASSERT_TRUE(quoteservertest::DecodeWmc(body, &decoded));
    } else if (c.packed) {
      decoded.assign(16384, '\0');
      uLongf size = decoded.size();
      ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(decoded.data()), &size,
                           reinterpret_cast<const Bytef*>(body.data()), body.size()), Z_OK);
      decoded.resize(size);
    }
    EXPECT_EQ(decoded, *c.body);
  }
}

}  // namespace

#include "base/CFileStreamer.h"
#include "patch/CMemAssembler.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

TEST(MemAssembler, EmptyWriterAssemblesToNothing) {
    CMemAssembler m;
    uint8_t* out = reinterpret_cast<uint8_t*>(&m);
    EXPECT_EQ(m.assemble(out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(m.canRead(0));
}

TEST(MemAssembler, ValuesAssembleInAppendOrderAndReadBack) {
    CMemAssembler m;
    ASSERT_TRUE(m.writeDouble(1.5));
    ASSERT_TRUE(m.writeInt32(-7));
    ASSERT_TRUE(m.writeByte(0xAB));
    uint8_t* out = nullptr;
    ASSERT_EQ(m.assemble(out), 13);
    ASSERT_NE(out, nullptr);
    double d;
    std::memcpy(&d, out, 8);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(out[8], 0xF9); // -7 little-endian
    EXPECT_EQ(out[11], 0xFF);
    EXPECT_EQ(out[12], 0xAB);

    // The assembled buffer is readable in place.
    EXPECT_EQ(m.readDouble(), 1.5);
    EXPECT_EQ(m.readInt32(), -7);
    EXPECT_EQ(m.readByte(), 0xAB);
    EXPECT_FALSE(m.canReadByte());
    // A second assemble of an emptied list gives nothing.
    EXPECT_EQ(m.assemble(out), 0);
}

TEST(MemAssembler, ReadingPastTheEndCopiesNothingAndKeepsPosition) {
    CMemAssembler m;
    uint8_t* p = m.setBuffer(6);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 6; ++i)
        p[i] = uint8_t(i);
    EXPECT_EQ(m.readInt32(), 0x03020100);
    uint8_t dst[4] = {9, 9, 9, 9};
    EXPECT_FALSE(m.readBytes(dst, 4));
    EXPECT_EQ(dst[0], 9);
    EXPECT_EQ(m.position(), 4);
    EXPECT_FALSE(m.canReadDouble());
    EXPECT_TRUE(m.canRead(2));
    EXPECT_FALSE(m.canRead(-1));
    EXPECT_EQ(m.setBuffer(0), nullptr);
    EXPECT_EQ(m.size(), 0);
    EXPECT_FALSE(m.canReadByte());
}

namespace {
std::string tempPath(const char* name) {
    return std::string(::testing::TempDir()) + "quellor_streamer_" + std::to_string(getpid()) +
           "_" + name;
}
} // namespace

TEST(FileStreamer, ErrorTextsAndPositions) {
    CFileStreamer s;
    EXPECT_STREQ(s.errorText(), "unknown");
    EXPECT_FALSE(s.write("x", 1));
    EXPECT_STREQ(s.errorText(), "No File Open");
    EXPECT_FALSE(s.seek(0));
    EXPECT_STREQ(s.errorText(), "No File Open");
    EXPECT_EQ(s.readInt32LE(), 0u);

    const std::string path = tempPath("a.bin");
    ASSERT_TRUE(s.open(path.c_str(), false));
    EXPECT_EQ(s.fileSize(), 0);
    const uint8_t bytes[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    ASSERT_TRUE(s.write(bytes, 6));
    EXPECT_EQ(s.position(), 6);
    s.close();
    EXPECT_TRUE(CFileStreamer::exists(path.c_str()));

    ASSERT_TRUE(s.open(path.c_str(), true));
    EXPECT_EQ(s.fileSize(), 6);
    EXPECT_STREQ(s.path(), path.c_str());
    EXPECT_EQ(s.readInt32BE(), 0x12345678u);
    EXPECT_EQ(s.readInt16LE(), 0xBC9Au);
    EXPECT_FALSE(s.seek(6));
    EXPECT_STREQ(s.errorText(), "Wrong Parameter");
    EXPECT_FALSE(s.seek(-1));
    ASSERT_TRUE(s.seek(5));
    EXPECT_EQ(s.readByte(), 0xBC);
    ASSERT_TRUE(s.seek(2));
    // A short read succeeds with what is there; the next one finds nothing.
    uint8_t dst[8] = {};
    EXPECT_TRUE(s.read(dst, 8));
    EXPECT_EQ(s.lastReadCount(), 4);
    EXPECT_EQ(dst[3], 0xBC);
    EXPECT_FALSE(s.read(dst, 4));
    EXPECT_STREQ(s.errorText(), "Unknown File Error");
    EXPECT_EQ(s.readInt32LE(), 0u);
    s.close();
    EXPECT_STREQ(s.path(), "");
    std::remove(path.c_str());

    EXPECT_FALSE(s.open("/nonexistent-folder/x.bin", true));
    EXPECT_STREQ(s.errorText(), "Failed to open the file");
    EXPECT_FALSE(CFileStreamer::exists("/nonexistent-folder/x.bin"));
}

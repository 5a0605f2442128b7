// The in-memory byte stream through which every block is built and parsed.
//
// Two separate modes:
//  - writer: append pieces (values in little-endian order), then `assemble`
//    joins them into one owned buffer (host chunk, file bytes, sub-blocks);
//  - reader: `setBuffer` (or `assign`) gives one owned buffer, then values are
//    handed out from a read position with bounds checks.
//
// Thread: used by one thread at a time (the caller's); no locks. Never on the
// audio thread (it allocates). Allocation failures give null, false or 0; the
// stream stays usable.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class CMemAssembler {
public:
    CMemAssembler() = default;
    virtual ~CMemAssembler() = default;
    CMemAssembler(const CMemAssembler&) = delete;
    CMemAssembler& operator=(const CMemAssembler&) = delete;

    // ---- writer ----
    // n new zero-filled bytes in a new piece; null when n < 0 or the allocation fails.
    uint8_t* append(int32_t n);
    bool writeDouble(double x);
    bool writeInt32(int32_t v);
    bool writeByte(uint8_t v);
    bool writeBytes(const void* data, int32_t n);
    // Joins the pieces (in append order) into one buffer owned by the assembler
    // until the next assemble / setBuffer / assign / clear. The pieces are freed
    // and the read position becomes 0. Returns the length; 0 and out = null when
    // there is nothing to join or the allocation fails.
    int32_t assemble(uint8_t*& out);

    // ---- reader ----
    // Replaces the buffer by n uninitialised bytes for the caller to fill;
    // null when n <= 0 or the allocation fails (the buffer is then empty).
    uint8_t* setBuffer(int32_t n);
    // setBuffer(n) and copy n bytes in; false when that fails.
    bool assign(const void* data, int32_t n);
    bool canRead(int32_t n) const;
    bool canReadDouble() const { return canRead(8); }
    bool canReadInt32() const { return canRead(4); }
    bool canReadByte() const { return canRead(1); }
    // Copies n bytes and advances; without enough bytes copies nothing and returns false.
    bool readBytes(void* dst, int32_t n);
    // Callers test the matching canRead... first; without enough bytes these return 0.
    double readDouble();
    int32_t readInt32();
    uint8_t readByte();

    void clear();

    const uint8_t* data() const { return buffer.get(); }
    int32_t size() const { return bufferSize; }
    int32_t position() const { return readPosition; }
    int32_t remaining() const { return bufferSize - readPosition; }

private:
    struct Piece {
        std::unique_ptr<uint8_t[]> data;
        int32_t size = 0;
    };
    std::vector<Piece> pieces;
    std::unique_ptr<uint8_t[]> buffer;
    int32_t bufferSize = 0;
    int32_t readPosition = 0;
};

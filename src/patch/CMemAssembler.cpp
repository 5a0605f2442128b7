#include "patch/CMemAssembler.h"

#include <cstring>
#include <new>

uint8_t* CMemAssembler::append(int32_t n) {
    if (n < 0) return nullptr;
    Piece piece;
    piece.data.reset(new (std::nothrow) uint8_t[size_t(n) + 1]());
    if (!piece.data) return nullptr;
    piece.size = n;
    try {
        pieces.push_back(std::move(piece));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return pieces.back().data.get();
}

bool CMemAssembler::writeBytes(const void* data, int32_t n) {
    uint8_t* p = append(n);
    if (!p) return false;
    if (n > 0) std::memcpy(p, data, size_t(n));
    return true;
}

// The byte order of the machine is little-endian on every target we build for;
// values are copied as they lie in memory.
bool CMemAssembler::writeDouble(double x) {
    return writeBytes(&x, 8);
}
bool CMemAssembler::writeInt32(int32_t v) {
    return writeBytes(&v, 4);
}
bool CMemAssembler::writeByte(uint8_t v) {
    return writeBytes(&v, 1);
}

int32_t CMemAssembler::assemble(uint8_t*& out) {
    buffer.reset();
    bufferSize = 0;
    readPosition = 0;
    out = nullptr;
    int64_t total = 0;
    for (const Piece& p : pieces)
        total += p.size;
    if (total <= 0 || total > INT32_MAX) {
        pieces.clear();
        return 0;
    }
    buffer.reset(new (std::nothrow) uint8_t[size_t(total)]);
    if (buffer) {
        uint8_t* dst = buffer.get();
        for (const Piece& p : pieces) {
            std::memcpy(dst, p.data.get(), size_t(p.size));
            dst += p.size;
        }
        bufferSize = int32_t(total);
    }
    pieces.clear();
    out = buffer.get();
    return bufferSize;
}

uint8_t* CMemAssembler::setBuffer(int32_t n) {
    buffer.reset();
    bufferSize = 0;
    readPosition = 0;
    if (n <= 0) return nullptr;
    buffer.reset(new (std::nothrow) uint8_t[size_t(n)]);
    if (buffer) bufferSize = n;
    return buffer.get();
}

bool CMemAssembler::assign(const void* data, int32_t n) {
    uint8_t* p = setBuffer(n);
    if (!p) return false;
    std::memcpy(p, data, size_t(n));
    return true;
}

bool CMemAssembler::canRead(int32_t n) const {
    if (!buffer || bufferSize == 0 || n < 0) return false;
    return int64_t(readPosition) + n <= bufferSize;
}

bool CMemAssembler::readBytes(void* dst, int32_t n) {
    if (!canRead(n)) return false;
    if (n > 0) std::memcpy(dst, buffer.get() + readPosition, size_t(n));
    readPosition += n;
    return true;
}

double CMemAssembler::readDouble() {
    double x = 0.0;
    readBytes(&x, 8);
    return x;
}

int32_t CMemAssembler::readInt32() {
    int32_t v = 0;
    readBytes(&v, 4);
    return v;
}

uint8_t CMemAssembler::readByte() {
    uint8_t v = 0;
    readBytes(&v, 1);
    return v;
}

void CMemAssembler::clear() {
    pieces.clear();
    buffer.reset();
    bufferSize = 0;
    readPosition = 0;
}

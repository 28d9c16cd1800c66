#include "link/Tringbuffer.h"

#include <algorithm>
#include <cstring>

TRingBuffer::TRingBuffer(uint32_t capacity_)
    : capacity(capacity_), storage(new uint8_t[std::max<uint32_t>(capacity_, 1)]), writeIndex(0), readIndex(0)
{
    std::memset(storage, 0x1C, capacity);
}

TRingBuffer::~TRingBuffer() { delete[] storage; }

uint32_t TRingBuffer::Count() const
{
    if (readIndex > writeIndex)
        return capacity - readIndex + writeIndex;
    return writeIndex - readIndex;
}

void TRingBuffer::Put(const uint8_t* source, uint32_t n)
{
    if (capacity == 0)
        return;
    for (uint32_t i = 0; i < n; ++i) {
        storage[writeIndex] = source[i];
        if (++writeIndex == capacity)
            writeIndex = 0;
    }
}

uint32_t TRingBuffer::Peek(uint8_t* destination, uint32_t n) const
{
    const uint32_t k = std::min(n, Count());
    uint32_t at = readIndex;
    for (uint32_t i = 0; i < k; ++i) {
        destination[i] = storage[at];
        if (++at == capacity)
            at = 0;
    }
    return k;
}

uint32_t TRingBuffer::Read(uint8_t* destination, uint32_t n)
{
    const uint32_t k = Peek(destination, n);
    Skip(k);
    return k;
}

void TRingBuffer::Skip(uint32_t n)
{
    if (capacity == 0)
        return;
    readIndex = uint32_t((uint64_t(readIndex) + std::min(n, Count())) % capacity);
}

#pragma once
// Byte queue between the port's receive event and the frame extractor.
#include <cstdint>

class TRingBuffer {
public:
    explicit TRingBuffer(uint32_t capacity);
    ~TRingBuffer();
    TRingBuffer(const TRingBuffer&) = delete;
    TRingBuffer& operator=(const TRingBuffer&) = delete;

    uint32_t Count() const;
    // Appends n bytes. The caller keeps within the free room, capacity - 1 - Count.
    void Put(const uint8_t* source, uint32_t n);
    uint32_t Peek(uint8_t* destination, uint32_t n) const;
    uint32_t Read(uint8_t* destination, uint32_t n);
    void Skip(uint32_t n);

    uint32_t Capacity() const { return capacity; }
    uint32_t WriteIndex() const { return writeIndex; }
    uint32_t ReadIndex() const { return readIndex; }
    const uint8_t* Storage() const { return storage; }

private:
    uint32_t capacity;
    uint8_t* storage;
    uint32_t writeIndex;
    uint32_t readIndex;
};

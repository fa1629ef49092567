// The byte ring between reception and playback: a fixed number of equal blocks. Reception
// writes whole blocks; the decoder reads whatever it needs. When the ring is full the caller
// discards the oldest blocks itself (ReadBlock into nothing) before writing.
#pragma once

#include <QtGlobal>

#include <vector>

namespace kestrune {

class RingBuffer {
public:
    static constexpr qsizetype DefaultBufferSize = 4096; // bytes per block
    static constexpr qsizetype DefaultNumBuffers = 100;  // blocks

    RingBuffer();

    qsizetype BufferSize() const { return m_bufferSize; }
    qsizetype NumBuffers() const { return m_numBuffers; }
    // Changes the number of blocks; takes effect at the next Open (the ring is closed).
    void SetNumBuffers(qsizetype blocks);

    // Allocates the blocks and empties the ring. Open on an open ring empties it.
    void Open();
    void Close();
    bool IsOpen() const { return m_open; }
    // Drops everything held; the ring stays open.
    void Empty();

    // Writes exactly one block (BufferSize bytes from `data`). Returns false, writing nothing,
    // when the ring is closed or every block is filled.
    bool WriteBlock(const char *data);
    // Reads the oldest BufferSize bytes into `data` (which may be null to discard them).
    // Returns false, reading nothing, when fewer than BufferSize bytes are held.
    bool ReadBlock(char *data);
    // Reads up to `maxBytes` of the oldest bytes; returns the number read.
    qsizetype Read(char *data, qsizetype maxBytes);

    // Blocks holding unread data, counting a partly read block as filled.
    qsizetype FilledBlocks() const;
    qsizetype BytesHeld() const { return m_held; }
    bool IsEmpty() const { return m_held == 0; }
    qsizetype Capacity() const { return m_bufferSize * m_numBuffers; }

private:
    qsizetype m_bufferSize = DefaultBufferSize;
    qsizetype m_numBuffers = DefaultNumBuffers;
    std::vector<char> m_data;
    qsizetype m_readPos = 0; // byte offset of the oldest unread byte
    qsizetype m_held = 0;
    bool m_open = false;
};

} // namespace kestrune

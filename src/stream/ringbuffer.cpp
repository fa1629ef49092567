#include "stream/ringbuffer.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

RingBuffer::RingBuffer() = default;

void RingBuffer::SetNumBuffers(qsizetype blocks) {
    // A ring of the old size must not stay in use with the new count, or Capacity() would lie
    // about the allocation; closing forces the caller through Open, which reallocates.
    Close();
    m_numBuffers = std::max<qsizetype>(blocks, 1);
}

void RingBuffer::Open() {
    const auto bytes = size_t(Capacity());
    if (m_data.size() != bytes) {
        m_data.assign(bytes, 0);
        m_data.shrink_to_fit();
    }
    m_readPos = 0;
    m_held = 0;
    m_open = true;
}

void RingBuffer::Close() {
    std::vector<char>().swap(m_data);
    m_readPos = 0;
    m_held = 0;
    m_open = false;
}

void RingBuffer::Empty() {
    m_readPos = 0;
    m_held = 0;
}

bool RingBuffer::WriteBlock(const char *data) {
    if (!m_open || !data || m_held + m_bufferSize > Capacity())
        return false;
    // Reads advance the read position and shrink the held count by the same amount, so the
    // write position only ever moves by whole blocks: a block never straddles the end.
    const qsizetype writePos = (m_readPos + m_held) % Capacity();
    std::memcpy(m_data.data() + writePos, data, size_t(m_bufferSize));
    m_held += m_bufferSize;
    return true;
}

bool RingBuffer::ReadBlock(char *data) {
    if (m_held < m_bufferSize)
        return false;
    Read(data, m_bufferSize);
    return true;
}

qsizetype RingBuffer::Read(char *data, qsizetype maxBytes) {
    const qsizetype n = std::min(std::max<qsizetype>(maxBytes, 0), m_held);
    if (n == 0)
        return 0;
    const qsizetype capacity = Capacity();
    if (data) {
        const qsizetype first = std::min(n, capacity - m_readPos);
        std::memcpy(data, m_data.data() + m_readPos, size_t(first));
        if (first < n)
            std::memcpy(data + first, m_data.data(), size_t(n - first));
    }
    m_readPos = (m_readPos + n) % capacity;
    m_held -= n;
    return n;
}

qsizetype RingBuffer::FilledBlocks() const {
    return (m_held + m_bufferSize - 1) / m_bufferSize;
}

} // namespace kestrune

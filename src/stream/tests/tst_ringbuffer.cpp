#include "stream/ringbuffer.h"

#include <QByteArray>
#include <QTest>

using kestrune::RingBuffer;

namespace {

constexpr qsizetype Block = RingBuffer::DefaultBufferSize;

// The stream as reception would deliver it: byte i of the stream is i mod 251. The prime
// period keeps every block different from its neighbours, so a misplaced block or a read
// that starts at the wrong offset shows up as a content mismatch.
char streamByte(qint64 i) {
    return char(i % 251);
}

QByteArray streamBytes(qint64 from, qsizetype count) {
    QByteArray out(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        out[i] = streamByte(from + i);
    return out;
}

// Writes stream block number `index` (bytes index*Block ..).
bool writeStreamBlock(RingBuffer &ring, qint64 index) {
    return ring.WriteBlock(streamBytes(index * Block, Block).constData());
}

QByteArray readBytes(RingBuffer &ring, qsizetype maxBytes) {
    QByteArray out(maxBytes, Qt::Uninitialized);
    out.resize(ring.Read(out.data(), maxBytes));
    return out;
}

} // namespace

class TestRingBuffer : public QObject {
    Q_OBJECT

private slots:
    void blocksComeOutInOrder() {
        RingBuffer ring;
        QCOMPARE(ring.Capacity(), 4096 * 100);
        QVERIFY(!ring.WriteBlock(streamBytes(0, Block).constData())); // not open yet

        ring.Open();
        QVERIFY(ring.IsEmpty());
        for (int i = 0; i < 3; ++i)
            QVERIFY(writeStreamBlock(ring, i));
        QCOMPARE(ring.BytesHeld(), 3 * Block);
        QCOMPARE(ring.FilledBlocks(), 3);

        QByteArray block(Block, Qt::Uninitialized);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(ring.ReadBlock(block.data()));
            QCOMPARE(block, streamBytes(i * Block, Block));
        }
        QVERIFY(ring.IsEmpty());
        QCOMPARE(ring.FilledBlocks(), 0);
        QVERIFY(!ring.ReadBlock(block.data()));
    }

    // Reads of arbitrary size leave the read position mid-block; the partly read block still
    // occupies its slot, and reads must continue seamlessly over the end of the storage.
    void partialReadsAcrossTheWrap() {
        RingBuffer ring;
        ring.SetNumBuffers(4);
        ring.Open();
        for (int i = 0; i < 4; ++i)
            QVERIFY(writeStreamBlock(ring, i));
        QVERIFY(!writeStreamBlock(ring, 4)); // all four slots taken

        QCOMPARE(ring.Read(nullptr, 0), 0);
        QCOMPARE(readBytes(ring, 1000), streamBytes(0, 1000));
        // 15384 bytes left: still four blocks' worth of slots, no room for a whole block.
        QCOMPARE(ring.FilledBlocks(), 4);
        QVERIFY(!writeStreamBlock(ring, 4));

        QCOMPARE(readBytes(ring, 5000), streamBytes(1000, 5000));
        // 10384 bytes = 2 whole blocks + part of one.
        QCOMPARE(ring.BytesHeld(), 4 * Block - 6000);
        QCOMPARE(ring.FilledBlocks(), 3);
        QVERIFY(writeStreamBlock(ring, 4)); // lands in the first slot again
        QCOMPARE(ring.FilledBlocks(), 4);
        QVERIFY(!writeStreamBlock(ring, 5));

        // Up to 2384 bytes before the end of the storage, then a block that straddles it.
        QByteArray block(Block, Qt::Uninitialized);
        QCOMPARE(readBytes(ring, 8000), streamBytes(6000, 8000));
        QVERIFY(ring.ReadBlock(block.data()));
        QCOMPARE(block, streamBytes(14000, Block));
        // Fewer than a block left: ReadBlock refuses and takes nothing, Read drains the rest.
        const qsizetype rest = 5 * Block - 14000 - Block;
        QCOMPARE(ring.BytesHeld(), rest);
        QVERIFY(!ring.ReadBlock(block.data()));
        QCOMPARE(ring.BytesHeld(), rest);
        QCOMPARE(readBytes(ring, 100000), streamBytes(14000 + Block, rest));
        QVERIFY(ring.IsEmpty());
    }

    // What reception does on a full ring: drop the oldest half, then keep writing.
    void fullRingDiscardsOldestHalf() {
        RingBuffer ring;
        ring.Open();
        for (int i = 0; i < 100; ++i)
            QVERIFY(writeStreamBlock(ring, i));
        QVERIFY(!writeStreamBlock(ring, 100));
        QCOMPARE(ring.BytesHeld(), ring.Capacity());

        for (int i = 0; i < 50; ++i)
            QVERIFY(ring.ReadBlock(nullptr));
        QCOMPARE(ring.FilledBlocks(), 50);
        for (int i = 100; i < 150; ++i)
            QVERIFY(writeStreamBlock(ring, i));
        QVERIFY(!writeStreamBlock(ring, 150));

        QByteArray block(Block, Qt::Uninitialized);
        for (int i = 50; i < 150; ++i) {
            QVERIFY(ring.ReadBlock(block.data()));
            QCOMPARE(block, streamBytes(qint64(i) * Block, Block));
        }
        QVERIFY(ring.IsEmpty());
    }

    void emptyCloseAndReopen() {
        RingBuffer ring;
        ring.SetNumBuffers(2);
        ring.Open();
        QVERIFY(writeStreamBlock(ring, 0));
        QVERIFY(writeStreamBlock(ring, 1));
        QCOMPARE(readBytes(ring, 10), streamBytes(0, 10));

        ring.Empty();
        QVERIFY(ring.IsOpen());
        QVERIFY(ring.IsEmpty());
        QCOMPARE(ring.FilledBlocks(), 0);
        // The whole ring is free again and nothing stale comes back.
        QVERIFY(writeStreamBlock(ring, 7));
        QVERIFY(writeStreamBlock(ring, 8));
        QCOMPARE(readBytes(ring, Block), streamBytes(7 * Block, Block));

        ring.Open(); // reopening an open ring empties it
        QVERIFY(ring.IsEmpty());

        QVERIFY(writeStreamBlock(ring, 0));
        ring.Close();
        QVERIFY(!ring.IsOpen());
        QVERIFY(ring.IsEmpty());
        QVERIFY(!writeStreamBlock(ring, 0));
        QCOMPARE(readBytes(ring, Block), QByteArray());

        ring.Open();
        QVERIFY(writeStreamBlock(ring, 3));
        QCOMPARE(readBytes(ring, Block), streamBytes(3 * Block, Block));
    }

    void setNumBuffersTakesEffectAtOpen() {
        RingBuffer ring;
        ring.Open();
        QVERIFY(writeStreamBlock(ring, 0));

        ring.SetNumBuffers(8);
        QVERIFY(!ring.IsOpen());
        QVERIFY(ring.IsEmpty());
        QCOMPARE(ring.NumBuffers(), 8);
        QCOMPARE(ring.Capacity(), 8 * Block);
        QVERIFY(!writeStreamBlock(ring, 0));

        ring.Open();
        for (int i = 0; i < 8; ++i)
            QVERIFY(writeStreamBlock(ring, i));
        QVERIFY(!writeStreamBlock(ring, 8));

        ring.SetNumBuffers(0); // a ring needs at least one block
        ring.Open();
        QCOMPARE(ring.NumBuffers(), 1);
        QVERIFY(writeStreamBlock(ring, 0));
        QVERIFY(!writeStreamBlock(ring, 1));
    }
};

QTEST_GUILESS_MAIN(TestRingBuffer)
#include "tst_ringbuffer.moc"

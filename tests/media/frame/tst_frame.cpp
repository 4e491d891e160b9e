#include "common/DescribedAsset.h"
#include "common/TestEnvironment.h"

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"

#include <QBuffer>
#include <QDataStream>
#include <QImage>

#include <cstring>
#include <thread>

using namespace Emulsa;

class FrameTest : public QObject
{
    Q_OBJECT

private:
    static AssetMetadata describedRecord()
    {
        AssetMetadata m;
        m.id = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        m.valid = false;
        m.name = QStringLiteral("clip é.mov");
        m.filePath = QStringLiteral("/footage/day 1/clip é.mov");
        m.lastModified = QStringLiteral("2024-03-01 12:34:56");
        m.durationMs = 4321;
        Test::describeStream(m, 1920, 1080);
        m.frameCount = 108;
        m.bitRate = 24000000;
        m.audioFrameCount = 203;
        return m;
    }

private slots:
    void readyPublishesTheDescriptionAcrossThreads()
    {
        // The reader thread fills the description and sets `ready` last; a
        // view polling the flag must then see the whole description.
        for (int round = 0; round < 200; ++round) {
            AssetMetadata record;
            record.queued = true;
            std::thread reader([&record, round] {
                record.frameCount = quint32(round + 1);
                record.width = 1920;
                record.queued = false;
                record.ready = true;
            });
            while (!record.ready.load(std::memory_order_acquire))
                std::this_thread::yield();
            QCOMPARE(record.frameCount, quint32(round + 1));
            QCOMPARE(record.width, 1920u);
            QVERIFY(!record.queued);
            reader.join();
            // Requeueing is one test-and-set: only the first asker wins.
            QVERIFY(!record.queued.exchange(true));
            QVERIFY(record.queued.exchange(true));
        }
    }

    void copyDropsThumbnailAndAppliesTheHeightRule()
    {
        AssetMetadata source = describedRecord();
        source.height = 1088;
        source.frameBytes = 1; // stale on purpose: the copy recomputes it
        source.thumbnail = new QImage(4, 4, QImage::Format_RGB32);
        const AssetMetadata copy(source);
        QVERIFY(!copy.thumbnail);
        QCOMPARE(copy.height, 1080u);
        QCOMPARE(copy.frameBytes, 3840u * 1080u);
        QCOMPARE(copy.id, source.id);
        QCOMPARE(copy.name, source.name);
        QCOMPARE(copy.sampleRate, 48000u);

        AssetMetadata assigned;
        assigned.thumbnail = new QImage(2, 2, QImage::Format_RGB32);
        assigned = source;
        QVERIFY(!assigned.thumbnail);
        QCOMPARE(assigned.height, 1080u);

        // Only the 1920-wide case is coding padding.
        source.width = 1440;
        QCOMPARE(AssetMetadata(source).height, 1088u);
    }

    void copyOfUndescribedRecordKeepsFrameBytesUnknown()
    {
        AssetMetadata source;
        source.width = 1920;
        source.height = 1080;
        QCOMPARE(AssetMetadata(source).frameBytes, AssetMetadata::unset);
    }

    void dataStreamRoundTrip()
    {
        AssetMetadata source = describedRecord();
        source.ready = true;
        source.queued = true;
        source.thumbnail = new QImage(4, 4, QImage::Format_RGB32);

        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << source;
        }
        AssetMetadata back;
        QDataStream in(bytes);
        in >> back;
        QCOMPARE(in.status(), QDataStream::Ok);
        QVERIFY(in.atEnd());

        QCOMPARE(back.name, source.name);
        QCOMPARE(back.filePath, source.filePath);
        QCOMPARE(back.id, source.id);
        QCOMPARE(back.frameCount, source.frameCount);
        QCOMPARE(back.frameRateNum, source.frameRateNum);
        QCOMPARE(back.frameRateDen, source.frameRateDen);
        QCOMPARE(back.lastModified, source.lastModified);
        QCOMPARE(back.durationMs, source.durationMs);
        QCOMPARE(back.stride, source.stride);
        QCOMPARE(back.width, source.width);
        QCOMPARE(back.height, source.height);
        QCOMPARE(back.bytesPerTexel, source.bytesPerTexel);
        QCOMPARE(back.frameBytes, source.frameBytes);
        QCOMPARE(back.bitRate, source.bitRate);
        QCOMPARE(back.colorRange, source.colorRange);
        QCOMPARE(back.hasAudio, source.hasAudio);
        QCOMPARE(back.audioSampleMs, source.audioSampleMs);
        QCOMPARE(back.audioFrameCount, source.audioFrameCount);
        QCOMPARE(back.sampleRate, source.sampleRate);
        QCOMPARE(back.channels, source.channels);
        QCOMPARE(back.bitsPerSample, source.bitsPerSample);
        QCOMPARE(back.valid, source.valid);
        // Not stored: they come back with the values of a new record.
        QVERIFY(!back.ready);
        QVERIFY(!back.queued);
        QVERIFY(!back.thumbnail);
    }

    void storedLayoutFollowsFieldOrder()
    {
        AssetMetadata m;
        m.name = QStringLiteral("a");
        m.filePath = QStringLiteral("b");
        m.id = QByteArray("c");
        m.frameCount = 7;
        m.audioSampleMs = 1.5f;
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << m;
        }
        QDataStream in(bytes);
        QString name, path, lastModified;
        QByteArray id;
        quint32 frameCount, num, den, durationMs, stride, width, height, texel, frameBytes, bitRate, range;
        bool hasAudio, valid;
        double sampleMs; // floats are written as 8 bytes at the default precision
        quint32 audioFrames, rate, channels, bits;
        in >> name >> path >> id >> frameCount >> num >> den >> lastModified >> durationMs >> stride >> width >> height
            >> texel >> frameBytes >> bitRate >> range >> hasAudio >> sampleMs >> audioFrames >> rate >> channels
            >> bits >> valid;
        QCOMPARE(in.status(), QDataStream::Ok);
        QVERIFY(in.atEnd());
        QCOMPARE(name, QStringLiteral("a"));
        QCOMPARE(id, QByteArray("c"));
        QCOMPARE(frameCount, 7u);
        QCOMPARE(den, 1u);
        QCOMPARE(texel, 4u);
        QCOMPARE(sampleMs, 1.5);
        QVERIFY(valid);
    }

    void shortStreamLeavesRecordUntouched()
    {
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << describedRecord();
        }
        bytes.chop(10);
        AssetMetadata back;
        back.name = QStringLiteral("kept");
        QDataStream in(bytes);
        in >> back;
        QVERIFY(in.status() != QDataStream::Ok);
        QCOMPARE(back.name, QStringLiteral("kept"));
        QCOMPARE(back.frameCount, 0u);
    }

    void metaTypeStreamsThroughQVariant()
    {
        AssetMetadata::registerMetaType();
        QVERIFY(QMetaType::type("Emulsa::AssetMetadata") != QMetaType::UnknownType);
        QCOMPARE(QMetaType::type("AssetMetadata"), QMetaType::type("Emulsa::AssetMetadata"));
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << QVariant::fromValue(describedRecord());
        }
        QDataStream in(bytes);
        QVariant back;
        in >> back;
        QCOMPARE(back.value<AssetMetadata>().frameCount, 108u);
    }

    void debugTextNamesClip()
    {
        QString text;
        QDebug(&text) << describedRecord();
        QVERIFY(text.startsWith(QStringLiteral("\nMetadata for clip named: clip é.mov")));
        QVERIFY(text.contains(QStringLiteral("\n\t\t\t\t\t ID: 00112233445566778899aabbccddeeff")));
        QVERIFY(text.contains(QStringLiteral("\n\t\t\t\t frames: 108")));
        QVERIFY(text.contains(QStringLiteral("fps: 29.97")));
    }

    void frameWithoutMetadata()
    {
        QTest::ignoreMessage(QtDebugMsg, "Frame:  frame metadata parameters not set, can't malloc");
        auto* frame = new Frame(nullptr);
        QCOMPARE(frame->stride, 0u);
        QCOMPARE(frame->timestamp, qint64(-1));
        QVERIFY(!frame->allocFrameData());
        QVERIFY(!frame->toImage());
        delete frame;
    }

    void allocationUsesTheRightStride()
    {
        AssetMetadata m;
        m.width = 1920;
        m.height = 1080;
        m.stride = 3840;
        Frame frame(&m);
        QCOMPARE(frame.stride, 3840u);
        frame.stride = 0;
        QVERIFY(frame.allocFrameData());
        QCOMPARE(frame.effectiveStride(), 3840u);
        // 3840 x 1080 = 4,147,200 bytes, uploaded as 960 x 1080 texels.
        QCOMPARE(quint64(frame.effectiveStride()) * m.height, quint64(4147200));
        QCOMPARE(frame.effectiveStride() / m.bytesPerTexel, 960u);
        // A decoder that pads its rows: the frame's own stride wins.
        frame.stride = 4096;
        uchar* padded = frame.allocFrameData();
        QVERIFY(padded);
        memset(padded, 0xAB, size_t(4096) * 1080); // the whole buffer must be writable
    }

    void reallocationReleasesThePreviousBuffer()
    {
        AssetMetadata m;
        m.width = 16;
        m.height = 16;
        m.stride = 32;
        Frame frame(&m);
        for (int i = 0; i < 1000; ++i)
            QVERIFY(frame.allocFrameData());
        QVERIFY(frame.data);
    }

    void refusesSizesThatDoNotFit()
    {
        AssetMetadata m;
        m.width = 70000;
        m.height = 70000;
        m.stride = 140000; // 9.8 GB: the product does not fit a signed 32-bit count
        Frame frame(&m);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Frame: refusing"));
        QVERIFY(!frame.allocFrameData());
        QVERIFY(!frame.data);

        AssetMetadata undescribed; // stride still unknown
        undescribed.height = 1080;
        Frame unknown(&undescribed);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Frame: refusing"));
        QVERIFY(!unknown.allocFrameData());
    }

    void toImageShowsTheBgraPicture()
    {
        AssetMetadata m;
        m.width = 3;
        m.height = 2;
        m.stride = 16; // one padding texel per row
        Frame frame(&m);
        QVERIFY(frame.allocFrameData());
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                uchar* p = frame.data + y * 16 + x * 4;
                p[0] = uchar(10 * x); // B
                p[1] = uchar(100 + y); // G
                p[2] = 200; // R
                p[3] = 255;
            }
        }
        QScopedPointer<QImage> image(frame.toImage());
        QVERIFY(image);
        QCOMPARE(image->size(), QSize(3, 2));
        QCOMPARE(image->format(), QImage::Format_RGB32);
        QCOMPARE(image->pixel(2, 1), qRgb(200, 101, 20));
        QCOMPARE(image->pixel(0, 0), qRgb(200, 100, 0));
    }

    void adoptedMetadataLivesWithTheFrame()
    {
        auto* copy = new AssetMetadata;
        copy->width = 4;
        copy->height = 4;
        copy->stride = 16;
        auto* frame = new Frame(nullptr);
        frame->adoptMetadata(copy);
        QCOMPARE(frame->metadata, copy);
        QVERIFY(frame->allocFrameData());
        delete frame; // frees the copy too (checked under the address sanitizer)
    }
};

EMULSA_TEST_MAIN(FrameTest)
#include "tst_frame.moc"

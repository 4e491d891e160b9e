#pragma once

#include "common/TestEnvironment.h"

#include "common/TestMedia.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/source/AudioPacket.h"
#include "media/source/FrameClock.h"
#include "media/source/WinSourceReader.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <memory>

#include <sys/stat.h>
#include <sys/types.h>

namespace Emulsa::Test {

// The index a decoded YUY2 frame shows.
inline int shownIndex(const Frame* frame)
{
    if (!frame || !frame->metadata)
        return -2;
    return TestMedia::frameIndexFromYuy2(
        frame->data, int(frame->metadata->width), int(frame->metadata->height), int(frame->effectiveStride()));
}

struct Packet
{
    explicit Packet(AudioPacket* p)
        : packet(p)
    {
    }
    ~Packet()
    {
        if (packet)
            delete packet->pcm;
        delete packet;
    }
    AudioPacket* packet;
};

// The source reader tests' set-up: the ffmpeg tool that makes the test clips,
// records described as the metadata reader does, and the frame index a
// decoded frame shows.
class SourceReaderFixture : public QObject
{
    Q_OBJECT

protected:
    // A record described the way the metadata reader does it.
    std::unique_ptr<AssetMetadata> describe(TestMedia::Clip clip, std::unique_ptr<Frame>* thumbnail = nullptr)
    {
        auto metadata = std::make_unique<AssetMetadata>();
        metadata->filePath = TestMedia::instance().path(clip);
        if (metadata->filePath.isEmpty())
            return nullptr;
        WinSourceReader reader(true);
        if (!reader.initializeFromMetadata(metadata.get()) || !reader.fillMetadata())
            return nullptr;
        if (thumbnail)
            thumbnail->reset(reader.takeCurrentFrame());
        return metadata;
    }

    void expectMediaNotHandled(const QString& path)
    {
        AssetMetadata metadata;
        metadata.filePath = path;
        WinSourceReader reader;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Media not handled\\.$"));
        QVERIFY(!reader.initializeFromMetadata(&metadata));
        QVERIFY(!reader.fillMetadata());
        QVERIFY(!reader.getNextFrame(true));
        QVERIFY(!reader.getNextAudioBuffer());
        QVERIFY(!reader.takeCurrentFrame());
        QVERIFY(!reader.seekToFrame(3, true));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty(),
            "the ffmpeg command-line tool makes the test clips");
    }
};

} // namespace Emulsa::Test

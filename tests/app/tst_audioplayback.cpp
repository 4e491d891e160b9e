#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "app/AudioPlayback.h"
#include "core/ClipSettings.h"
#include "media/AssetMetadata.h"
#include "media/Frame.h"
#include "media/SequenceItem.h"
#include "media/WinSourceReader.h"

#include <QApplication>

#include <memory>

using namespace Emulsa;
using Emulsa::Test::TestMedia;

namespace {

// Counts the warnings logged while it lives.
class WarningCounter
{
public:
    WarningCounter()
    {
        s_count = 0;
        s_previous = qInstallMessageHandler(&WarningCounter::handle);
    }
    ~WarningCounter() { qInstallMessageHandler(s_previous); }
    int count() const { return s_count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg || type == QtCriticalMsg)
            ++s_count;
        if (type != QtDebugMsg && s_previous)
            s_previous(type, context, message);
    }
    static inline int s_count = 0;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

class AudioPlaybackTest : public QObject
{
    Q_OBJECT

private:
    ClipSettings m_settings;

    // A record described by the reader, not yet marked ready.
    static std::unique_ptr<AssetMetadata> describe(TestMedia::Clip clip)
    {
        auto metadata = std::make_unique<AssetMetadata>();
        metadata->filePath = TestMedia::instance().path(clip);
        WinSourceReader reader(true);
        if (metadata->filePath.isEmpty() || !reader.initializeFromMetadata(metadata.get()) || !reader.fillMetadata())
            return nullptr;
        delete reader.takeCurrentFrame();
        return metadata;
    }

private slots:
    void playsSilentlyWithoutADevice()
    {
        if (AudioPlayback::hasOutputDevice())
            QSKIP("this host has a sound output device");
        auto asset = describe(TestMedia::ProResMov);
        QVERIFY(asset);
        asset->ready = true;
        QVERIFY(asset->hasAudio);
        SequenceItem item(asset.get(), &m_settings, 0, asset->frameCount);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromSequenceItem(&item));
        AudioPlayback audio(&reader);

        WarningCounter warnings;
        audio.currentItemChanged(&item);
        QVERIFY(audio.isSilent());
        QVERIFY(!audio.hasOutput());
        QCOMPARE(warnings.count(), 1);
        audio.setPlayState(false);
        QTest::qWait(100);
        QCOMPARE(audio.playedPosition(), qint64(-1));
        audio.restartAt(400000000);
        // Further clips and seeks stay silent without another warning.
        for (int i = 0; i < 3; ++i) {
            audio.currentItemChanged(&item);
            audio.setPlayState(false);
            audio.setPlayState(true);
        }
        QCOMPARE(warnings.count(), 1);
        QVERIFY(audio.isSilent());
    }

    void waitsForTheRecordWithoutBlocking()
    {
        auto asset = describe(TestMedia::PlanarFloatAudio);
        QVERIFY(asset);
        asset->ready = false;
        SequenceItem item(asset.get(), &m_settings, 0, asset->frameCount);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromSequenceItem(&item));
        AudioPlayback audio(&reader);
        audio.currentItemChanged(&item);
        // The call returned at once and keeps looking from the event loop.
        QVERIFY(audio.isWaitingForMetadata());
        QVERIFY(!audio.isSilent());
        QTest::qWait(150);
        QVERIFY(audio.isWaitingForMetadata());
        asset->ready = true;
        QTRY_VERIFY(!audio.isWaitingForMetadata());
        QCOMPARE(audio.isSilent(), !AudioPlayback::hasOutputDevice());
        // A new clip ends the wait of the old one.
        asset->ready = false;
        audio.currentItemChanged(&item);
        QVERIFY(audio.isWaitingForMetadata());
        audio.currentItemChanged(nullptr);
        QVERIFY(!audio.isWaitingForMetadata());
    }

    void clipsWithoutSoundOpenNothing_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<bool>("valid");
        QTest::newRow("no audio") << int(TestMedia::NoAudio) << true;
        QTest::newRow("invalid record") << int(TestMedia::ProResMov) << false;
    }

    void clipsWithoutSoundOpenNothing()
    {
        QFETCH(int, clip);
        QFETCH(bool, valid);
        auto asset = describe(TestMedia::Clip(clip));
        QVERIFY(asset);
        asset->ready = true;
        asset->valid = valid;
        SequenceItem item(asset.get(), &m_settings, 0, asset->frameCount);
        WinSourceReader reader;
        AudioPlayback audio(&reader);
        WarningCounter warnings;
        audio.currentItemChanged(&item);
        audio.setPlayState(false);
        QVERIFY(!audio.hasOutput());
        QVERIFY(!audio.isSilent());
        QCOMPARE(audio.playedPosition(), qint64(-1));
        QCOMPARE(warnings.count(), 0);
    }
};

EMULSA_TEST_MAIN(AudioPlaybackTest)
#include "tst_audioplayback.moc"

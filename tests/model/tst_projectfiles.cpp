#include "ProjectFilesFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

class ProjectFilesTest : public ProjectFilesFixture
{
    Q_OBJECT

private slots:
    void roundTripKeepsEveryField()
    {
        const QByteArray bytes = writeBytes(m_sequence, m_sequence.at(1));
        QVERIFY(!bytes.isEmpty());
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(bytes, &read, &reader));
        QVERIFY(reader->loadedCleanly());
        QCOMPARE(reader->fileVersion(), 1.1f);
        QCOMPARE(reader->standaloneVersion(), QStringLiteral("1.02.30"));
        QCOMPARE(reader->hostOS(), QSysInfo::prettyProductName());
        QCOMPARE(read.items.size(), m_sequence.size());
        for (int i = 0; i < m_sequence.size(); ++i) {
            const SequenceItem* item = read.items.at(i);
            const SequenceItem* original = m_sequence.at(i);
            QCOMPARE(item->asset, original->asset);
            QCOMPARE(item->uuid, original->uuid);
            QCOMPARE(item->startFrame, original->startFrame);
            QCOMPARE(item->endFrame, original->endFrame);
            QCOMPARE(item->presetUuid(), original->presetUuid());
            QVERIFY(item->settings && item->settings != original->settings);
            compareGrades(*item->settings, *original->settings);
        }
        QVERIFY(bytes.contains("<Current>1</Current>"));
        QCOMPARE(bytes.count("<Current>0</Current>"), 2);
    }

    void handWrittenFileReads()
    {
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(handWrittenProject(), &read, &reader));
        QVERIFY(reader->loadedCleanly());
        QVERIFY(reader->timelineMode());
        QCOMPARE(reader->hostOS(), QStringLiteral("Some Linux"));
        QCOMPARE(read.items.size(), 2);
        const SequenceItem* first = read.items.at(0);
        // Not a known asset id: the record comes from the path.
        QCOMPARE(first->asset->id, MetadataManager::idForPath(QStringLiteral("/footage/A001.mp4")));
        QCOMPARE(first->asset->filePath, QStringLiteral("/footage/A001.mp4"));
        QCOMPARE(first->uuid, QUuid(QStringLiteral("{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}")));
        QCOMPARE(first->startFrame, 0u);
        QCOMPARE(first->endFrame, 250u);
        QVERIFY(first->presetUuid().isEmpty());
        compareGrades(*first->settings, ClipSettings());
        const SequenceItem* second = read.items.at(1);
        QCOMPARE(second->asset->filePath, QStringLiteral("/footage/B002.mov"));
        QCOMPARE(second->startFrame, 12u);
        QCOMPARE(second->endFrame, 48u);
        QCOMPARE(second->presetUuid(), QByteArray("{12345678-1234-1234-1234-123456789012}"));
        compareGrades(*second->settings, sampleGrade());
    }

    void writerMatchesTheHandWrittenLayout()
    {
        // Rebuild the hand-written project and write it: the same text but
        // for the host line and the timeline flag.
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(handWrittenProject(), &read, &reader));
        QByteArray written = writeBytes(read.items, read.items.at(1));
        written.replace(QSysInfo::prettyProductName().toHtmlEscaped().toUtf8(), "Some Linux");
        QByteArray expected(handWrittenProject());
        expected.replace("timeline=\"1\"", "timeline=\"0\"");
        expected.replace("00112233445566778899aabbccddeeff", read.items.at(0)->asset->id.toHex());
        expected.replace("ffeeddccbbaa99887766554433221100", read.items.at(1)->asset->id.toHex());
        QCOMPARE(QString::fromUtf8(written), QString::fromUtf8(expected));
    }

    // The fields a grade lost stay named on the item, in the file an
    // autosave writes and in the next read of it, until the item's grade is
    // saved whole; names in the file that are no field names are dropped.
    void unreadFieldsTravelWithTheItem_data()
    {
        QTest::addColumn<QByteArray>("kelvin");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("cleanly");
        const QByteArray kelvin("<Kelvin>4321.000000</Kelvin>");
        QTest::newRow("damaged value") << QByteArray("<Kelvin>x300</Kelvin>") << QByteArray()
                                       << QStringList { "Kelvin" } << false;
        QTest::newRow("named by an autosave") << kelvin << QByteArray("Kelvin ColorWheels/Mid/Radius")
                                              << QStringList { "Kelvin", "ColorWheels/Mid/Radius" } << true;
        QTest::newRow("damaged and named")
            << QByteArray("<Kelvin>x300</Kelvin>") << QByteArray(" Histogram/White\n Kelvin ")
            << QStringList { "Kelvin", "Histogram/White" } << false;
        QTest::newRow("names that are no field names")
            << kelvin << QByteArray("Kelvin 1x Gamma;rm ../x &lt;b&gt;Lift&lt;/b&gt; ColorWheels/Low Kelvin")
            << QStringList { "Kelvin", "ColorWheels/Low" } << true;
        QStringList many;
        for (char c = 'A'; c <= 'Z'; ++c)
            many << QStringLiteral("%1a").arg(QLatin1Char(c)) << QStringLiteral("%1b").arg(QLatin1Char(c));
        QTest::newRow("more names than a grade has")
            << kelvin << many.join(' ').toLatin1() << QStringList(many.mid(0, GradeBlockReader::maxStoredUnreadFields))
            << true;
        QTest::newRow("empty element") << kelvin << QByteArray(" ") << QStringList() << true;
    }

    void unreadFieldsTravelWithTheItem()
    {
        QFETCH(QByteArray, kelvin);
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, fields);
        QFETCH(bool, cleanly);
        QByteArray document(handWrittenProject());
        QVERIFY(document.contains("<Kelvin>4321.000000</Kelvin>"));
        document.replace("<Kelvin>4321.000000</Kelvin>", kelvin);
        if (!stored.isNull()) {
            const QByteArray end("</ClipSettings>\n        </SequenceItem>\n    </SequenceItems>");
            QVERIFY(document.contains(end));
            document.replace(end,
                "</ClipSettings><UnreadGradeFields>" + stored
                    + "</UnreadGradeFields>\n        </SequenceItem>\n    </SequenceItems>");
        }
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(document, &read, &reader));
        QCOMPARE(read.items.size(), 2);
        QVERIFY(read.items.at(0)->unreadGradeFields.isEmpty());
        SequenceItem* item = read.items.at(1);
        QCOMPARE(item->unreadGradeFields, fields);
        QCOMPARE(reader->loadedCleanly(), cleanly);
        QCOMPARE(reader->incompleteGrades().value(item->uuid), fields);
        QCOMPARE(reader->incompleteGrades().size(), fields.isEmpty() ? 0 : 1);
        // The rest of the item is read as written.
        QCOMPARE(item->presetUuid(), QByteArray("{12345678-1234-1234-1234-123456789012}"));
        QCOMPARE(item->endFrame, 48u);

        // Written again (as an autosave does) and read back: the names stay,
        // and the fields the file now holds read without error.
        const QByteArray again = writeBytes(read.items, item);
        QCOMPARE(again.count("<UnreadGradeFields>"), fields.isEmpty() ? 0 : 1);
        ReadItems reread;
        QVERIFY(readBytes(again, &reread, &reader));
        QCOMPARE(reread.items.at(1)->unreadGradeFields, fields);
        QVERIFY(reader->loadedCleanly());

        // Once the item's grade is saved whole the file names nothing.
        reread.items.at(1)->unreadGradeFields.clear();
        QVERIFY(!writeBytes(reread.items, item).contains("UnreadGradeFields"));
    }

    void profileMissingFromTheCatalogueStillSaves()
    {
        ClipSettings grade;
        grade.setSourceType(ProfileInfo::packId("ZZ99"));
        SequenceItem item(m_sequence.at(0)->asset, &grade, 0, 10);
        const QList<SequenceItem*> items { &item };
        const QString path = m_folder + QStringLiteral("/missing-profile.empf");
        ProjectFileWriter writer(&items, &item, false, &m_catalogue);
        QVERIFY(writer.saveToFile(path));
        ReadItems read;
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("The  profile is not installed on your system"));
        QVERIFY(readBytes(fileBytes(path), &read));
        QCOMPARE(read.items.size(), 1);
        QCOMPARE(read.items.at(0)->settings->getSourceType(), ProfileInfo::packId("ZZ99"));
    }

    void failedSaveLeavesTheOldFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("item without media") << "item";
        QTest::newRow("disk full") << "full";
    }

    void failedSaveLeavesTheOldFile()
    {
        QFETCH(QString, how);
        const QString path = m_folder + QStringLiteral("/keep-") + how + QStringLiteral(".empf");
        const QByteArray old("old project bytes\n");
        QVERIFY(writeFileBytes(path, old));

        SequenceItem broken(nullptr, nullptr, 0, 0);
        QList<SequenceItem*> items = m_sequence;
        if (how == QLatin1String("item"))
            items << &broken;
        else
            for (int i = 0; i < 8; ++i)
                items += m_sequence; // well past the size limit below

        ProjectFileWriter writer(&items, nullptr, false, &m_catalogue);
        QString error;
        bool saved = false;
        if (how == QLatin1String("full")) {
            // Writes past 4 KiB fail as on a full disk (also for root).
            struct rlimit previous;
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = previous;
            small.rlim_cur = 4096;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            saved = writer.saveToFile(path, &error);
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, previousHandler);
        } else {
            saved = writer.saveToFile(path, &error);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(fileBytes(path), old);
        QCOMPARE(QDir(m_folder).entryList({ QStringLiteral("keep-") + how + QStringLiteral("*") }, QDir::Files),
            QStringList { QFileInfo(path).fileName() });
    }

    void saveIntoAFolderThatCannotBeMade()
    {
        const QString notAFolder = m_folder + QStringLiteral("/plain-file");
        QVERIFY(writeFileBytes(notAFolder, "x"));
        ProjectFileWriter writer(&m_sequence, nullptr, false, &m_catalogue);
        QString error;
        QVERIFY(!writer.saveToFile(notAFolder + QStringLiteral("/project.empf"), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(fileBytes(notAFolder), QByteArray("x"));
    }

    void saveReplacesAndBackupKeepsTheOldFile()
    {
        const QString path = m_folder + QStringLiteral("/replace.empf");
        QVERIFY(writeFileBytes(path, "first version"));
        QVERIFY(ProjectFileWriter::keepBackup(path));
        ProjectFileWriter writer(&m_sequence, nullptr, false, &m_catalogue);
        QVERIFY(writer.saveToFile(path));
        QCOMPARE(fileBytes(path + QStringLiteral(".bak")), QByteArray("first version"));
        QCOMPARE(fileBytes(path), writeBytes(m_sequence, nullptr));
        QVERIFY(ProjectFileWriter::keepBackup(m_folder + QStringLiteral("/no-such.empf")));
    }
};

EMULSA_TEST_MAIN(ProjectFilesTest)
#include "tst_projectfiles.moc"

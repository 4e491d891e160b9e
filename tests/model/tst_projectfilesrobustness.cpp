#include "ProjectFilesFixture.h"
#include "common/TestEnvironment.h"
#include "model/BoundedXml.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// Project files that are not as the writer makes them: odd values, repeated
// or missing positions and ids, cut files, huge counts and hostile documents;
// what loads and what is refused.
class ProjectFilesRobustnessTest : public ProjectFilesFixture
{
    Q_OBJECT

private slots:
    void edgeCases_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("readOk");
        QTest::addColumn<int>("items");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("defaulted");
        // What the summary names: the clip and the fields its grade lost.
        QTest::addColumn<QString>("named");
        QTest::newRow("count above the items")
            << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"3\"") << false << 2 << 1 << 0 << QString();
        QTest::newRow("count below the items")
            << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"1\"") << true << 1 << 1 << 0 << QString();
        QTest::newRow("count zero") << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"0\"") << true << 0
                                    << 2 << 0 << QString();
        QTest::newRow("count not a number") << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"two\"")
                                            << false << 0 << 0 << 0 << QString();
        QTest::newRow("no timeline") << QByteArray("timeline=\"1\" ") << QByteArray() << false << 0 << 0 << 0
                                     << QString();
        QTest::newRow("misspelled grade element")
            << QByteArray("<Gamma>1.070000</Gamma>") << QByteArray("<Gama>1.07</Gama>") << true << 2 << 0 << 1
            << "B002.mov: Gamma";
        QTest::newRow("exposure not a number")
            << QByteArray("<Exposure>-0.432100</Exposure>") << QByteArray("<Exposure>nan</Exposure>") << true << 2 << 0
            << 1 << "B002.mov: Exposure";
        QTest::newRow("kelvin infinite") << QByteArray("<Kelvin>4321.000000</Kelvin>")
                                         << QByteArray("<Kelvin>inf</Kelvin>") << true << 2 << 0 << 1
                                         << "B002.mov: Kelvin";
        // Wheels and levels that keep their defaults leave the grade in use,
        // but the file did not load cleanly.
        QTest::newRow("wheel radius not a number")
            << QByteArray("<Radius>0.250000</Radius>") << QByteArray("<Radius>x</Radius>") << true << 2 << 0 << 0
            << "B002.mov: ColorWheels/Low/Radius";
        QTest::newRow("bad start frame") << QByteArray("<StartFrame>12</StartFrame>")
                                         << QByteArray("<StartFrame>-12</StartFrame>") << true << 1 << 1 << 0
                                         << QString();
        QTest::newRow("no asset id") << QByteArray("ffeeddccbbaa99887766554433221100") << QByteArray() << true << 1 << 1
                                     << 0 << QString();
        QTest::newRow("no position") << QByteArray("position=\"1\"") << QByteArray("place=\"1\"") << true << 1 << 1 << 0
                                     << QString();
        QTest::newRow("no grade") << QByteArray("<ClipSettings>\n                <StockName>FujiVelvia100")
                                  << QByteArray("<Grade>\n                <StockName>FujiVelvia100") << true << 1 << 1
                                  << 0 << QString();
        QTest::newRow("every item damaged")
            << QByteArray("Current>") << QByteArray("Curent>") << false << 0 << 2 << 0 << QString();
        QTest::newRow("foreign element between items")
            << QByteArray("</SequenceItem>\n        <SequenceItem position=\"1\">")
            << QByteArray("</SequenceItem><Note>x</Note><SequenceItem position=\"1\">") << true << 1 << 2 << 0
            << QString();
    }

    void edgeCases()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, readOk);
        QFETCH(int, items);
        QFETCH(int, skipped);
        QFETCH(int, defaulted);
        QFETCH(QString, named);
        QByteArray document(handWrittenProject());
        QVERIFY(document.contains(from));
        document.replace(from, to);
        if (to.startsWith("<Grade>"))
            document.replace("</ClipSettings>\n        </SequenceItem>\n    </SequenceItems>",
                "</Grade>\n        </SequenceItem>\n    </SequenceItems>");
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QCOMPARE(readBytes(document, &read, &reader), readOk);
        QCOMPARE(read.items.size(), items);
        QCOMPARE(reader->skippedItems(), qint64(skipped));
        QCOMPARE(reader->defaultedGrades(), defaulted);
        QVERIFY(!reader->loadedCleanly());
        QVERIFY(!reader->problemSummary().isEmpty());
        QVERIFY2(reader->problemSummary().contains(named), qPrintable(reader->problemSummary()));
    }

    void samePositionInsertsBefore()
    {
        QByteArray document(handWrittenProject());
        document.replace("position=\"1\"", "position=\"0\"");
        ReadItems read;
        QVERIFY(readBytes(document, &read));
        QCOMPARE(read.items.size(), 2);
        QCOMPARE(read.items.at(0)->asset->filePath, QStringLiteral("/footage/B002.mov"));
        QCOMPARE(read.items.at(1)->asset->filePath, QStringLiteral("/footage/A001.mp4"));
    }

    void positionsOutsideTheListAppendOrPrepend()
    {
        QByteArray document(handWrittenProject());
        document.replace("position=\"0\"", "position=\"99\"").replace("position=\"1\"", "position=\"-5\"");
        ReadItems read;
        QVERIFY(readBytes(document, &read));
        QCOMPARE(read.items.at(0)->asset->filePath, QStringLiteral("/footage/B002.mov"));
    }

    void itemIdsAreFreshWhenInvalidOrRepeated()
    {
        QByteArray document(handWrittenProject());
        document.replace("{0a5f2e7d-1c4b-4e8a-b3a6-7d9e0f1a2b3c}", "{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}");
        ReadItems repeated;
        QVERIFY(readBytes(document, &repeated));
        QCOMPARE(repeated.items.size(), 2);
        QCOMPARE(repeated.items.at(0)->uuid, QUuid(QStringLiteral("{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}")));
        QVERIFY(!repeated.items.at(1)->uuid.isNull());
        QVERIFY(repeated.items.at(1)->uuid != repeated.items.at(0)->uuid);

        document.replace("{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}", "not a uuid");
        ReadItems invalid;
        QVERIFY(readBytes(document, &invalid));
        QVERIFY(!invalid.items.at(0)->uuid.isNull());
        QVERIFY(invalid.items.at(0)->uuid != invalid.items.at(1)->uuid);
    }

    void everyPrefixLoadsAndReportsWhatItSkipped()
    {
        const QByteArray whole = writeBytes(m_sequence, m_sequence.at(0));
        QVERIFY(!whole.isEmpty());
        const int complete = whole.indexOf("</Project>") + int(qstrlen("</Project>"));
        for (int length = 0; length < whole.size(); ++length) {
            ReadItems read;
            std::unique_ptr<ProjectFileReader> reader;
            const bool ok = readBytes(whole.left(length), &read, &reader);
            QVERIFY2(ok == (length >= complete), qPrintable(QString::number(length)));
            QCOMPARE(reader->loadedCleanly(), length >= complete);
            // What loaded is whole and in order; the rest is reported.
            for (int i = 0; i < read.items.size(); ++i) {
                QCOMPARE(read.items.at(i)->uuid, m_sequence.at(i)->uuid);
                QCOMPARE(read.items.at(i)->endFrame, m_sequence.at(i)->endFrame);
                compareGrades(*read.items.at(i)->settings, *m_sequence.at(i)->settings);
            }
            if (reader->declaredItems() >= 0)
                QCOMPARE(read.items.size() + reader->skippedItems(), qint64(m_sequence.size()));
            else
                QVERIFY(read.items.isEmpty());
        }
    }

    void hugeItemCountAllocatesNothing_data()
    {
        QTest::addColumn<QByteArray>("count");
        QTest::addColumn<qint64>("missing");
        QTest::newRow("largest int") << QByteArray("2147483647") << qint64(2147483647 - 2);
        QTest::newRow("past int") << QByteArray("99999999999") << qint64(0);
    }

    void hugeItemCountAllocatesNothing()
    {
        // A list sized from this count would need 16 GiB.
        QFETCH(QByteArray, count);
        QFETCH(qint64, missing);
        QByteArray document(handWrittenProject());
        document.replace("total-items=\"2\"", "total-items=\"" + count + "\"");
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(!readBytes(document, &read, &reader));
        QCOMPARE(reader->skippedItems(), missing);
        QCOMPARE(read.items.size(), missing > 0 ? 2 : 0);
    }

    // Entity declarations could grow a small file into gigabytes: any
    // document type definition is refused, and so is a text longer than the
    // longest field any of the program's files holds.
    void hostileDocumentsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("reason");
        QTest::newRow("nested entities") << QByteArray("<Project>")
                                         << QByteArray("<!DOCTYPE Project [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                                                       "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>\n<Project>")
                                         << "document type definition";
        QTest::newRow("plain document type")
            << QByteArray("<Project>") << QByteArray("<!DOCTYPE Project>\n<Project>") << "document type definition";
        QTest::newRow("over-long path") << QByteArray("/footage/B002.mov")
                                        << QByteArray(BoundedXml::maxTextLength + 1, 'p') << "longer than";
        QTest::newRow("over-long text between items")
            << QByteArray("</SequenceItem>\n        <SequenceItem position=\"1\">")
            << "</SequenceItem>" + QByteArray(BoundedXml::maxTextLength + 1, 't') + "<SequenceItem position=\"1\">"
            << "longer than";
        QTest::newRow("over-long comment")
            << QByteArray("<General>") << "<!--" + QByteArray(BoundedXml::maxTextLength + 1, 'c') + "--><General>"
            << "longer than";
    }

    void hostileDocumentsAreRefused()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, reason);
        QByteArray document(handWrittenProject());
        QVERIFY(document.contains(from));
        document.replace(from, to);
        if (to.contains("ENTITY"))
            document.replace("Some Linux", "&b;");
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(!readBytes(document, &read, &reader));
        QVERIFY(read.items.size() < 2);
        QVERIFY2(reader->errorString().contains(reason), qPrintable(reader->errorString()));
    }
};

EMULSA_TEST_MAIN(ProjectFilesRobustnessTest)
#include "tst_projectfilesrobustness.moc"

#include "common/TestEnvironment.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "model/Model.h"
#include "model/SequenceTasks.h"

#include <QMetaMethod>
#include <QThread>

using namespace Emulsa;

// The model's signals cross threads through queued connections, which Qt
// drops at run time (with only a warning) when a parameter type is not a
// registered meta-type. The dispatch tables are open to the command families.
class ModelSignalsTest : public QObject
{
    Q_OBJECT

private:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;

private slots:
    // Every parameter of every signal, and of the command slot, is a
    // registered meta-type once the model exists.
    void everyQueuedParameterTypeIsRegistered()
    {
        Model model(nullptr, &m_catalogue, &m_library);
        const QMetaObject* meta = &Model::staticMetaObject;
        int signalCount = 0;
        QStringList unregistered;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal)
                ++signalCount;
            else if (method.name() != "runCommands")
                continue;
            for (int p = 0; p < method.parameterCount(); ++p) {
                const QByteArray typeName = method.parameterTypes().at(p);
                const int id = QMetaType::type(typeName.constData());
                if (id == QMetaType::UnknownType || !QMetaType::isRegistered(id))
                    unregistered.append(QString::fromLatin1(method.methodSignature() + " / " + typeName));
            }
        }
        QVERIFY2(unregistered.isEmpty(), qPrintable(unregistered.join(QStringLiteral("\n"))));
        QVERIFY(signalCount >= 20);
    }

    // A value-carrying signal emitted on another thread arrives through a
    // queued connection with its value.
    void queuedSignalsArrive()
    {
        Model model(nullptr, &m_catalogue, &m_library);
        ClipSettings received;
        QUuid receivedUuid;
        QList<const SequenceItem*>* receivedList = nullptr;
        bool gotSettings = false;
        connect(
            &model, &Model::viewNeedRefresh, this,
            [&](const ClipSettings& settings) {
                received = settings;
                gotSettings = true;
            },
            Qt::QueuedConnection);
        connect(
            &model, &Model::startPointChanged, this, [&](const QUuid& uuid, uint) { receivedUuid = uuid; },
            Qt::QueuedConnection);
        connect(
            &model, &Model::sequenceItemsReadyToBeRender, this,
            [&](QList<const SequenceItem*>* list) { receivedList = list; }, Qt::QueuedConnection);
        const QUuid uuid = QUuid::createUuid();
        QThread* thread = QThread::create([&model, uuid] {
            ClipSettings settings;
            settings.setExposure(2.5f);
            settings.setStockName(QStringLiteral("5219"));
            emit model.viewNeedRefresh(settings);
            emit model.startPointChanged(uuid, 4);
            emit model.sequenceItemsReadyToBeRender(new QList<const SequenceItem*>);
        });
        thread->start();
        QVERIFY(thread->wait(10000));
        delete thread;
        QTRY_VERIFY(gotSettings);
        QCOMPARE(received.getExposure(), 2.5f);
        QCOMPARE(received.getStockName(), QStringLiteral("5219"));
        QTRY_COMPARE(receivedUuid, uuid);
        QTRY_VERIFY(receivedList);
        SequenceItem::deleteSnapshots(receivedList);
    }

    // A family's handlers are registered in one table; a family-wide handler
    // can wrap them (the grade family's preset rule does).
    void dispatchByCategory()
    {
        Model model(nullptr, &m_catalogue, &m_library);
        const quint32 type = makeTaskType(0x0123, 0x0004);
        QVERIFY(!model.commands().hasHandler(type));
        QList<char> modes;
        model.commands().registerHandler(type, [&modes](Model&, BaseTask* command, char mode) -> BaseTask* {
            modes.append(mode);
            return command; // its own inverse
        });
        QVERIFY(model.commands().hasHandler(type));
        model.runCommands(new BaseTask(type));
        QCOMPARE(model.history().undoStack().size(), 1);
        QVERIFY(model.unsavedChanges());
        model.runCommands(new BaseTask(Undo));
        QCOMPARE(model.history().undoStack().size(), 0);
        QCOMPARE(model.history().redoStack().size(), 1);
        model.runCommands(new BaseTask(Redo));
        QCOMPARE(modes, QList<char>({ NewCommand, Undoing, Redoing }));

        int wrapped = 0;
        model.commands().setCategoryHandler(0x0123, [&wrapped](Model& m, BaseTask* command, char mode) {
            ++wrapped;
            return m.runHandler(command, mode);
        });
        model.runCommands(new BaseTask(type));
        QCOMPARE(wrapped, 1);
        QCOMPARE(model.history().undoStack().size(), 2);
        // A new command empties the redo stack; an entry's own inverse
        // stays on the undo stack.
        QCOMPARE(model.history().redoStack().size(), 0);
        model.runCommands(nullptr); // ignored
        QCOMPARE(modes.size(), 4);
    }

    void taskTypesKeepTheirFamilies_data()
    {
        QTest::addColumn<quint32>("type");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("Undo") << quint32(Undo) << 0x00000001u;
        QTest::newRow("GroupEnd") << quint32(GroupEnd) << 0x00000004u;
        QTest::newRow("RestoreSettingsSnapshot") << quint32(RestoreSettingsSnapshot) << 0x00000005u;
        QTest::newRow("AddShot") << quint32(AddShot) << 0x000F0002u;
        QTest::newRow("ItemsForRender") << quint32(ItemsForRender) << 0x000F0007u;
        QTest::newRow("NewFileLoaded") << quint32(NewFileLoaded) << 0x000F000Bu;
        QTest::newRow("PositionChanged") << quint32(PositionChanged) << 0x000F0012u;
        QTest::newRow("ImportPresetGroup") << quint32(ImportPresetGroup) << 0x000F0020u;
        QTest::newRow("SetProfile") << quint32(SetProfile) << 0x00FF0001u;
        QTest::newRow("HistogramAboutToChange") << quint32(HistogramAboutToChange) << 0x00FF0023u;
        QTest::newRow("ApplyPreset") << quint32(ApplyPreset) << 0x00FF0024u;
    }

    void taskTypesKeepTheirFamilies()
    {
        QFETCH(quint32, type);
        QFETCH(quint32, expected);
        QCOMPARE(type, expected);
        QCOMPARE(makeTaskType(taskCategory(type), taskNumber(type)), type);
    }
};

EMULSA_TEST_MAIN(ModelSignalsTest)
#include "tst_modelsignals.moc"

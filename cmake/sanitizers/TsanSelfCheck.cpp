// ThreadSanitizer build only: checks the build's own set-up, the Qt
// annotations and the suppression file, from both sides.
//
//   tsan_selfcheck ordered   hands data between threads the ways our code
//                            does (a pool task and its result, a thread's
//                            work before a wait for it, a mutex, a queued
//                            signal's argument, handed over as our code
//                            does): must end without a report.
//   tsan_selfcheck race      the same, plus unordered writes from two
//                            threads: must be reported. A suppression or
//                            option that hid it would hide races in our code
//                            too.

#include "core/ThreadHandOff.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

struct Payload
{
    int values[16] = {};
};

class Receiver : public QObject
{
    Q_OBJECT

public:
    int sum = 0;

public slots:
    void take(Payload* payload)
    {
        Emulsa::takeOver(payload);
        for (int v : payload->values)
            sum += v;
        delete payload;
        QCoreApplication::quit();
    }
};

class Sender : public QObject
{
    Q_OBJECT

signals:
    void ready(Payload* payload);
};

volatile int racyCounter = 0;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool race = argc > 1 && std::strcmp(argv[1], "race") == 0;

    // A pool task reads what was written before it started; its result is
    // read after waiting for it.
    int input[64];
    for (int i = 0; i < 64; ++i)
        input[i] = i;
    QFuture<int> sum = QtConcurrent::run([&input] {
        int total = 0;
        for (int v : input)
            total += v;
        return total;
    });
    if (sum.result() != 2016)
        return 2;

    // A thread's work is read after waiting for it.
    int produced = 0;
    QThread* worker = QThread::create([&produced] {
        produced = 7;
        QThread::currentThread()->quit();
    });
    worker->start();
    worker->wait();
    if (produced != 7)
        return 3;
    delete worker;

    // A counter shared under a QMutex.
    QMutex mutex;
    int shared = 0;
    QFuture<void> adder = QtConcurrent::run([&] {
        for (int i = 0; i < 1000; ++i) {
            QMutexLocker lock(&mutex);
            ++shared;
        }
    });
    for (int i = 0; i < 1000; ++i) {
        QMutexLocker lock(&mutex);
        ++shared;
    }
    adder.waitForFinished();
    if (shared != 2000)
        return 4;

    if (race) {
        // A thread of our own, so that nothing but the race is in between.
        std::thread racer([] {
            for (int i = 0; i < 1000; ++i)
                racyCounter = racyCounter + 1;
        });
        for (int i = 0; i < 1000; ++i)
            racyCounter = racyCounter + 1;
        racer.join();
    }

    // A pointer sent from another thread through a queued signal.
    Receiver receiver;
    Sender sender;
    QThread senderThread;
    sender.moveToThread(&senderThread);
    QObject::connect(&sender, &Sender::ready, &receiver, &Receiver::take, Qt::QueuedConnection);
    QObject::connect(&senderThread, &QThread::started, &sender, [&sender] {
        auto* payload = new Payload;
        for (int i = 0; i < 16; ++i)
            payload->values[i] = i;
        Emulsa::handOver(payload);
        emit sender.ready(payload);
    });
    senderThread.start();
    QTimer::singleShot(30000, &app, [] { QCoreApplication::exit(5); });
    const int loop = app.exec();
    senderThread.quit();
    senderThread.wait();
    if (loop != 0 || receiver.sum != 120)
        return 6;
    std::printf("tsan_selfcheck: %s done\n", race ? "race" : "ordered");
    return 0;
}

#include "TsanSelfCheck.moc"

#pragma once

#include "RenderFixture.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QtTest>

namespace Emulsa::Test {

// The off-screen renderer tests' set-up: the render fixture, made once, and
// a fresh output folder for every test.
class OffscreenRendererFixture : public QObject
{
    Q_OBJECT

protected:
    RenderFixture m_fixture;
    QString m_out;
    TestMedia& media() { return TestMedia::instance(); }
    // The hidden folders a sequence of `base` is written to, in m_out.
    QStringList workingFolders(const QString& base) const
    {
        return QDir(m_out).entryList(
            { QLatin1Char('.') + base + QStringLiteral(".*.part") }, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    }

    // The MD5 digest of a file's bytes; empty when it cannot be read.
    static QByteArray md5(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5);
    }

    // Everything in a folder, hidden entries too, by name.
    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(m_fixture.setUp(&why), qPrintable(why));
    }

    void init() { m_out = makeTempFolder(QStringLiteral("render")); }
};

} // namespace Emulsa::Test

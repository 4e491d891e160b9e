#include "common/TestEnvironment.h"

#include "core/ApplicationPaths.h"
#include "core/OffscreenGLContext.h"
#include "core/ShaderProcessor.h"

#include <QDir>

using namespace Emulsa;

// A processor on an installation without film data: it must refuse to draw
// with empty grain textures rather than start.
class TestShaderProcessorNoData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void initializeFailsWithoutDefaultGrain();
    void setStockFailsWithoutTables();

private:
    OffscreenGLContext m_gl;
};

void TestShaderProcessorNoData::initTestCase()
{
    const QString base = Test::makeTempFolder(QStringLiteral("nodata"));
    QVERIFY(QDir().mkpath(base + QStringLiteral("/Quillmoor/Resources")));
    qputenv("PROGRAMDATA", QFile::encodeName(base));
    ApplicationPaths::instance()->clearCache();
    QVERIFY2(m_gl.create(), qPrintable(m_gl.lastError()));
}

void TestShaderProcessorNoData::initializeFailsWithoutDefaultGrain()
{
    const ClipSettings settings;
    auto processor = std::make_unique<ShaderProcessor>(m_gl.context());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: No grain for stock 5207")));
    QTest::ignoreMessage(QtWarningMsg, "ShaderProcessor: Failed to initialize shader textures");
    QVERIFY(!processor->initialize(64, 32, &settings, nullptr, 0, 0, StretchToFit));
    QVERIFY(!processor->isInitialized());
    QVERIFY(!processor->grade().grain());
    // Preparing a pass does nothing; destruction cleans up what was built.
    processor->prepareFrame(ShaderProcessor::GradePass, ShaderProcessor::NoOrderPreference);
    processor->finishFrame();
    processor.reset();
    QCOMPARE(m_gl.functions()->glGetError(), GLenum(GL_NO_ERROR));
}

void TestShaderProcessorNoData::setStockFailsWithoutTables()
{
    ShaderProcessor processor(m_gl.context());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: No stock table for 5207")));
    QVERIFY(!processor.setStock(QStringLiteral("5207"), 0x3130544F, 1.0));
    QCOMPARE(processor.grade().grainScale(), 1.0);
    QCOMPARE(processor.grade().blurAmount(), 0.f);
    const ClipSettings settings;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ShaderProcessor: No stock table for 5207")));
    QVERIFY(!processor.applySettings(&settings));
    QVERIFY(!processor.grade().bypass());
}

EMULSA_TEST_MAIN(TestShaderProcessorNoData)
#include "tst_shaderprocessornodata.moc"

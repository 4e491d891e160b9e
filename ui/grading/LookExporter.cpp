#include "ui/grading/LookExporter.h"

#include "core/LookCube.h"
#include "model/SettingsManager.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QtConcurrent>

namespace Emulsa {

namespace {

const char* const folderKey = "LookExportFolder";

} // namespace

LookExporter::LookExporter(QWidget* window)
    : QObject(window)
    , m_window(window)
{
    connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, &LookExporter::finish);
}

LookExporter::~LookExporter()
{
    if (m_cancel)
        m_cancel->store(true);
    m_watcher.waitForFinished();
}

QString LookExporter::chooseFile(const QString& suggested)
{
    if (m_chooseFile)
        return m_chooseFile(suggested);
    return QFileDialog::getSaveFileName(
        m_window, tr("Export LUT"), suggested, tr("Cube LUT (*.cube)"), nullptr, QFileDialog::DontUseNativeDialog);
}

void LookExporter::exportLook(const ClipSettings& grade, int size, const QString& title)
{
    if (isBusy())
        return;
    std::unique_ptr<QSettings> store = SettingsManager::openStore();
    const QString folder = store->value(QLatin1String(folderKey), QDir::homePath()).toString();
    QString name = title;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._ -]+")), QStringLiteral(" "));
    QString path = chooseFile(QDir(folder).filePath(name.simplified() + QStringLiteral(".cube")));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".cube");
    store->setValue(QLatin1String(folderKey), QFileInfo(path).absolutePath());
    m_path = path;

    m_cancel = std::make_shared<std::atomic_bool>(false);
    m_progress
        = new QProgressDialog(tr("Baking the look into a %1-point LUT…").arg(size), tr("Cancel"), 0, 100, m_window);
    m_progress->setWindowTitle(tr("Export LUT"));
    m_progress->setMinimumDuration(400);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    std::shared_ptr<std::atomic_bool> cancel = m_cancel;
    connect(m_progress, &QProgressDialog::canceled, this, [cancel] { cancel->store(true); });
    QPointer<QProgressDialog> progress = m_progress;
    m_watcher.setFuture(QtConcurrent::run([grade, size, title, path, cancel, progress]() {
        Outcome outcome;
        LookCube cube;
        auto report = [progress](double done) {
            QMetaObject::invokeMethod(
                progress,
                [progress, done] {
                    if (progress)
                        progress->setValue(int(done * 100));
                },
                Qt::QueuedConnection);
        };
        outcome.ok = LookCube::bake(grade, size, title, &cube, &outcome.message, cancel.get(), report)
            && cube.write(path, &outcome.message);
        return outcome;
    }));
}

void LookExporter::finish()
{
    const Outcome outcome = m_watcher.result();
    if (m_progress)
        m_progress->deleteLater();
    const bool cancelled = m_cancel && m_cancel->load();
    m_cancel.reset();
    if (outcome.ok) {
        emit exported(m_path);
    } else if (!cancelled) {
        emit failed(outcome.message);
    }
}

} // namespace Emulsa

#pragma once

#include "common/TestEnvironment.h"

#include "app/FileManager.h"
#include "common/RenderQueueSupport.h"
#include "common/TestMedia.h"
#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/render/OutputSettings.h"
#include "model/SettingsManager.h"
#include "ui/render/EMRenderList.h"
#include "ui/render/EMRenderer.h"
#include "ui/render/RenderOutputForm.h"
#include "ui/render/RenderProgress.h"
#include "ui/render/ResolutionChooser.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

#include <memory>

namespace Emulsa::Test {

// A render tab wired as the controller wires it, with the test's own items
// standing in for the model: a request is answered with snapshot copies.
struct Tab
{
    explicit Tab(const QString& destination)
    {
        renderer = std::make_unique<EMRenderer>();
        RenderQueueSupport::setQuickMovies(renderer.get(), destination);
        renderer->output()->fitBox()->setCurrentIndex(StretchToFit);
        QObject::connect(renderer.get(), &EMRenderer::getSequenceItemsFromUuids, [this](QList<QByteArray>* ids) {
            ++requests;
            auto* list = new QList<const SequenceItem*>;
            for (const QByteArray& id : *ids) {
                for (const auto& item : items) {
                    if (item->uuid == QUuid(QString::fromLatin1(id)))
                        list->append(item->snapshot());
                }
            }
            renderer->itemsReadyToBeRendered(list);
        });
        QObject::connect(
            renderer.get(), &EMRenderer::renderingStateChanged, [this](bool rendering) { states.append(rendering); });
    }

    SequenceItem* add(AssetMetadata* asset, quint32 in, quint32 out)
    {
        items.push_back(std::make_unique<SequenceItem>(asset, &grade, in, out));
        renderer->renderList()->shotListChanged(items.back().get(), false);
        return items.back().get();
    }

    QTreeWidgetItem* row(const SequenceItem* item) const { return renderer->renderList()->rowFor(item->uuid); }
    int progress(const SequenceItem* item) const { return row(item)->data(0, EMRenderList::ProgressRole).toInt(); }
    QString progressText(const SequenceItem* item) const { return row(item)->text(EMRenderList::ProgressColumn); }

    bool waitUntilIdle(int timeoutMs = 300000)
    {
        QElapsedTimer timer;
        timer.start();
        while (renderer->isRendering() && timer.elapsed() < timeoutMs)
            QTest::qWait(20);
        return !renderer->isRendering();
    }

    ClipSettings grade;
    std::vector<std::unique_ptr<SequenceItem>> items;
    std::unique_ptr<EMRenderer> renderer;
    int requests = 0;
    QList<bool> states;
};

// The render tab tests' set-up: the build's film data and the test clip,
// described as the metadata manager would, and a render tab wired as the
// controller wires it.
class EMRendererFixture : public QObject
{
    Q_OBJECT

protected:
    QString m_clip;
    AssetMetadata* m_asset = nullptr;

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(RenderQueueSupport::useFilmDataAndClip(&m_clip, &why), qPrintable(why));
        m_asset = RenderQueueSupport::describe(m_clip);
        QVERIFY(m_asset);
        QCOMPARE(m_asset->frameCount, 30u);
    }
};

} // namespace Emulsa::Test

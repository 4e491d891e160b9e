#pragma once

#include <QList>
#include <QMap>
#include <QMetaMethod>
#include <QPair>
#include <QSignalSpy>
#include <QString>
#include <QWidget>

namespace Emulsa::Test {

// Records the names of every signal an object emits, in order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(QObject* source)
    {
        const QMetaObject* meta = source->metaObject();
        for (int i = QWidget::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            auto* spy = new QSignalSpy(source, ("2" + method.methodSignature()).constData());
            m_spies.append({ QString::fromLatin1(method.name()), spy });
        }
    }
    ~SignalLog() override
    {
        for (const auto& entry : m_spies)
            delete entry.second;
    }

    // Names of the signals with at least one emission, each with its count.
    QMap<QString, int> counts() const
    {
        QMap<QString, int> result;
        for (const auto& entry : m_spies)
            if (entry.second->count() > 0)
                result[entry.first] += entry.second->count();
        return result;
    }
    QList<QVariant> last(const QString& name) const
    {
        for (const auto& entry : m_spies)
            if (entry.first == name && !entry.second->isEmpty())
                return entry.second->last();
        return {};
    }
    void clear()
    {
        for (const auto& entry : m_spies)
            entry.second->clear();
    }

private:
    QList<QPair<QString, QSignalSpy*>> m_spies;
};

// The child widget of that object name; a missing one ends the test run.
template<typename T> T* child(QWidget* parent, const char* name)
{
    T* widget = parent->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

} // namespace Emulsa::Test

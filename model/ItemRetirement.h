#pragma once

#include <QList>

#include <memory>

namespace Emulsa {

class SequenceItem;

// Keeps sequence items that left the model (removed for good, or cleared with
// the project) alive until every queued signal that named them has been
// delivered, then deletes them with their settings.
//
// The model's signals that carry item pointers are received on the
// application's thread (the controller and the views live there), and queued
// signals reach a thread in the order they were posted. So retire() posts a
// release to the application's thread after the signals: when it runs, the
// signals have been delivered. Without an application object the items live
// until this object is destroyed. Thread-safe.
class ItemRetirement
{
public:
    ItemRetirement();
    // Deletes every item still waiting.
    ~ItemRetirement();
    ItemRetirement(const ItemRetirement&) = delete;
    ItemRetirement& operator=(const ItemRetirement&) = delete;

    // Takes ownership of the items and of their settings.
    void retire(const QList<SequenceItem*>& items);
    // Items retired and not yet deleted.
    int pendingCount() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace Emulsa

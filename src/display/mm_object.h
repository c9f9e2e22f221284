#pragma once
// TMMObject: the small base of the persistent helper objects of the visual
// components (the bevel): an update counter and one change notice, so that a
// batch of changes reaches the owner as a single notice.
#include <QObject>
#include <cstdint>
#include <functional>

namespace qv {

class TMMObject : public QObject {
    Q_OBJECT
public:
    TMMObject() = default;
    ~TMMObject() override = default;

    // Nesting of batched changes: the owner hears once, at the outermost EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    int32_t UpdateCount() const { return FUpdateCount; }

    // The framework's assignment: copies what it understands and raises
    // EConvertError ("Cannot assign a <source> to a <target>") otherwise. The
    // base understands nothing.
    virtual void Assign(const TMMObject* Source);

    // Set by the owner; not published.
    std::function<void(TMMObject* Sender)> OnChange;

protected:
    // Updating False ends a batch and reports the change.
    virtual void UpdateState(bool Updating);
    // Tells the owner, unless a batch is open.
    virtual void Changed();
    // Class name as the messages show it.
    const char* ClassNameOf() const;

    int32_t FUpdateCount = 0;
};

} // namespace qv

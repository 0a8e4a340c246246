#pragma once

#include <QAccessible>
#include <QObject>
#include <QQuickItem>
#include <QVariantMap>

// What a screen reader gets for an item: the accessible interface the AT-SPI bridge reads.
class AccessibleProbe : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // As when a screen reader starts: every control made so far fills in its accessible role and
    // name. (The offscreen platform has no accessibility bridge that would do it.)
    Q_INVOKABLE void activate() const { QAccessible::setActive(true); }

    Q_INVOKABLE QVariantMap describe(QQuickItem* item) const
    {
        QAccessibleInterface* accessible = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
        if (!accessible)
            return {};
        return {{"role", int(accessible->role())},
                {"name", accessible->text(QAccessible::Name)},
                {"disabled", bool(accessible->state().disabled)},
                {"focused", bool(accessible->state().focused)}};
    }
};

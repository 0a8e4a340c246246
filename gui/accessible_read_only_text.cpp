#include "accessible_read_only_text.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QPointer>
#include <QQuickItem>
#include <QQuickTextDocument>
#include <QQuickWindow>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// Qt Quick makes an item part of the accessible tree when it gets an Accessible attached object.
QObject* accessible_attached(const QQuickItem* item)
{
    for (QObject* child : item->children()) {
        if (qstrcmp(child->metaObject()->className(), "QQuickAccessibleAttached") == 0)
            return child;
    }
    return nullptr;
}

// A read-only TextEdit, reached through its public properties and methods.
class AccessibleReadOnlyText : public QAccessibleObject, public QAccessibleTextInterface {
public:
    explicit AccessibleReadOnlyText(QQuickItem* item) : QAccessibleObject(item), item(item) {}

    QWindow* window() const override { return item ? item->window() : nullptr; }

    // The nearest ancestor in the tree, as Qt Quick's own items find theirs.
    QAccessibleInterface* parent() const override
    {
        if (!item || !item->window())
            return nullptr;
        const QQuickItem* content = item->window()->contentItem();
        QQuickItem* above = item->parentItem();
        while (above && above != content && !accessible_attached(above))
            above = above->parentItem();
        if (!above)
            return nullptr;
        if (above == content || !above->parentItem())
            return QAccessible::queryAccessibleInterface(item->window());
        return QAccessible::queryAccessibleInterface(above);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text kind) const override
    {
        const QObject* attached = item ? accessible_attached(item) : nullptr;
        if (!attached)
            return QString();
        if (kind == QAccessible::Name)
            return attached->property("name").toString();
        if (kind == QAccessible::Description)
            return attached->property("description").toString();
        return QString();
    }
    QAccessible::Role role() const override { return QAccessible::EditableText; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.focusable = true;
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        if (!item || !item->isVisible())
            state.invisible = true;
        else
            state.focused = item->hasActiveFocus();
        return state;
    }
    QRect rect() const override
    {
        if (!item || !item->window())
            return QRect();
        return on_screen(QRectF(0, 0, item->width(), item->height()));
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
    }

    void selection(int index, int* start, int* end) const override
    {
        *start = *end = 0;
        if (index == 0 && selectionCount() == 1) {
            *start = item->property("selectionStart").toInt();
            *end = item->property("selectionEnd").toInt();
        }
    }
    int selectionCount() const override
    {
        return item && item->property("selectionStart") != item->property("selectionEnd") ? 1 : 0;
    }
    void addSelection(int start, int end) override { select(start, end); }
    void removeSelection(int) override
    {
        if (item)
            QMetaObject::invokeMethod(item, "deselect");
    }
    void setSelection(int, int start, int end) override { select(start, end); }
    int cursorPosition() const override { return item ? item->property("cursorPosition").toInt() : 0; }
    void setCursorPosition(int position) override
    {
        if (item)
            item->setProperty("cursorPosition", position);
    }

    QString text(int start, int end) const override
    {
        QString text;
        if (item)
            QMetaObject::invokeMethod(item, "getText", Q_RETURN_ARG(QString, text), Q_ARG(int, start), Q_ARG(int, end));
        return text;
    }
    // Lines as they are laid out on screen, not paragraphs.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override
    {
        QTextDocument* document = text_document();
        if (!document || type == QAccessible::CharBoundary || type == QAccessible::NoBoundary)
            return QAccessibleTextInterface::textAtOffset(offset, type, start, end);
        QTextCursor cursor(document);
        cursor.setPosition(qBound(0, offset, characterCount()));
        const QPair<int, int> bounds = QAccessible::qAccessibleTextBoundaryHelper(cursor, type);
        *start = bounds.first;
        *end = bounds.second;
        return text(*start, *end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override
    {
        textAtOffset(offset, type, start, end);
        if (*start > 0)
            return textAtOffset(*start - 1, type, start, end);
        *start = *end = 0;
        return QString();
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override
    {
        textAtOffset(offset, type, start, end);
        if (*end < characterCount())
            return textAtOffset(*end, type, start, end);
        *start = *end = characterCount();
        return QString();
    }
    int characterCount() const override { return item ? item->property("length").toInt() : 0; }
    QRect characterRect(int offset) const override
    {
        QRectF at;
        if (item)
            QMetaObject::invokeMethod(item, "positionToRectangle", Q_RETURN_ARG(QRectF, at), Q_ARG(int, offset));
        return on_screen(at);
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        int offset = -1;
        if (!item || !item->window())
            return offset;
        const QPointF local = item->mapFromScene(item->window()->mapFromGlobal(point));
        QMetaObject::invokeMethod(item, "positionAt", Q_RETURN_ARG(int, offset), Q_ARG(qreal, local.x()),
                                  Q_ARG(qreal, local.y()));
        return offset;
    }
    void scrollToSubstring(int start, int) override { setCursorPosition(start); }
    // One run, without attributes, over the whole text.
    QString attributes(int, int* start, int* end) const override
    {
        *start = 0;
        *end = characterCount();
        return QString();
    }

private:
    QTextDocument* text_document() const
    {
        const auto* document = item ? item->property("textDocument").value<QQuickTextDocument*>() : nullptr;
        return document ? document->textDocument() : nullptr;
    }
    void select(int start, int end)
    {
        if (item)
            QMetaObject::invokeMethod(item, "select", Q_ARG(int, start), Q_ARG(int, end));
    }
    QRect on_screen(const QRectF& local) const
    {
        if (!item || !item->window())
            return QRect();
        const QRectF scene = item->mapRectToScene(local);
        return QRect(item->window()->mapToGlobal(scene.topLeft().toPoint()), scene.size().toSize());
    }

    QPointer<QQuickItem> item;
};

QAccessibleInterface* read_only_text_accessible(const QString&, QObject* object)
{
    auto* item = qobject_cast<QQuickItem*>(object);
    if (!item || !item->inherits("QQuickTextEdit") || !item->property("readOnly").toBool())
        return nullptr;
    return new AccessibleReadOnlyText(item);
}

}  // namespace

void install_read_only_text_accessible()
{
    QAccessible::installFactory(read_only_text_accessible);
}

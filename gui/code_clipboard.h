#pragma once

#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>

// The code on the system clipboard for no longer than it is good. Clipboard histories are asked
// not to keep it; when its window ends, and at quit, it is taken off again unless the clipboard
// holds something else by then. The primary selection is never set: a code is not a selection.
class CodeClipboard : public QObject {
    Q_OBJECT

public:
    explicit CodeClipboard(QObject* parent = nullptr);
    // Before the application goes: on X11 it would hand the code to a clipboard manager.
    ~CodeClipboard() override;

    void put(const QString& text, std::int64_t good_for_ms);

private:
    void forget();

    QTimer expiry;
    // Qt deletes it when another owner takes the clipboard.
    QPointer<QMimeData> copied;
    QString code;
};

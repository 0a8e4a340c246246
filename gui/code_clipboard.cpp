#include "code_clipboard.h"

#include <easylogging++.h>

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>

CodeClipboard::CodeClipboard(QObject* parent) : QObject(parent)
{
    expiry.setTimerType(Qt::PreciseTimer);
    expiry.setSingleShot(true);
    connect(&expiry, &QTimer::timeout, this, &CodeClipboard::forget);
}

CodeClipboard::~CodeClipboard()
{
    forget();
}

void CodeClipboard::put(const QString& text, std::int64_t good_for_ms)
{
    auto* data = new QMimeData;
    data->setText(text);
    // KDE's clipboard, CopyQ and GNOME's clipboard histories then keep no copy.
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    copied = data;
    code = text;
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    expiry.start(static_cast<int>(std::max<std::int64_t>(good_for_ms, 0)));
}

void CodeClipboard::forget()
{
    expiry.stop();
    if (code.isEmpty())
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* current = clipboard->mimeData(QClipboard::Clipboard);
    // Ours still, or a clipboard manager's copy of it, which takes ownership on some desktops:
    // a code past its window is worth nothing to paste. A text copied since stays.
    if (current && (current == copied || current->text() == code)) {
        clipboard->clear(QClipboard::Clipboard);
        LOG(INFO) << "Copied code cleared from the clipboard";
    }
    code.clear();
}

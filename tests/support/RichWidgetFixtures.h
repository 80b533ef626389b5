#pragma once

// Pictures, drops and settings for the widget tests of the rich-text controls.
#include "core/ParamsUnit.h"
#include "support/RichFixtures.h"

#include <QApplication>
#include <QBuffer>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTextEdit>
#include <QUrl>

namespace RichWidgetFixtures {

// A real picture file of the given format ("JPEG", "PNG", "BMP", "ICO").
inline QByteArray ImageFile(const char* format, QSize size = QSize(40, 30), QColor colour = QColor(200, 40, 40)) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A 32 x 32 icon: transparent, with an opaque green square in the middle.
inline QByteArray IconFile() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.fillRect(QRect(8, 8, 16, 16), QColor(0, 160, 0));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    return bytes;
}

inline QImage Decode(const QByteArray& bytes) { return QImage::fromData(bytes); }

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A drop of data onto the middle of an edit, as a file manager makes it.
// True when the edit accepted it.
inline bool Drop(QTextEdit& edit, const QMimeData& data, Qt::DropAction action = Qt::CopyAction) {
    const QPoint at = edit.viewport()->rect().center();
    // A drop reaches only the widget that took the drag's entry.
    QDragEnterEvent enter(at, action, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit.viewport(), &enter);
    QDropEvent drop(at, action, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit.viewport(), &drop);
    return drop.isAccepted();
}

inline std::unique_ptr<QMimeData> FileList(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// Puts the process-wide settings back as they were when it was made.
class TSavedParams {
public:
    TSavedParams() : FIntegers(Params().Integers), FBooleans(Params().Booleans), FStrings(Params().Strings) {}
    ~TSavedParams() {
        Params().Integers = FIntegers;
        Params().Booleans = FBooleans;
        Params().Strings = FStrings;
    }

private:
    decltype(TApplicationParams::Integers) FIntegers;
    decltype(TApplicationParams::Booleans) FBooleans;
    decltype(TApplicationParams::Strings) FStrings;
};

} // namespace RichWidgetFixtures

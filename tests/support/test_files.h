#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

// A file's bytes; none when it cannot be read.
inline QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool write_bytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

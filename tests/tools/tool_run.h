#pragma once
// Running the batch tool as its users do: the real program, its exit status
// and what it prints.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStringList>

struct ToolRun {
    int exit_code = -1;
    QString out, err;
    QStringList err_lines() const { return err.split('\n', Qt::SkipEmptyParts); }
};

inline ToolRun picfilter(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(PICFILTER_BIN), args);
    ToolRun r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.exit_code = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

inline QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void write_all(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

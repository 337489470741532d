// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace KeyTest
{
/// Generates a key pair in dir and returns the public line, or an empty string when this type cannot be made here.
inline QString generateKey(const QString &dir, const QString &type, int bits, const QString &comment)
{
    static int counter = 0;
    const QString base = QDir(dir).filePath(QStringLiteral("key%1").arg(++counter));
    QStringList arguments {QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"), QString(), QStringLiteral("-C"), comment};
    if (bits > 0) {
        arguments << QStringLiteral("-b") << QString::number(bits);
    }
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), arguments << QStringLiteral("-f") << base);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    QFile file(base + QStringLiteral(".pub"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

/// ssh-keygen's own "-lf" lines for a file, one per key it could read.
inline QStringList keygenListing(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), path});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

/// Runs action on the next modal (or popup) widget of type T, for what a click on a labelled button cannot do:
/// filling dialogs, file choosers and menus. Gives up after ten seconds.
template <typename T = QWidget>
void whenModal(std::function<void(T *)> action)
{
    auto *timer = new QTimer;
    auto attempts = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, attempts] {
        QWidget *widget = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activePopupWidget();
        T *typed = qobject_cast<T *>(widget);
        if (typed || ++*attempts > 1000) {
            timer->stop();
            timer->deleteLater();
        }
        if (typed) {
            action(typed);
        }
    });
    timer->start(10);
}
}

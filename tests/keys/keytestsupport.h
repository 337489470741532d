// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QString>
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
    arguments << QStringLiteral("-f") << base;
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    QFile file(base + QStringLiteral(".pub"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).trimmed();
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

/// Runs action on the next modal widget of type T that appears (polls the event loop).
template <typename T = QWidget>
void whenModal(std::function<void(T *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    auto attempts = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, attempts] {
        if (++*attempts > 1000) {
            // Nothing appeared within ten seconds; let the test's own checks fail.
            timer->stop();
            timer->deleteLater();
            return;
        }
        QWidget *widget = QApplication::activeModalWidget();
        if (!widget) {
            widget = QApplication::activePopupWidget();
        }
        if (T *typed = qobject_cast<T *>(widget)) {
            timer->stop();
            timer->deleteLater();
            action(typed);
        }
    });
    timer->start();
}

/// Answers the next message box with the given button and records its title and text.
inline void answerMessageBox(QString *title, QString *text, QMessageBox::StandardButton button = QMessageBox::Ok)
{
    whenModal<QMessageBox>([title, text, button](QMessageBox *box) {
        if (title) {
            *title = box->windowTitle();
        }
        if (text) {
            *text = box->text();
        }
        if (QAbstractButton *b = box->button(button)) {
            b->click();
        } else {
            box->reject();
        }
    });
}

/// While it lives, answers every message box with Yes (or OK) and records "title: text" of each.
class MessageBoxAnswerer
{
public:
    MessageBoxAnswerer()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box == m_last) {
                return;
            }
            m_last = box;
            seen.append(box->windowTitle() + QStringLiteral(": ") + box->text());
            QAbstractButton *answer = box->button(QMessageBox::Yes);
            if (!answer) {
                answer = box->button(QMessageBox::Ok);
            }
            if (answer) {
                answer->click();
            } else {
                box->reject();
            }
        });
        m_timer.start();
    }

    QStringList seen;

private:
    QTimer m_timer;
    QMessageBox *m_last = nullptr;
};
}

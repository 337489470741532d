// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QQueue>
#include <QTimer>

#include <functional>

/**
 * Answers the modal windows (and popup menus) a test opens, one expectation after the
 * other, so that no dialog waits for a person. Polling goes on inside the nested event
 * loops of exec(), so a handler may open the next window. A window of another type than
 * expected is rejected after five seconds and noted in failures.
 */
class ModalDriver : public QObject
{
public:
    template<typename T>
    void expect(std::function<void(T *)> handler)
    {
        m_queue.enqueue([handler](QWidget *widget) {
            auto *typed = qobject_cast<T *>(widget);
            if (typed) {
                handler(typed);
            }
            return typed != nullptr;
        });
        m_waiting.start();
        schedule();
    }

    /// Clicks the button whose text contains @p label in the next window (an empty label rejects it); records its text.
    void answer(const QString &label)
    {
        expect<QWidget>([this, label](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            seenTexts.append(box ? box->text() : widget->windowTitle());
            seenDefaults.append(box && box->defaultButton() ? box->defaultButton()->text().remove(QLatin1Char('&')) : QString());
            const auto buttons = box && !label.isEmpty() ? box->buttons() : QList<QAbstractButton *>();
            for (QAbstractButton *button : buttons) {
                if (button->text().remove(QLatin1Char('&')).contains(label)) {
                    button->click();
                    return;
                }
            }
            auto *dialog = qobject_cast<QDialog *>(widget);
            dialog ? dialog->reject() : void(widget->close());
        });
    }

    int unanswered() const
    {
        return m_queue.size();
    }

    QStringList seenTexts;
    QStringList seenDefaults; ///< the default button of each window answer() met
    QStringList failures;

private:
    void schedule()
    {
        if (!m_scheduled) {
            m_scheduled = true;
            QTimer::singleShot(5, this, [this] {
                m_scheduled = false;
                poll();
            });
        }
    }

    void poll()
    {
        if (m_queue.isEmpty()) {
            return;
        }
        schedule(); // keep polling while a handler runs its own event loop
        QWidget *widget = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activePopupWidget();
        m_handled.removeAll(nullptr);
        if (!widget || m_handled.contains(widget)) {
            return;
        }
        m_handled.append(widget);
        const auto expectation = m_queue.dequeue(); // first, so that a handler can queue the next one
        if (expectation(widget)) {
            m_waiting.restart();
            return;
        }
        m_handled.removeAll(widget);
        m_queue.prepend(expectation);
        if (m_waiting.elapsed() > 5000) {
            failures.append(QStringLiteral("unexpected modal window %1").arg(QString::fromLatin1(widget->metaObject()->className())));
            auto *dialog = qobject_cast<QDialog *>(widget);
            dialog ? dialog->reject() : void(widget->close());
        }
    }

    QQueue<std::function<bool(QWidget *)>> m_queue;
    QList<QPointer<QWidget>> m_handled;
    QElapsedTimer m_waiting;
    bool m_scheduled = false;
};

// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QTimer>

#include <functional>

/**
 * Answers the modal windows a test opens, one expectation after the other, so that no
 * dialog or message box waits for a person. Each expectation runs on the next modal
 * window of its type not handled yet; polling goes on inside the nested event loops of
 * exec(), so a handler may click a button that opens another box for the next
 * expectation. A window nobody expects is rejected after a while and noted in failures.
 */
class ModalDriver : public QObject
{
public:
    template <typename T>
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

    /// Clicks Ok in the next message box and records its text.
    void expectMessage(QStringList *texts = nullptr)
    {
        expect<QMessageBox>([texts](QMessageBox *box) {
            if (texts) {
                texts->append(box->text());
            }
            box->button(QMessageBox::Ok)->click();
        });
    }

    bool done() const { return m_queue.isEmpty(); }

    QStringList failures;

private:
    /// Handles the widget if it has the expected type and tells whether it did.
    using Expectation = std::function<bool(QWidget *)>;

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
        QWidget *widget = QApplication::activeModalWidget();
        m_handled.removeAll(nullptr);
        if (!widget || m_handled.contains(widget)) {
            return;
        }
        const Expectation expectation = m_queue.dequeue();
        m_handled.append(widget);
        if (expectation(widget)) {
            m_waiting.restart();
            return;
        }
        // Not the expected type: put things back and give up on the window after a while.
        m_handled.removeAll(widget);
        m_queue.prepend(expectation);
        if (m_waiting.elapsed() > 5000) {
            failures.append(QStringLiteral("unexpected modal window %1").arg(QString::fromLatin1(widget->metaObject()->className())));
            auto *dialog = qobject_cast<QDialog *>(widget);
            dialog ? dialog->reject() : void(widget->close());
        }
    }

    QQueue<Expectation> m_queue;
    QList<QPointer<QWidget>> m_handled;
    QElapsedTimer m_waiting;
    bool m_scheduled = false;
};

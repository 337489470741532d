// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include <functional>

/**
 * Answers the modal windows a test opens, one expectation after the other, so that
 * no dialog or message box ever waits for a person.
 *
 * Each expectation names the type of window it wants; it runs on the next modal
 * window of that type that it has not handled yet. Polling goes on inside the
 * nested event loops of exec(), so a handler may itself click a button that opens
 * another box, which the next expectation then answers.
 * A window that nobody expects is rejected after a while and noted in failures.
 */
class ModalDriver : public QObject
{
public:
    template <typename T>
    void expect(std::function<void(T *)> handler)
    {
        m_queue.enqueue({[](QWidget *widget) {
                             return qobject_cast<T *>(widget) != nullptr;
                         },
                         [handler](QWidget *widget) {
                             handler(qobject_cast<T *>(widget));
                         }});
        m_waiting.start();
        schedule();
    }

    /// Clicks the Ok button of the next message box and records its text.
    void expectMessage(QStringList *texts = nullptr)
    {
        expect<QMessageBox>([texts](QMessageBox *box) {
            if (texts) {
                texts->append(box->text());
            }
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
        });
    }

    bool done() const { return m_queue.isEmpty(); }

    QStringList failures;

private:
    struct Expectation
    {
        std::function<bool(QWidget *)> matches;
        std::function<void(QWidget *)> handle;
    };

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
        // Keep polling while a handler runs its own nested event loops.
        schedule();
        QWidget *widget = QApplication::activeModalWidget();
        if (!widget || wasHandled(widget)) {
            return;
        }
        if (!m_queue.head().matches(widget)) {
            if (m_waiting.elapsed() > 5000) {
                failures.append(QStringLiteral("unexpected modal window %1").arg(QString::fromLatin1(widget->metaObject()->className())));
                if (auto *dialog = qobject_cast<QDialog *>(widget)) {
                    dialog->reject();
                } else {
                    widget->close();
                }
            }
            return;
        }
        const Expectation expectation = m_queue.dequeue();
        m_handled.append(widget);
        m_waiting.restart();
        expectation.handle(widget);
    }

    bool wasHandled(QWidget *widget)
    {
        m_handled.removeAll(nullptr);
        for (const QPointer<QWidget> &handled : qAsConst(m_handled)) {
            if (handled == widget) {
                return true;
            }
        }
        return false;
    }

    QQueue<Expectation> m_queue;
    QList<QPointer<QWidget>> m_handled;
    QElapsedTimer m_waiting;
    bool m_scheduled = false;
};

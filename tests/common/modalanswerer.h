// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

/**
 * Answers the next modal dialog or message box without blocking the test:
 * polls the event loop until a modal widget shows, records its text and
 * clicks the button whose text contains the given label (or rejects it).
 */
class ModalAnswerer
{
public:
    /// Clicks the button labelled @p buttonText in the next modal box; an empty text rejects it.
    void answer(const QString &buttonText)
    {
        m_pending.append(buttonText);
        schedule();
    }

    QStringList seenTexts;
    int unanswered() const { return m_pending.size(); }

private:
    void schedule()
    {
        // The guard cancels pending polls when the answerer goes first.
        QTimer::singleShot(10, &m_guard, [this] {
            poll();
        });
    }

    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || m_pending.isEmpty()) {
            if (!m_pending.isEmpty()) {
                schedule();
            }
            return;
        }
        const QString label = m_pending.takeFirst();
        if (!m_pending.isEmpty()) {
            schedule();
        }
        auto *box = qobject_cast<QMessageBox *>(modal);
        seenTexts.append(box ? box->text() : modal->windowTitle());
        if (box && !label.isEmpty()) {
            const auto buttons = box->buttons();
            for (QAbstractButton *button : buttons) {
                if (button->text().remove(QLatin1Char('&')).contains(label)) {
                    button->click();
                    return;
                }
            }
        }
        if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }

    QStringList m_pending;
    QObject m_guard;
};

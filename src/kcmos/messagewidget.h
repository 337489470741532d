// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "kcmostypes.h"

#include <KMessageWidget>

namespace KCMOS
{
/// One message of the page's message area.
class MessageWidget : public KMessageWidget
{
    Q_OBJECT
public:
    MessageWidget(const QString &text, KCMOS::MessageType type, const QString &id, QWidget *parent = nullptr);

    QString id() const;
    KCMOS::MessageType messageType() const;

    /// A sticky message says what still holds (a countdown, missing rights): Reset and Apply leave it; only its id removes it.
    void setSticky(bool sticky);
    bool isSticky() const;

protected:
    /// A button's icon stays as it is when the button has the focus.
    void actionEvent(QActionEvent *event) override;

private:
    QString m_id;
    KCMOS::MessageType m_type;
    bool m_sticky = false;
};
}

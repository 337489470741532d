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

private:
    QString m_id;
    KCMOS::MessageType m_type;
};
}

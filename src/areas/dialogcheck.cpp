// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "dialogcheck.h"

#include <KMessageWidget>

#include <QBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>

DialogCheck::DialogCheck(QPushButton *acceptButton, QBoxLayout *layout, int index, std::function<Verdict()> check)
    : QObject(acceptButton)
    , m_accept(acceptButton)
    , m_reason(new KMessageWidget(layout->parentWidget()))
    , m_check(std::move(check))
{
    m_reason->setObjectName(QStringLiteral("reasonMessage"));
    m_reason->setMessageType(KMessageWidget::Error);
    m_reason->setCloseButtonVisible(false);
    m_reason->setWordWrap(true);
    m_reason->hide();
    layout->insertWidget(index, m_reason);
    update();
}

bool DialogCheck::update()
{
    const Verdict verdict = m_check();
    m_accept->setEnabled(verdict.acceptable);
    const bool shown = !verdict.acceptable && !verdict.reason.isEmpty();
    if (shown) {
        m_reason->setText(verdict.reason);
    }
    // Shown and hidden at once: an animation would move the buttons under the pointer while typing.
    m_reason->setVisible(shown);
    return verdict.acceptable;
}

QString DialogCheck::reason() const
{
    return m_reason->isHidden() ? QString() : m_reason->text();
}

void DialogCheck::fitWidth(QLineEdit *edit, const QString &sample)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    const QSize text(edit->fontMetrics().horizontalAdvance(sample) + 2 * edit->fontMetrics().averageCharWidth(), edit->sizeHint().height());
    edit->setMinimumWidth(edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit).width());
}

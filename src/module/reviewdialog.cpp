// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "reviewdialog.h"

#include <KLocalizedString>
#include <KMessageWidget>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

const QString ReviewDialog::DontAskAgainName = QStringLiteral("ReviewServerChanges");

ReviewDialog::ReviewDialog(const SSHManager::Review &review, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(i18nc("@title:window", "Review Changes"));
    auto *layout = new QVBoxLayout(this);
    const QStringList warnings = lockoutWarnings(review);
    if (!warnings.isEmpty()) {
        auto *warning = new KMessageWidget(this);
        warning->setObjectName(QStringLiteral("lockoutWarning"));
        warning->setMessageType(KMessageWidget::Warning);
        warning->setCloseButtonVisible(false);
        warning->setWordWrap(true);
        warning->setText(i18n("You may lose access to this computer:") + QStringLiteral("<ul><li>") + warnings.join(QStringLiteral("</li><li>"))
                         + QStringLiteral("</li></ul>"));
        layout->addWidget(warning);
    }
    QStringList files = review.diffs.keys();
    auto *summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("reviewSummary"));
    summary->setWordWrap(true);
    summary->setTextFormat(Qt::PlainText);
    QString text = i18np("Apply will change this file:", "Apply will change these files:", files.size()) + QLatin1Char('\n') + files.join(QLatin1Char('\n'));
    text += QLatin1String("\n\n") + (review.restarts ? i18n("The SSH server restarts afterwards.") : i18n("The SSH server is not restarted."));
    summary->setText(text);
    layout->addWidget(summary);

    auto *diff = new QPlainTextEdit(this);
    diff->setObjectName(QStringLiteral("reviewDiff"));
    diff->setReadOnly(true);
    diff->setLineWrapMode(QPlainTextEdit::NoWrap);
    diff->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QByteArray all;
    for (const QByteArray &fileDiff : review.diffs) {
        all += fileDiff;
    }
    diff->setPlainText(QString::fromUtf8(all));
    layout->addWidget(diff, 1);

    m_dontShowAgain = new QCheckBox(i18n("Do not show this again"), this);
    m_dontShowAgain->setObjectName(QStringLiteral("dontShowAgain"));
    layout->addWidget(m_dontShowAgain);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons->button(QDialogButtonBox::Cancel)->setDefault(!warnings.isEmpty());
    buttons->button(QDialogButtonBox::Apply)->setDefault(warnings.isEmpty());
    layout->addWidget(buttons);
    resize(760, 520);
}

bool ReviewDialog::dontShowAgain() const
{
    return m_dontShowAgain->isChecked();
}

void ReviewDialog::setWarning(const QString &text)
{
    if (text.isEmpty()) {
        return;
    }
    auto *warning = new KMessageWidget(text, this);
    warning->setObjectName(QStringLiteral("reviewWarning"));
    warning->setMessageType(KMessageWidget::Warning);
    warning->setCloseButtonVisible(false);
    warning->setWordWrap(true);
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, warning);
}

QStringList ReviewDialog::lockoutWarnings(const SSHManager::Review &review)
{
    QStringList warnings;
    for (const auto &lockout : review.lockouts) {
        if (lockout.first == QLatin1String("access")) {
            warnings.append(i18n("“%1” would refuse your user from the address you are connected from.", lockout.second));
        } else if (lockout.first == QLatin1String("authentication")) {
            warnings.append(i18n("No way to log in would be left to your user: neither a password nor an authorized key (%1).", lockout.second));
        } else if (lockout.first == QLatin1String("listening")) {
            warnings.append(i18n("The SSH server would no longer listen on %1, where this session is connected.", lockout.second));
        }
    }
    return warnings;
}

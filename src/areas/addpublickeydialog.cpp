// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "addpublickeydialog.h"
#include "ui_AddPublicKeyDialog.h"

#include "formaccessibility.h"

#include "privilegedaction.h"
#include "sshkeyutils.h"
#include "sshsettingsprotocol.h"

#include <KMessageWidget>
#include <QBoxLayout>

#include <KLocalizedString>

#include <QCompleter>
#include <QDebug>
#include <QMessageBox>

namespace
{
void showError(const QString &text)
{
    QMessageBox::critical(nullptr, i18nc("@title:window", "Key not added"), text, QMessageBox::Ok);
}
}

AddPublicKeyDialog::AddPublicKeyDialog(const QString &filePath, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AddPublicKeyDialog>())
    , m_filePath(filePath)
    , m_error(new KMessageWidget(this))
{
    ui->setupUi(this);
    FormAccessibility::apply(this);
    m_error->setMessageType(KMessageWidget::Error);
    m_error->setWordWrap(true);
    m_error->setCloseButtonVisible(false);
    m_error->hide();
    if (auto *box = qobject_cast<QBoxLayout *>(layout())) {
        box->insertWidget(0, m_error);
    }
    connect(ui->simpleModeRBtn, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) {
            ui->stackedWidget->setCurrentIndex(0);
        }
    });
    connect(ui->partsModeRBtn, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) {
            ui->stackedWidget->setCurrentIndex(1);
        }
    });
    ui->simpleModeRBtn->setChecked(true);

    auto *completer = new QCompleter(SSHKeyUtils::systemSupportedKeyTypes(), this);
    completer->setFilterMode(Qt::MatchContains);
    ui->typeLineEdit->setCompleter(completer);
    ui->commentLineEdit->setText(SSHKeyUtils::defaultComment());
}

AddPublicKeyDialog::~AddPublicKeyDialog() = default;

QString AddPublicKeyDialog::generatedKey() const
{
    return m_keyLine.trimmed();
}

void AddPublicKeyDialog::accept()
{
    const QString line = isEnabled() ? keyGeneration() : QString(); // disabled while the helper writes
    if (line.isEmpty()) {
        return;
    }
    m_keyLine = line;
    if (SSHKeyUtils::isDirectlyWritable(m_filePath)) {
        QString reason;
        const bool written = SSHKeyUtils::appendKeyToFile(m_filePath, line, &reason);
        finishWrite(written, reason);
        return;
    }
    namespace Arg = SSHSettings::Protocol::Arg;
    setEnabled(false);
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::UserFiles,
                                     {{Arg::KeysFile, m_filePath}, {Arg::AddKeyLine, line}},
                                     this,
                                     [this](const SSHSettings::ActionResult &result) {
                                         setEnabled(true);
                                         finishWrite(result.ok, result.ok ? QString() : SSHSettings::failureReason(result));
                                     });
}

QString AddPublicKeyDialog::keyGeneration()
{
    const QString invalidKey = i18n("Unable to add a key. It is possible that the key is invalid or incorrectly generated.");
    auto isReadable = [](const QString &line) {
        const KeyInfo info = SSHKeyUtils::parseKeyLine(line);
        return !info.type.isEmpty() && !info.fingerprint.isEmpty() && info.bits > 0;
    };

    if (ui->stackedWidget->currentIndex() == 0) {
        const QString text = ui->simpleKeyEdit->toPlainText().trimmed();
        if (text.isEmpty()) {
            showError(i18n("Public key cannot be empty."));
            return {};
        }
        if (!isReadable(text)) {
            showError(invalidKey);
            return {};
        }
        return text;
    }

    const QString type = ui->typeLineEdit->text().trimmed();
    const QString keyData = ui->partsKeyEdit->toPlainText().trimmed();
    const QString comment = ui->commentLineEdit->text().trimmed();
    if (type.isEmpty() || keyData.isEmpty()) {
        showError(i18n("Fill in the type and the key."));
        return {};
    }
    const QString line = QStringLiteral("%1 %2 %3").arg(type, keyData, comment);
    if (!isReadable(line)) {
        showError(invalidKey);
        return {};
    }
    return line;
}

void AddPublicKeyDialog::finishWrite(bool written, const QString &reason)
{
    if (!written) {
        m_error->setText(i18n("The key was not added to %1: %2", m_filePath, reason));
        m_error->animatedShow();
        return;
    }
    QDialog::accept();
}

KMessageWidget *AddPublicKeyDialog::errorWidget() const
{
    return m_error;
}

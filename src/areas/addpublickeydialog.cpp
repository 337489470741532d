// SPDX-License-Identifier: GPL-2.0-or-later
#include "addpublickeydialog.h"
#include "ui_AddPublicKeyDialog.h"

#include "privilegedaction.h"
#include "sshkeyutils.h"

#include <KLocalizedString>

#include <QCompleter>
#include <QDebug>
#include <QMessageBox>

namespace
{
void showError(const QString &text)
{
    QMessageBox::critical(nullptr, i18n("Error"), text, QMessageBox::Ok);
}
}

AddPublicKeyDialog::AddPublicKeyDialog(const QString &filePath, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::AddPublicKeyDialog>()), m_filePath(filePath)
{
    ui->setupUi(this);
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
    if (writeNewKey()) {
        QDialog::accept();
    }
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
        showError(i18n("Please fill in the required fields: type and key."));
        return {};
    }
    const QString line = QStringLiteral("%1 %2 %3").arg(type, keyData, comment);
    if (!isReadable(line)) {
        showError(invalidKey);
        return {};
    }
    return line;
}

bool AddPublicKeyDialog::writeNewKey()
{
    const QString line = keyGeneration();
    if (line.isEmpty()) {
        return false;
    }
    m_keyLine = line;
    if (SSHKeyUtils::isDirectlyWritable(m_filePath)) {
        return SSHKeyUtils::appendKeyToFile(m_filePath, line);
    }
    return writeFileUsingPolicyKit(line);
}

bool AddPublicKeyDialog::writeFileUsingPolicyKit(const QString &key)
{
    const SSHSettings::ActionResult result = SSHSettings::runPrivilegedAction(
        SSHSettings::ActionKind::Change, {{QStringLiteral("authorized_keys_file"), m_filePath}, {QStringLiteral("add_key_line"), key}});
    if (!result.ok) {
        qWarning().noquote() << QStringLiteral("Error writing to authorized keys file '%1'. Error: %2").arg(m_filePath, result.errorText);
    }
    return result.ok;
}

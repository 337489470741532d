// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "addpublickeydialog.h"
#include "ui_AddPublicKeyDialog.h"

#include "dialogcheck.h"
#include "formaccessibility.h"

#include "privilegedaction.h"
#include "sshkeyutils.h"
#include "sshsettingsprotocol.h"

#include <KMessageWidget>
#include <QBoxLayout>

#include <KLocalizedString>

#include <QCompleter>
#include <QDebug>
#include <QPushButton>

AddPublicKeyDialog::AddPublicKeyDialog(const QString &filePath, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AddPublicKeyDialog>())
    , m_filePath(filePath)
    , m_error(new KMessageWidget(this))
{
    ui->setupUi(this);
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
    // The comment is the key owner's to give: no guess of a user or host name.
    QPushButton *add = ui->buttonBox->button(QDialogButtonBox::Ok);
    add->setText(i18nc("@action:button", "&Add"));
    add->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    m_check = new DialogCheck(add, ui->verticalLayout, ui->verticalLayout->count() - 1, [this] {
        return verdict();
    });
    connect(ui->stackedWidget, &QStackedWidget::currentChanged, m_check, &DialogCheck::update);
    connect(ui->simpleKeyEdit, &QTextEdit::textChanged, m_check, &DialogCheck::update);
    connect(ui->partsKeyEdit, &QTextEdit::textChanged, m_check, &DialogCheck::update);
    connect(ui->typeLineEdit, &QLineEdit::textChanged, m_check, &DialogCheck::update);
    connect(ui->commentLineEdit, &QLineEdit::textChanged, m_check, &DialogCheck::update);
    // Buddies, Tab order and Alt letters once every text is set (Add's among them).
    FormAccessibility::apply(this);
}

AddPublicKeyDialog::~AddPublicKeyDialog() = default;

QString AddPublicKeyDialog::generatedKey() const
{
    return m_keyLine.trimmed();
}

void AddPublicKeyDialog::accept()
{
    if (!isEnabled()) {
        return; // the helper writes
    }
    if (!m_check->update()) {
        return;
    }
    const QString line = keyLine();
    m_keyLine = line;
    m_error->hide();
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

QString AddPublicKeyDialog::keyLine() const
{
    if (ui->stackedWidget->currentIndex() == 0) {
        return ui->simpleKeyEdit->toPlainText().trimmed();
    }
    const QString type = ui->typeLineEdit->text().trimmed();
    const QString keyData = ui->partsKeyEdit->toPlainText().trimmed();
    const QString comment = ui->commentLineEdit->text().trimmed();
    if (type.isEmpty() || keyData.isEmpty()) {
        return {};
    }
    return comment.isEmpty() ? QStringLiteral("%1 %2").arg(type, keyData) : QStringLiteral("%1 %2 %3").arg(type, keyData, comment);
}

KeyInfo AddPublicKeyDialog::keyInfo() const
{
    const QString line = keyLine();
    // ssh-keygen reads the key: once for each text, not on every check of the same one.
    if (line != m_checkedLine) {
        m_checkedLine = line;
        m_checkedInfo = line.isEmpty() ? KeyInfo() : SSHKeyUtils::parseKeyLine(line);
    }
    return m_checkedInfo;
}

DialogCheck::Verdict AddPublicKeyDialog::verdict() const
{
    const QString line = keyLine();
    if (line.isEmpty()) {
        return {};
    }
    if (line.contains(QLatin1Char('\n'))) {
        return {false, i18n("This is more than one line. Add one key at a time.")};
    }
    const KeyInfo info = keyInfo();
    if (info.type.isEmpty() || info.fingerprint.isEmpty() || info.bits <= 0) {
        return {false,
                ui->stackedWidget->currentIndex() == 0
                    ? i18n("This is not a public key. A public key line starts with its type, such as ssh-ed25519, followed by the key; copy it whole "
                           "from the .pub file.")
                    : i18n("The type and the key do not make a public key. Copy both from the .pub file.")};
    }
    return {true, QString()};
}

QString AddPublicKeyDialog::reason() const
{
    return m_check->reason();
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

// SPDX-License-Identifier: GPL-2.0-or-later
#include "editbannerdialog.h"
#include "ui_EditBannerDialog.h"

#include "privilegedaction.h"

#include <KLocalizedString>
#include <KMessageBox>

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>

namespace
{
EditBannerDialog::WriteAccessCheck &writeAccessCheck()
{
    static EditBannerDialog::WriteAccessCheck check;
    return check;
}

bool mayWriteDirectly(const QString &path)
{
    const auto &check = writeAccessCheck();
    return check ? check(path) : QFileInfo(path).isWritable();
}
}

EditBannerDialog::EditBannerDialog(const QString &path, QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::EditBannerDialog>()), m_path(path)
{
    ui->setupUi(this);
}

EditBannerDialog::~EditBannerDialog() = default;

void EditBannerDialog::setWriteAccessCheck(WriteAccessCheck check)
{
    writeAccessCheck() = std::move(check);
}

int EditBannerDialog::exec()
{
    if (!QFile::exists(m_path)) {
        QMessageBox::critical(parentWidget(), i18n("Error"), i18n("The path specified is incorrect, please make sure the file exists."), QMessageBox::Ok);
        return QDialog::Rejected;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::critical(parentWidget(), i18n("Error"), i18n("Failed to open file for reading"), QMessageBox::Ok);
        return QDialog::Rejected;
    }
    ui->textEdit->setPlainText(QString::fromUtf8(file.readAll()));
    file.close();
    return QDialog::exec();
}

QString EditBannerDialog::textToWrite() const
{
    QString text = ui->textEdit->toPlainText();
    if (!text.endsWith(QLatin1Char('\n'))) {
        text.append(QLatin1Char('\n'));
    }
    return text;
}

bool EditBannerDialog::writeBannerContent() const
{
    if (mayWriteDirectly(m_path)) {
        return writeFile(m_path);
    }
    return writeFileUsingPolicyKit();
}

bool EditBannerDialog::writeFile(const QString &path) const
{
    // Write next to the file and rename over it, so that a failure leaves the old banner whole.
    // Only a folder the user may not create files in forces an in-place write.
    const QFileInfo info(path);
    const QString target = info.exists() ? info.canonicalFilePath() : path;
    QSaveFile file(target);
    file.setDirectWriteFallback(!QFileInfo(QFileInfo(target).absolutePath()).isWritable());
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Text);
    if (written) {
        const QByteArray text = textToWrite().toUtf8();
        written = file.write(text) == text.size() && file.commit();
    }
    if (!written) {
        qWarning() << "Cannot write the banner file" << target << file.errorString();
        QMessageBox::critical(parentWidget(), i18n("Error"), i18n("Failed to open the file for writing!"), QMessageBox::Ok);
        return false;
    }
    return true;
}

bool EditBannerDialog::writeFileUsingPolicyKit() const
{
    const SSHSettings::ActionResult result = SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Change,
                                                                              {
                                                                                  {QStringLiteral("write_banner_path"), m_path},
                                                                                  {QStringLiteral("write_banner_text"), textToWrite()},
                                                                              });
    if (!result.ok) {
        qWarning().noquote() << QStringLiteral("Error writing to welcome file (Banner): %1").arg(result.errorText);
    }
    return result.ok;
}

void EditBannerDialog::accept()
{
    if (!writeBannerContent()) {
        return;
    }
    KMessageBox::information(parentWidget(), i18n("The content of the welcome message has been successfully changed."), QString(),
                             QStringLiteral("ssh_banner_success_change_id"), KMessageBox::Notify);
    QDialog::accept();
}

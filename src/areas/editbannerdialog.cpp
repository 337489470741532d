// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "editbannerdialog.h"
#include "areas_debug.h"
#include "ui_EditBannerDialog.h"

#include "formaccessibility.h"
#include "pagemessage.h"

#include "privilegedaction.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>
#include <KMessageWidget>

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QSaveFile>
#include <QVBoxLayout>

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

EditBannerDialog::EditBannerDialog(const QString &path, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::EditBannerDialog>())
    , m_path(path)
    , m_error(new KMessageWidget(this))
{
    ui->setupUi(this);
    m_error->setMessageType(KMessageWidget::Error);
    m_error->setWordWrap(true);
    m_error->setCloseButtonVisible(false);
    m_error->hide();
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, m_error);
    setWindowTitle(i18nc("@title:window %1 is a file", "Edit Banner — %1", path));
    // The banner is shown as written, line by line: the editor uses the fixed-width font terminals show it in.
    ui->textEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    FormAccessibility::apply(this);
}

KMessageWidget *EditBannerDialog::errorWidget() const
{
    return m_error;
}

EditBannerDialog::~EditBannerDialog() = default;

void EditBannerDialog::setWriteAccessCheck(WriteAccessCheck check)
{
    writeAccessCheck() = std::move(check);
}

int EditBannerDialog::exec()
{
    const QString id = QStringLiteral("banner_id");
    if (!QFile::exists(m_path)) {
        PageMessage::post(parentWidget(), id, i18n("The banner %1 does not exist.", m_path), KCMOS::Error);
        return QDialog::Rejected;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        PageMessage::post(parentWidget(), id, i18n("The banner %1 could not be read: %2", m_path, file.errorString()), KCMOS::Error);
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

bool EditBannerDialog::writeFile(const QString &path, QString *reason) const
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
        qCWarning(SSHSETTINGS_AREAS) << "Cannot write the banner file" << target << file.errorString();
        *reason = file.errorString();
    }
    return written;
}

void EditBannerDialog::accept()
{
    if (!isEnabled()) {
        return; // the helper writes
    }
    if (mayWriteDirectly(m_path)) {
        QString reason;
        const bool written = writeFile(m_path, &reason);
        finishWrite(written, reason);
        return;
    }
    namespace Arg = SSHSettings::Protocol::Arg;
    setEnabled(false);
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::Configure,
                                     {{Arg::BannerPath, m_path}, {Arg::BannerText, textToWrite()}},
                                     this,
                                     [this](const SSHSettings::ActionResult &result) {
                                         setEnabled(true);
                                         finishWrite(result.ok, result.ok ? QString() : SSHSettings::failureReason(result));
                                     });
}

void EditBannerDialog::finishWrite(bool written, const QString &reason)
{
    if (!written) {
        m_error->setText(i18n("The banner was not saved: %1", reason));
        m_error->animatedShow();
        return;
    }
    m_error->hide();
    // Said on the page, once the dialog is gone: no box to close after a save.
    PageMessage::post(parentWidget(), QStringLiteral("banner_id"), i18n("The banner %1 was saved.", m_path), KCMOS::Positive);
    QDialog::accept();
}

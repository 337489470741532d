// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeyspathdialog.h"
#include "ui_AuthorizedKeysPathDialog.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QShortcut>

AuthorizedKeysPathDialog::AuthorizedKeysPathDialog(const QStringList &paths, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::AuthorizedKeysPathDialog>())
{
    ui->setupUi(this);
    for (const QString &path : paths) {
        ui->pathsListWidget->addItem(path);
    }

    auto *addShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
    auto *removeShortcut = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    connect(addShortcut, &QShortcut::activated, this, &AuthorizedKeysPathDialog::onAdd);
    connect(removeShortcut, &QShortcut::activated, this, &AuthorizedKeysPathDialog::onRemove);
    connect(ui->addPath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onAdd);
    connect(ui->removePath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onRemove);
    connect(ui->pathsListWidget, &QListWidget::currentRowChanged, this, &AuthorizedKeysPathDialog::updateRemoveButton);
}

AuthorizedKeysPathDialog::~AuthorizedKeysPathDialog() = default;

QStringList AuthorizedKeysPathDialog::paths() const
{
    QStringList result;
    for (int row = 0; row < ui->pathsListWidget->count(); ++row) {
        result.append(ui->pathsListWidget->item(row)->text().trimmed());
    }
    return result;
}

void AuthorizedKeysPathDialog::onAdd()
{
    const QString path =
        QFileDialog::getOpenFileName(this, i18n("Select a file to store SSH authorization keys"), QDir::homePath(), i18n("All Files") + QStringLiteral(" (*)"));
    if (path.isEmpty()) {
        return;
    }
    if (!ui->pathsListWidget->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        QMessageBox::information(this, i18n("Already added"), i18n("This path is already on the list."), QMessageBox::Ok);
        return;
    }
    ui->pathsListWidget->addItem(path);
}

void AuthorizedKeysPathDialog::onRemove()
{
    delete ui->pathsListWidget->currentItem();
}

void AuthorizedKeysPathDialog::updateRemoveButton()
{
    ui->removePath->setEnabled(ui->pathsListWidget->currentItem() != nullptr);
}

// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeyspathdialog.h"
#include "ui_AuthorizedKeysPathDialog.h"

#include "formaccessibility.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileDialog>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QRegularExpression>
#include <QShortcut>

AuthorizedKeysPathDialog::AuthorizedKeysPathDialog(const QStringList &paths, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AuthorizedKeysPathDialog>())
{
    ui->setupUi(this);
    for (const QString &path : paths) {
        addItem(path);
    }

    auto *addShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
    auto *removeShortcut = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    connect(addShortcut, &QShortcut::activated, this, &AuthorizedKeysPathDialog::onAdd);
    connect(removeShortcut, &QShortcut::activated, this, &AuthorizedKeysPathDialog::onRemove);
    connect(ui->addPath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onAdd);
    connect(ui->browsePath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onBrowse);
    connect(ui->removePath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onRemove);
    connect(ui->pathsListWidget, &QListWidget::currentRowChanged, this, &AuthorizedKeysPathDialog::updateRemoveButton);
    FormAccessibility::apply(this);
}

AuthorizedKeysPathDialog::~AuthorizedKeysPathDialog() = default;

QStringList AuthorizedKeysPathDialog::paths() const
{
    QStringList result;
    for (int row = 0; row < ui->pathsListWidget->count(); ++row) {
        const QString path = ui->pathsListWidget->item(row)->text().trimmed();
        if (!path.isEmpty()) {
            result.append(path);
        }
    }
    return result;
}

QListWidgetItem *AuthorizedKeysPathDialog::addItem(const QString &path)
{
    auto *item = new QListWidgetItem(path, ui->pathsListWidget);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

QString AuthorizedKeysPathDialog::pathError(const QString &path)
{
    if (path.contains(QRegularExpression(QStringLiteral("\\s")))) {
        return i18n("“%1” contains a blank, which sshd takes as the end of the path.", path);
    }
    // sshd expands %% (a percent sign), %h (the home folder), %U (the user ID) and %u (the user name).
    for (int i = 0; i < path.size(); ++i) {
        if (path.at(i) != QLatin1Char('%')) {
            continue;
        }
        const QChar token = i + 1 < path.size() ? path.at(i + 1) : QChar();
        if (!QStringLiteral("%hUu").contains(token) || token.isNull()) {
            return i18n("“%1” contains %2, which sshd does not know: use %h, %u, %U or %%.", path, QStringView(path).mid(i, 2).toString());
        }
        ++i;
    }
    return {};
}

void AuthorizedKeysPathDialog::accept()
{
    const QStringList list = paths();
    for (const QString &path : list) {
        const QString error = pathError(path);
        if (!error.isEmpty()) {
            QMessageBox::warning(this, i18nc("@title:window", "Path not accepted"), error);
            return;
        }
    }
    QDialog::accept();
}

void AuthorizedKeysPathDialog::onAdd()
{
    // A new line to type into: a pattern such as %h/.ssh/authorized_keys, or a path relative to the home folder.
    QListWidgetItem *item = addItem(QString());
    ui->pathsListWidget->setCurrentItem(item);
    ui->pathsListWidget->editItem(item);
}

void AuthorizedKeysPathDialog::onBrowse()
{
    const QString path = QFileDialog::getOpenFileName(this, i18nc("@title:window", "Choose an authorized keys file"), QDir::homePath());
    if (path.isEmpty()) {
        return;
    }
    if (!ui->pathsListWidget->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        QMessageBox::information(this, i18n("Already added"), i18n("This path is already on the list."), QMessageBox::Ok);
        return;
    }
    ui->pathsListWidget->setCurrentItem(addItem(path));
}

void AuthorizedKeysPathDialog::onRemove()
{
    delete ui->pathsListWidget->currentItem();
}

void AuthorizedKeysPathDialog::updateRemoveButton()
{
    ui->removePath->setEnabled(ui->pathsListWidget->currentItem() != nullptr);
}

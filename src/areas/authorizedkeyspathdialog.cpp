// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeyspathdialog.h"
#include "ui_AuthorizedKeysPathDialog.h"

#include "formaccessibility.h"
#include "sshkeyutils.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTreeWidget>

AuthorizedKeysPathDialog::AuthorizedKeysPathDialog(const QStringList &paths, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AuthorizedKeysPathDialog>())
{
    ui->setupUi(this);
    ui->pathsListWidget->headerItem()->setText(1, i18nc("@title:column %1 is a user name", "File for %1", SSHKeyUtils::userName()));
    m_check = new DialogCheck(ui->buttonBox->button(QDialogButtonBox::Ok), ui->verticalLayout, ui->verticalLayout->count() - 1, [this] {
        return verdict();
    });
    for (const QString &path : paths) {
        addItem(path);
    }
    ui->pathsListWidget->resizeColumnToContents(0);
    ui->pathsListWidget->setAccessibleName(i18nc("@info:accessible", "Key files"));
    // Only the configured word is edited; the file beside it follows.
    connect(ui->pathsListWidget, &QTreeWidget::itemDoubleClicked, this, &AuthorizedKeysPathDialog::edit);
    auto *editShortcut = new QShortcut(QKeySequence(Qt::Key_F2), ui->pathsListWidget);
    connect(editShortcut, &QShortcut::activated, this, [this] {
        edit(ui->pathsListWidget->currentItem());
    });
    connect(ui->pathsListWidget, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int column) {
        if (column == 0) {
            item->setText(1, SSHKeyUtils::expandPath(item->text(0)));
            m_check->update();
        }
    });

    auto *addShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
    auto *removeShortcut = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    connect(addShortcut, &QShortcut::activated, this, &AuthorizedKeysPathDialog::onAdd);
    connect(removeShortcut, &QShortcut::activated, this, &AuthorizedKeysPathDialog::onRemove);
    connect(ui->addPath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onAdd);
    connect(ui->browsePath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onBrowse);
    connect(ui->removePath, &QPushButton::clicked, this, &AuthorizedKeysPathDialog::onRemove);
    connect(ui->pathsListWidget, &QTreeWidget::currentItemChanged, this, &AuthorizedKeysPathDialog::updateRemoveButton);
    FormAccessibility::apply(this);
}

AuthorizedKeysPathDialog::~AuthorizedKeysPathDialog() = default;

QStringList AuthorizedKeysPathDialog::paths() const
{
    QStringList result;
    for (int row = 0; row < ui->pathsListWidget->topLevelItemCount(); ++row) {
        const QString path = ui->pathsListWidget->topLevelItem(row)->text(0).trimmed();
        if (!path.isEmpty()) {
            result.append(path);
        }
    }
    return result;
}

QTreeWidgetItem *AuthorizedKeysPathDialog::addItem(const QString &path)
{
    auto *item = new QTreeWidgetItem(ui->pathsListWidget, {path, path.trimmed().isEmpty() ? QString() : SSHKeyUtils::expandPath(path)});
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    m_check->update();
    return item;
}

void AuthorizedKeysPathDialog::edit(QTreeWidgetItem *item)
{
    if (item) {
        ui->pathsListWidget->editItem(item, 0);
    }
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

DialogCheck::Verdict AuthorizedKeysPathDialog::verdict() const
{
    const QStringList list = paths();
    for (const QString &path : list) {
        const QString error = pathError(path);
        if (!error.isEmpty()) {
            return {false, error};
        }
    }
    return {true, QString()};
}

QString AuthorizedKeysPathDialog::reason() const
{
    return m_check->reason();
}

void AuthorizedKeysPathDialog::accept()
{
    if (m_check->update()) {
        QDialog::accept();
    }
}

void AuthorizedKeysPathDialog::onAdd()
{
    // A new line to type into: a pattern such as %h/.ssh/authorized_keys, or a path relative to the home folder.
    QTreeWidgetItem *item = addItem(QString());
    ui->pathsListWidget->setCurrentItem(item);
    edit(item);
}

void AuthorizedKeysPathDialog::onBrowse()
{
    QString path = QFileDialog::getOpenFileName(this, i18nc("@title:window", "Choose an Authorized Keys File"), QDir::homePath());
    if (path.isEmpty()) {
        return;
    }
    // A file in the home folder is listed relative to it, as sshd reads it: the same file in every user's home.
    const QString homePrefix = QDir::homePath() + QLatin1Char('/');
    if (path.startsWith(homePrefix)) {
        path = path.mid(homePrefix.size());
    }
    const auto same = ui->pathsListWidget->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive, 0);
    ui->pathsListWidget->setCurrentItem(same.isEmpty() ? addItem(path) : same.constFirst());
}

void AuthorizedKeysPathDialog::onRemove()
{
    delete ui->pathsListWidget->currentItem();
    m_check->update();
}

void AuthorizedKeysPathDialog::updateRemoveButton()
{
    ui->removePath->setEnabled(ui->pathsListWidget->currentItem() != nullptr);
}

// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "authorizedkeysarea.h"
#include "areas_debug.h"
#include "ui_AuthorizedKeysArea.h"

#include "areaicons.h"

#include "addpublickeydialog.h"
#include "authorizedkeysmodel.h"
#include "authorizedkeyspathdialog.h"
#include "authorizedkeysproxymodel.h"
#include "collapsiblepanel.h"
#include "pagemessage.h"
#include "privilegedaction.h"
#include "sshkeyutils.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <KColorScheme>
#include <functional>

AuthorizedKeysArea::AuthorizedKeysArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::AuthorizedKeysArea>())
{
    ui->setupUi(this);
    AreaIcons::setEditIcon(ui->pathsEditButton);
}

AuthorizedKeysArea::~AuthorizedKeysArea() = default;

QWidget *AuthorizedKeysArea::inflate()
{
    m_model = new AuthorizedKeysModel(this);
    m_proxy = new AuthorizedKeysProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    ui->keysView->setModel(m_proxy);

    QHeaderView *header = ui->keysView->header();
    header->setStretchLastSection(false); // the name takes the spare width, not the availability icon
    for (int column = 0; column < m_model->columnCount(); ++column) {
        // Fingerprints are shown whole; the name column takes the rest.
        header->setSectionResizeMode(column, column == AuthorizedKeysModel::NameColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }

    loadAuthorizedKeysFiles(m_option.value().toStringList());

    setupAnimation();
    ui->keysView->setContextMenuPolicy(Qt::CustomContextMenu);
    ui->keysView->setColumnHidden(AuthorizedKeysModel::RawKeyColumn, true);
    ui->keysView->setTextElideMode(Qt::ElideMiddle);
    // The name shows the type and comment already.
    ui->keysView->setColumnHidden(AuthorizedKeysModel::CommentColumn, true);
    ui->keysView->setColumnHidden(AuthorizedKeysModel::KeyTypeColumn, true);
    ui->searchLineEdit->addAction(QIcon::fromTheme(QStringLiteral("edit-find")), QLineEdit::LeadingPosition);

    connect(ui->keysView, &QTreeView::customContextMenuRequested, this, &AuthorizedKeysArea::onContextMenuRequested);
    connect(ui->keysView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &AuthorizedKeysArea::updateRemoveKeyButton);
    connect(ui->pathsEditButton, &QPushButton::clicked, this, &AuthorizedKeysArea::editAuthorizedKeysPaths);
    connect(ui->addKeyButton, &QPushButton::clicked, this, &AuthorizedKeysArea::onAddKey);
    connect(ui->removeButton, &QPushButton::clicked, this, &AuthorizedKeysArea::onRemoveKey);
    connect(ui->searchLineEdit, &QLineEdit::textChanged, this, &AuthorizedKeysArea::onSearchLineEditTextChanged);
    return this;
}

QVariant AuthorizedKeysArea::value() const
{
    if (!m_model) {
        return m_option.value();
    }
    return QVariant(relativePathsForConfig());
}

void AuthorizedKeysArea::reset() const
{
    if (m_model) {
        loadAuthorizedKeysFiles(m_option.value().toStringList());
    }
}

void AuthorizedKeysArea::loadAuthorizedKeysFiles(const QStringList &patterns) const
{
    QList<FileEntry> entries;
    for (const QString &pattern : patterns) {
        entries.append({SSHKeyUtils::expandPath(pattern), pattern});
    }
    loadFileEntries(entries);
}

void AuthorizedKeysArea::loadFileEntries(const QList<FileEntry> &entries) const
{
    m_model->clear();
    for (const FileEntry &entry : entries) {
        if (entry.path.isEmpty()) {
            continue;
        }
        QFile file(SSHPaths::onDisk(entry.path));
        if (!file.exists()) {
            m_model->addAuthorizedFile(entry.path, {}, entry.pattern);
            continue;
        }
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            qCWarning(SSHSETTINGS_AREAS) << "Cannot open" << entry.path << file.errorString();
            // Still listed, so that the configured entry is neither hidden nor lost on the next apply.
            m_model->addAuthorizedFile(entry.path, {}, entry.pattern, file.errorString());
            continue;
        }
        QStringList lines;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
                lines.append(line);
            }
        }
        m_model->addAuthorizedFile(entry.path, lines, entry.pattern);
    }
}

QStringList AuthorizedKeysArea::relativePathsForConfig() const
{
    // A file loaded from a configured pattern is written back as that pattern,
    // since the pattern means a different file for every user. A path the
    // user added is written relative to the home when it lies inside it.
    const QString homePrefix = QDir::homePath() + QLatin1Char('/');
    QStringList result;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row, AuthorizedKeysModel::NameColumn);
        const QVariant pattern = index.data(AuthorizedKeysModel::ConfiguredPatternRole);
        if (pattern.isValid()) {
            result.append(pattern.toString());
            continue;
        }
        const QString path = index.data(Qt::DisplayRole).toString();
        result.append(path.startsWith(homePrefix) ? path.mid(homePrefix.size()) : path);
    }
    return result;
}

bool AuthorizedKeysArea::isAnyCollapsed() const
{
    const QAbstractItemModel *model = ui->keysView->model();
    std::function<bool(const QModelIndex &)> collapsedBelow = [&](const QModelIndex &parent) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (model->hasChildren(index) && (!ui->keysView->isExpanded(index) || collapsedBelow(index))) {
                return true;
            }
        }
        return false;
    };
    return model && collapsedBelow(QModelIndex());
}

void AuthorizedKeysArea::setupAnimation()
{
    m_panel = new CollapsiblePanel(ui->showButton, ui->groupBox, ui->keysView, i18nc("@title:group", "Authorized Keys"), this);
    ui->showButton->setToolTip(m_option.description);
}

void AuthorizedKeysArea::showPublicKey(const QString &key)
{
    QDialog dialog(this);
    dialog.setWindowTitle(i18nc("@title:window", "Public Key"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *keyEdit = new QPlainTextEdit(key, &dialog);
    keyEdit->setReadOnly(true);
    keyEdit->setTabChangesFocus(true);
    layout->addWidget(keyEdit);
    auto *buttonBox = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton *copyButton = buttonBox->addButton(i18nc("@action:button", "Copy"), QDialogButtonBox::ActionRole);
    copyButton->setIcon(QIcon::fromTheme(QStringLiteral("edit-copy")));
    layout->addWidget(buttonBox);
    connect(copyButton, &QPushButton::clicked, &dialog, [&dialog, keyEdit] {
        QApplication::clipboard()->setText(keyEdit->toPlainText());
        dialog.accept();
    });
    connect(buttonBox, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.exec();
}

void AuthorizedKeysArea::onSearchLineEditTextChanged(const QString &text)
{
    m_proxy->setFilterRegularExpression(QRegularExpression(text, QRegularExpression::CaseInsensitiveOption));

    QPalette palette = ui->searchLineEdit->palette();
    if (!text.isEmpty() && m_proxy->rowCount() == 0) {
        palette.setColor(QPalette::Text, KColorScheme(QPalette::Active, KColorScheme::View).foreground(KColorScheme::NegativeText).color());
    } else {
        palette.setColor(QPalette::Text, palette.windowText().color());
    }
    ui->searchLineEdit->setPalette(palette);
    updateRemoveKeyButton();
}

QModelIndex AuthorizedKeysArea::selectedSourceIndex() const
{
    // The selected row, never a current index left on a row the search hides.
    const QModelIndexList selected = ui->keysView->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QModelIndex() : m_proxy->mapToSource(selected.constFirst().siblingAtColumn(0));
}

void AuthorizedKeysArea::updateRemoveKeyButton()
{
    const QModelIndex index = selectedSourceIndex();
    ui->removeButton->setEnabled(index.isValid() && index.parent().isValid());
    if (!index.isValid()) {
        ui->addKeyButton->setEnabled(false);
        return;
    }
    const QModelIndex fileIndex = index.parent().isValid() ? index.parent() : index;
    // A missing file gets created with its first key; an unreadable one is left alone.
    ui->addKeyButton->setEnabled(fileIndex.siblingAtColumn(AuthorizedKeysModel::NameColumn).data(AuthorizedKeysModel::ReadErrorRole).toString().isEmpty());
}

void AuthorizedKeysArea::onContextMenuRequested(const QPoint &pos)
{
    const QModelIndex index = ui->keysView->indexAt(pos);
    QMenu menu(ui->keysView);
    if (isAnyCollapsed()) {
        menu.addAction(style()->standardIcon(QStyle::SP_ArrowDown), i18nc("@action:inmenu", "Expand All"), ui->keysView, &QTreeView::expandAll);
    } else {
        menu.addAction(style()->standardIcon(QStyle::SP_ArrowUp), i18nc("@action:inmenu", "Collapse All"), ui->keysView, &QTreeView::collapseAll);
    }
    menu.addSeparator();
    if (index.isValid() && index.parent().isValid()) {
        const QString key = index.siblingAtColumn(AuthorizedKeysModel::RawKeyColumn).data(Qt::DisplayRole).toString().trimmed();
        if (!key.isEmpty()) {
            menu.addAction(QIcon::fromTheme(QStringLiteral("edit-copy")), i18nc("@action:inmenu", "Show Public Key"), this, [this, key] {
                showPublicKey(key);
            });
        }
    }
    menu.exec(ui->keysView->viewport()->mapToGlobal(pos));
}

void AuthorizedKeysArea::editAuthorizedKeysPaths()
{
    // The dialog edits the words as configured; the tree shows the files they name for this user.
    const QStringList current = relativePathsForConfig();
    AuthorizedKeysPathDialog dialog(current, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList words = dialog.paths();
    if (words == current) {
        return;
    }
    setHasChanged(true);
    Q_EMIT modify();
    loadAuthorizedKeysFiles(words);
}

QString AuthorizedKeysArea::keyName(const QString &comment, const QString &fingerprint)
{
    return comment.isEmpty() ? fingerprint : i18nc("@info a key: %1 is its comment, %2 its fingerprint", "“%1” (%2)", comment, fingerprint);
}

void AuthorizedKeysArea::onAddKey()
{
    const QModelIndex index = m_proxy->mapToSource(ui->keysView->currentIndex());
    if (!index.isValid()) {
        QMessageBox::warning(this,
                             i18nc("@title:window", "Select a File"),
                             i18n("First, select the authorized_keys file to which the key will be added."),
                             QMessageBox::Ok);
        return;
    }
    const QModelIndex fileIndex = index.parent().isValid() ? index.parent() : index;
    const QString path = fileIndex.siblingAtColumn(AuthorizedKeysModel::NameColumn).data(Qt::DisplayRole).toString();
    // A missing file is created with the first key.
    AddPublicKeyDialog dialog(path, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const KeyInfo key = dialog.keyInfo();
    PageMessage::post(this,
                      QStringLiteral("authorized_keys_id"),
                      i18n("The key %1 was added to %2.", keyName(key.comment, key.fingerprint), path),
                      KCMOS::Positive);
    if (!fileIndex.siblingAtColumn(AuthorizedKeysModel::FileExistsColumn).data(AuthorizedKeysModel::FileExistsRole).toBool()) {
        // The file is new: read the listed files again, keeping their configured patterns.
        QList<FileEntry> entries;
        for (int row = 0; row < m_model->rowCount(); ++row) {
            const QModelIndex name = m_model->index(row, AuthorizedKeysModel::NameColumn);
            const QVariant pattern = name.data(AuthorizedKeysModel::ConfiguredPatternRole);
            entries.append({name.data(Qt::DisplayRole).toString(), pattern.isValid() ? pattern.toString() : QString()});
        }
        loadFileEntries(entries);
        return;
    }
    m_model->addKeyToFile(path, dialog.generatedKey());
}

bool AuthorizedKeysArea::confirmRemoval(const QString &key, const QString &path)
{
    QMessageBox box(QMessageBox::Question,
                    i18nc("@title:window", "Remove Key"),
                    i18n("Remove the key %1 from %2? It can then no longer be used to log in with this file.", key, path),
                    QMessageBox::NoButton,
                    this);
    QPushButton *remove = box.addButton(i18nc("@action:button", "Remove Key"), QMessageBox::DestructiveRole);
    remove->setIcon(QIcon::fromTheme(QStringLiteral("edit-delete")));
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == remove;
}

void AuthorizedKeysArea::onRemoveKey()
{
    const QModelIndex index = selectedSourceIndex();
    if (!index.isValid() || !index.parent().isValid()) {
        return; // the button is disabled without a key selected
    }
    const QModelIndex fileIndex = index.parent();
    const QString path = fileIndex.siblingAtColumn(AuthorizedKeysModel::NameColumn).data(Qt::DisplayRole).toString();
    const QString line = index.siblingAtColumn(AuthorizedKeysModel::RawKeyColumn).data(Qt::DisplayRole).toString();
    const QString name = keyName(index.siblingAtColumn(AuthorizedKeysModel::CommentColumn).data(Qt::DisplayRole).toString(),
                                 index.siblingAtColumn(AuthorizedKeysModel::FingerprintColumn).data(Qt::DisplayRole).toString());
    if (!confirmRemoval(name, path)) {
        return;
    }
    // The key is taken from the list once the file no longer has it; the list may have moved meanwhile.
    const QPersistentModelIndex key(index);
    const auto removed = [this, key, name, path](bool done, const QString &reason) {
        const QString id = QStringLiteral("authorized_keys_id");
        if (!done) {
            PageMessage::post(this, id, i18n("The key %1 was not removed from %2: %3", name, path, reason), KCMOS::Error);
            return;
        }
        if (key.isValid()) {
            m_model->removeKey(static_cast<TreeItem *>(key.parent().internalPointer()), key.row());
        }
        PageMessage::post(this, id, i18n("The key %1 was removed from %2.", name, path), KCMOS::Positive);
    };
    if (SSHKeyUtils::isDirectlyWritable(path)) {
        QString reason;
        const bool done = SSHKeyUtils::removeKeyFromFile(path, line, &reason);
        removed(done, reason);
        return;
    }
    namespace Arg = SSHSettings::Protocol::Arg;
    SSHSettings::runPrivilegedAction(SSHSettings::ActionKind::UserFiles,
                                     {{Arg::KeysFile, path}, {Arg::RemoveKeyLine, line}},
                                     this,
                                     [removed](const SSHSettings::ActionResult &result) {
                                         removed(result.ok, result.ok ? QString() : SSHSettings::failureReason(result));
                                     });
}

// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "usergroupaccessarea.h"
#include "ui_UserGroupAccessView.h"

#include "areaicons.h"

#include "collapsiblepanel.h"
#include "formaccessibility.h"
#include "usergroupaccessmodel.h"
#include "usergroupaccessproxymodel.h"
#include "usergroupentrydialog.h"
#include "utils.h"

#include <KLocalizedString>

#include <KColorScheme>
#include <KMessageWidget>
#include <QAction>
#include <QHeaderView>
#include <QRegularExpression>

namespace
{
int comboData(const QComboBox *combo)
{
    bool ok = false;
    const int value = combo->currentData(Qt::UserRole).toInt(&ok);
    return ok ? value : 0;
}
}

UserGroupAccessArea::UserGroupAccessArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::UserGroupAccessView>())
{
    qRegisterMetaType<RoleType>("RoleType");
    qRegisterMetaType<Permission>("Permission");
    ui->setupUi(this);
    AreaIcons::setEditIcon(ui->editButton);
}

UserGroupAccessArea::~UserGroupAccessArea() = default;

QWidget *UserGroupAccessArea::inflate()
{
    setToolTip(m_option.description);
    setupAnimation();
    initializeModel();
    setupRoleCombo();
    setupPermissionCombo();
    setupConnections();
    ui->searchLineEdit->addAction(QIcon::fromTheme(QStringLiteral("edit-find")), QLineEdit::LeadingPosition);
    ui->treeView->sortByColumn(UserGroupAccessModel::Permission, Qt::DescendingOrder);
    m_empty = new KMessageWidget(i18n("No user or group is allowed or denied: everyone with an account may log in."), ui->groupBox);
    m_empty->setObjectName(QStringLiteral("emptyListMessage"));
    m_empty->setWordWrap(true);
    m_empty->setCloseButtonVisible(false);
    FormAccessibility::noTabStopsIn(m_empty);
    ui->groupLayout->insertWidget(ui->groupLayout->indexOf(ui->treeView) + 1, m_empty);
    const auto showWhenEmpty = [this] {
        m_empty->setVisible(m_model->rowCount() == 0);
    };
    for (const auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(m_model, changed, this, showWhenEmpty);
    }
    connect(m_model, &QAbstractItemModel::modelReset, this, showWhenEmpty);
    showWhenEmpty();
    return this;
}

void UserGroupAccessArea::setupAnimation()
{
    m_panel = new CollapsiblePanel(ui->showButton, ui->groupBox, ui->treeView, i18nc("@title:group", "User and Group Access"), this);
}

void UserGroupAccessArea::initializeModel()
{
    m_model = new UserGroupAccessModel(originalEntries(), this);
    m_proxy = new UserGroupAccessProxyModel(this);
    m_proxy->setSourceModel(m_model);
    ui->treeView->setModel(m_proxy);
    // Addresses, types and rights are never elided; names take the rest.
    ui->treeView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->treeView->header()->setSectionResizeMode(UserGroupAccessModel::Name, QHeaderView::Stretch);
}

void UserGroupAccessArea::setupRoleCombo()
{
    ui->roleCombo->addItem(i18n("All"), static_cast<int>(RoleAll));
    ui->roleCombo->addItem(i18n("Users"), static_cast<int>(RoleUser));
    ui->roleCombo->addItem(i18n("Groups"), static_cast<int>(RoleGroup));
}

void UserGroupAccessArea::setupPermissionCombo()
{
    ui->permissionCombo->addItem(i18n("All"), static_cast<int>(PermissionAll));
    ui->permissionCombo->addItem(i18n("Allow"), static_cast<int>(PermissionAllow));
    ui->permissionCombo->addItem(i18n("Deny"), static_cast<int>(PermissionDeny));
}

void UserGroupAccessArea::setupConnections()
{
    connect(ui->roleCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, &UserGroupAccessArea::onRoleComboIndexChanged);
    connect(ui->permissionCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, &UserGroupAccessArea::onPermissionComboIndexChanged);
    connect(ui->searchLineEdit, &QLineEdit::textChanged, this, &UserGroupAccessArea::onSearchLineEditTextChanged);
    connect(ui->addButton, &QPushButton::clicked, this, &UserGroupAccessArea::addEntry);
    connect(ui->editButton, &QPushButton::clicked, this, &UserGroupAccessArea::editEntry);
    connect(ui->removeButton, &QPushButton::clicked, this, &UserGroupAccessArea::removeEntry);
    connect(ui->treeView, &QAbstractItemView::doubleClicked, this, &UserGroupAccessArea::editEntry);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &UserGroupAccessArea::checkEntriesChanges);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &UserGroupAccessArea::checkEntriesChanges);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &UserGroupAccessArea::checkEntriesChanges);
    connect(ui->treeView, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        ui->removeButton->setEnabled(index.isValid());
        ui->editButton->setEnabled(index.isValid());
    });
}

void UserGroupAccessArea::onRoleComboIndexChanged()
{
    m_proxy->setRoleFilter(static_cast<RoleType>(comboData(ui->roleCombo)));
}

void UserGroupAccessArea::onPermissionComboIndexChanged()
{
    m_proxy->setPermissionFilter(static_cast<Permission>(comboData(ui->permissionCombo)));
}

void UserGroupAccessArea::onSearchLineEditTextChanged(const QString &text)
{
    m_proxy->setSearchFilter(text);
    QPalette palette = ui->searchLineEdit->palette();
    QColor color = palette.color(QPalette::WindowText);
    if (!text.isEmpty() && m_proxy->rowCount() == 0) {
        color = KColorScheme(QPalette::Active, KColorScheme::View).foreground(KColorScheme::NegativeText).color();
    }
    palette.setColor(QPalette::All, QPalette::Text, color);
    ui->searchLineEdit->setPalette(palette);
}

void UserGroupAccessArea::expandSettings()
{
    if (m_panel) {
        m_panel->expand();
    }
}

void UserGroupAccessArea::collapseSettings()
{
    if (m_panel) {
        m_panel->collapse();
    }
}

RoleType UserGroupAccessArea::roleOf(const QString &keyword)
{
    return keyword.endsWith(QLatin1String("Users")) ? RoleUser : keyword.endsWith(QLatin1String("Groups")) ? RoleGroup : RoleUnknown;
}

Permission UserGroupAccessArea::permissionOf(const QString &keyword)
{
    return keyword.startsWith(QLatin1String("Allow")) ? PermissionAllow : keyword.startsWith(QLatin1String("Deny")) ? PermissionDeny : PermissionUnknown;
}

QList<AccessEntry> UserGroupAccessArea::originalEntries() const
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QList<AccessEntry> entries;
    for (const QString &keyword : std::as_const(m_option.keywords)) {
        const QStringList values = m_option.values.value(keyword).toStringList();
        for (const QString &value : values) {
            // A value read as one string may still hold several words.
            const QStringList words = value.split(blanks, Qt::SkipEmptyParts);
            for (const QString &word : words) {
                entries.append(AccessEntry(word, roleOf(keyword), permissionOf(keyword)));
            }
        }
    }
    return entries;
}

QVariant UserGroupAccessArea::value() const
{
    // Only the lists the administrator changed: a list left alone is not rewritten.
    const QList<AccessEntry> original = originalEntries();
    const QList<AccessEntry> current = m_model ? m_model->entries() : original;
    const QMap<QString, QVariant> words = AccessEntry::convertEntriesToMap(current);
    QVariantMap changed;
    for (const QString &keyword : std::as_const(m_option.keywords)) {
        auto ofKeyword = [&keyword](const QList<AccessEntry> &entries) {
            QList<AccessEntry> result;
            for (const AccessEntry &entry : entries) {
                if (entry.role() == roleOf(keyword) && entry.permission() == permissionOf(keyword)) {
                    result.append(entry);
                }
            }
            return result;
        };
        if (!Utils::areEqualIgnoringOrder(ofKeyword(original), ofKeyword(current))) {
            changed.insert(keyword, words.value(keyword, QString()).toString());
        }
    }
    return changed;
}

QVariantMap UserGroupAccessArea::changes() const
{
    return value().toMap();
}

void UserGroupAccessArea::reset() const
{
    if (m_model) {
        m_model->setEntries(originalEntries());
    }
}

void UserGroupAccessArea::checkEntriesChanges()
{
    setHasChanged(!Utils::areEqualIgnoringOrder(originalEntries(), m_model->entries()));
    Q_EMIT modify();
}

void UserGroupAccessArea::blockIp(const QHostAddress &ip)
{
    if (!m_model) {
        return;
    }
    m_model->addEntry(AccessEntry(QString(), ip, RoleUser, PermissionDeny));
}

void UserGroupAccessArea::addEntry()
{
    UserGroupEntryDialog dialog(this);
    dialog.setExistingEntries(m_model->entries());
    if (dialog.exec() == QDialog::Accepted) {
        m_model->addEntry(dialog.entry());
    }
}

void UserGroupAccessArea::editEntry()
{
    const QModelIndex current = ui->treeView->currentIndex();
    if (!current.isValid()) {
        return;
    }
    const QModelIndex source = m_proxy->mapToSource(current);
    if (!source.isValid()) {
        return;
    }
    const AccessEntry entry = m_model->entryAt(source.row());
    UserGroupEntryDialog dialog(entry, this);
    dialog.setExistingEntries(m_model->entries());
    if (dialog.exec() == QDialog::Accepted) {
        m_model->editEntry(source.row(), dialog.entry());
    }
}

void UserGroupAccessArea::removeEntry()
{
    const QModelIndex current = ui->treeView->currentIndex();
    if (current.isValid()) {
        const QModelIndex source = m_proxy->mapToSource(current);
        if (source.isValid()) {
            m_model->removeEntry(source.row());
        }
    }
    const bool hasRows = m_proxy->rowCount() > 0;
    ui->editButton->setEnabled(hasRows);
    ui->removeButton->setEnabled(hasRows);
}

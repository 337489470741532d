// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "conditionalarea.h"

#include "allsettingsview.h"
#include "conditionalcriteria.h"
#include "sshoptioncatalog.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace Arg = SSHSettings::Protocol::Arg;
namespace Reply = SSHSettings::Protocol::Reply;

namespace
{
QPushButton *button(const char *icon, const QString &text, const char *name, QWidget *parent)
{
    auto *result = new QPushButton(QIcon::fromTheme(QLatin1String(icon)), text, parent);
    result->setObjectName(QLatin1String(name));
    return result;
}

QString place(const QVariantMap &block, bool fullPath)
{
    const QString file = block.value(Reply::BlockEntryFile).toString();
    return QStringLiteral("%1:%2").arg(fullPath ? file : QFileInfo(file).fileName()).arg(block.value(Reply::BlockEntryLine).toInt());
}

QString valueText(const QVariant &value)
{
    return value.userType() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(' ')) : value.toString();
}

// SFTP only, locked in the home folder, for @p group.
ConditionalArea::Request sftpRecipe(const QString &group)
{
    return {QStringLiteral("add"),
            0,
            QStringLiteral("Group %1").arg(group),
            {{QStringLiteral("ForceCommand"), QStringLiteral("internal-sftp")},
             {QStringLiteral("ChrootDirectory"), QStringLiteral("%h")},
             {QStringLiteral("DisableForwarding"), true},
             {QStringLiteral("PermitTTY"), false}},
            {}};
}

// Passwords only from @p addresses.
ConditionalArea::Request passwordRecipe(const QString &addresses)
{
    // The block that allows passwords is written first: no moment leaves these addresses without them.
    return {QStringLiteral("add"),
            0,
            QStringLiteral("Address %1").arg(addresses),
            {{QStringLiteral("PasswordAuthentication"), true}},
            {{QStringLiteral("PasswordAuthentication"), false}}};
}
}

SSHSettings::ActionArguments ConditionalArea::Request::arguments() const
{
    SSHSettings::ActionArguments result;
    if (index > 0) {
        result << qMakePair(QString(Arg::BlockIndex), QVariant(index));
    }
    if (!operation.isEmpty()) {
        result << qMakePair(QString(Arg::BlockOperation), QVariant(operation));
    }
    if (!criteria.isEmpty()) {
        result << qMakePair(QString(Arg::BlockCriteria), QVariant(criteria));
    }
    return result;
}

ConditionalArea::ConditionalArea(SSHConfigurationTypeId type, QWidget *parent)
    : QWidget(parent)
    , m_type(type)
    , m_list(new QTreeWidget(this))
    , m_body(new AllSettingsView(type == Client ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server, nullptr, true))
    , m_add(button("list-add", i18nc("@action:button", "Add"), "conditionalAdd", this))
    , m_criteria(button("document-edit", i18nc("@action:button", "Edit Criteria…"), "conditionalCriteria", this))
    , m_remove(button("list-remove", i18nc("@action:button", "Remove"), "conditionalRemove", this))
    , m_up(button("go-up", i18nc("@action:button move the block up", "Move Up"), "conditionalUp", this))
    , m_down(button("go-down", i18nc("@action:button move the block down", "Move Down"), "conditionalDown", this))
    , m_save(button("dialog-ok-apply", i18nc("@action:button", "Apply to Block"), "conditionalSave", nullptr))
{
    auto *intro = new QLabel(type == Server ? i18nc("@info",
                                                    "Settings for some connections only: each block applies to the connections its criteria "
                                                    "describe, and the first value found for a keyword wins.")
                                            : i18nc("@info", "Settings for some hosts only: each block applies to the hosts its criteria describe."),
                             this);
    intro->setWordWrap(true);
    m_list->setObjectName(QStringLiteral("conditionalBlocks"));
    m_list->setAccessibleName(i18nc("@info:accessible", "Blocks"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({i18nc("@title:column", "Applies to"),
                             i18nc("@title:column", "Criteria"),
                             i18nc("@title:column", "Set in"),
                             i18nc("@title:column number of keywords", "Settings")});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->setMinimumHeight(m_list->fontMetrics().height() * 7);
    m_list->setToolTip(i18nc("@info:tooltip", "The blocks in the order the configuration reads them"));
    if (type == Server) {
        auto *menu = new QMenu(m_add);
        menu->addAction(i18nc("@action:inmenu", "Empty Block…"), this, [this] {
            const QString criteria = mayLeaveBody() ? askCriteria(QString()) : QString();
            if (!criteria.isEmpty()) {
                Q_EMIT requested({QStringLiteral("add"), 0, criteria, {}, {}});
            }
        });
        menu->addAction(i18nc("@action:inmenu", "SFTP Only, Locked in the Home Folder, for a Group…"), this, [this] {
            const QString criteria =
                mayLeaveBody() ? askCriteria(QStringLiteral("Group"), QStringLiteral("Group"), i18nc("@title:window", "SFTP Only for a Group")) : QString();
            if (!criteria.isEmpty()) {
                Q_EMIT requested(sftpRecipe(ConditionalCriteria::parse(Server, criteria).constFirst().second));
            }
        });
        menu->addAction(i18nc("@action:inmenu", "Passwords Only from These Addresses…"), this, [this] {
            const QString criteria = mayLeaveBody()
                ? askCriteria(QStringLiteral("Address"), QStringLiteral("Address"), i18nc("@title:window", "Passwords Only from These Addresses"))
                : QString();
            if (!criteria.isEmpty()) {
                Q_EMIT requested(passwordRecipe(ConditionalCriteria::parse(Server, criteria).constFirst().second));
            }
        });
        menu->actions().at(1)->setObjectName(QStringLiteral("conditionalRecipeSftp"));
        menu->actions().at(2)->setObjectName(QStringLiteral("conditionalRecipePasswords"));
        m_add->setMenu(menu);
    } else {
        connect(m_add, &QPushButton::clicked, this, [this] {
            const QString criteria = mayLeaveBody() ? askCriteria(QString()) : QString();
            if (!criteria.isEmpty()) {
                Q_EMIT requested({QStringLiteral("add"), 0, criteria, {}, {}});
            }
        });
    }
    auto *buttons = new QVBoxLayout;
    for (QPushButton *each : {m_add, m_criteria, m_remove, m_up, m_down}) {
        buttons->addWidget(each);
    }
    buttons->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(buttons);

    auto *bodyBox = new QGroupBox(i18nc("@title:group", "Settings of the Selected Block"), this);
    auto *bodyLayout = new QVBoxLayout(bodyBox);
    m_body->setParent(bodyBox);
    m_save->setParent(bodyBox);
    bodyLayout->addWidget(m_body, 1);
    auto *saveRow = new QHBoxLayout;
    saveRow->addStretch();
    saveRow->addWidget(m_save);
    bodyLayout->addLayout(saveRow);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(top);
    layout->addWidget(bodyBox, 1);
    if (type == Server) {
        createTestPanel(this);
    }

    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current, QTreeWidgetItem *previous) {
        // The body's edits are not lost to a click on another block.
        if (previous && !m_body->changes().isEmpty() && !mayLeaveBody(m_list->indexOfTopLevelItem(previous) + 1, m_list->indexOfTopLevelItem(current) + 1)) {
            const QSignalBlocker blocker(m_list);
            m_list->setCurrentItem(previous);
            return;
        }
        showCurrentBlock();
    });
    // Enter or a double click on a block edits its criteria.
    connect(m_list, &QTreeWidget::itemActivated, m_criteria, &QPushButton::click);
    connect(this, &ConditionalArea::requested, this, [this](const Request &request) {
        m_added = request.operation == QLatin1String("add") ? request.criteria : QString();
        m_bodySent = request.operation.isEmpty();
    });
    connect(m_body, &AllSettingsView::changed, this, &ConditionalArea::updateButtons);
    connect(m_criteria, &QPushButton::clicked, this, [this] {
        const QString criteria = askCriteria(currentBlock().value(Reply::BlockEntryCriteria).toString());
        if (!criteria.isEmpty()) {
            Q_EMIT requested({QStringLiteral("criteria"), currentIndex(), criteria, {}, {}});
        }
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (!mayLeaveBody()) {
            return;
        }
        // The server's review shows what goes; the client's change is written at once.
        if (m_type == Client
            && QMessageBox::question(this,
                                     i18nc("@title:window", "Remove Block"),
                                     i18nc("@info", "Remove the block “%1” and its settings?", currentBlock().value(Reply::BlockEntryCriteria).toString()))
                != QMessageBox::Yes) {
            return;
        }
        Q_EMIT requested({QStringLiteral("remove"), currentIndex(), {}, {}, {}});
    });
    connect(m_up, &QPushButton::clicked, this, [this] {
        Q_EMIT requested({QStringLiteral("up"), currentIndex(), {}, {}, {}});
    });
    connect(m_down, &QPushButton::clicked, this, [this] {
        Q_EMIT requested({QStringLiteral("down"), currentIndex(), {}, {}, {}});
    });
    connect(m_save, &QPushButton::clicked, this, [this] {
        Q_EMIT requested({QString(), currentIndex(), {}, m_body->changes(), {}});
    });
    updateButtons();
}

void ConditionalArea::createTestPanel(QWidget *parent)
{
    auto *panel = new QGroupBox(i18nc("@title:group", "Test a Connection"), parent);
    panel->setObjectName(QStringLiteral("conditionalTestPanel"));
    m_testUser = new QLineEdit(panel);
    m_testUser->setObjectName(QStringLiteral("conditionalTestUser"));
    m_testUser->setPlaceholderText(i18nc("@info:placeholder", "User name"));
    m_testAddress = new QLineEdit(panel);
    m_testAddress->setObjectName(QStringLiteral("conditionalTestAddress"));
    m_testAddress->setPlaceholderText(i18nc("@info:placeholder", "e.g. 192.0.2.7"));
    m_testHost = new QLineEdit(panel);
    m_testHost->setObjectName(QStringLiteral("conditionalTestHost"));
    m_testHost->setPlaceholderText(i18nc("@info:placeholder", "Optional"));
    m_test = button("system-run", i18nc("@action:button", "Test"), "conditionalTest", panel);
    m_verdict = new QLabel(panel);
    m_verdict->setObjectName(QStringLiteral("conditionalVerdict"));
    m_verdict->setWordWrap(true);
    m_applied = new QLabel(panel);
    m_applied->setObjectName(QStringLiteral("conditionalApplied"));
    m_applied->setWordWrap(true);
    m_effective = new QTreeWidget(panel);
    m_effective->setObjectName(QStringLiteral("conditionalEffective"));
    m_effective->setRootIsDecorated(false);
    m_effective->setHeaderLabels({i18nc("@title:column", "Keyword"),
                                  i18nc("@title:column", "For this connection"),
                                  i18nc("@title:column", "Outside blocks"),
                                  i18nc("@title:column", "Set in")});
    m_effective->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_effective->header()->setStretchLastSection(true);
    m_effective->setMinimumHeight(m_effective->fontMetrics().height() * 6);
    m_effective->setToolTip(i18nc("@info:tooltip", "The values this connection gets that differ from those outside the blocks"));
    m_effective->hide();

    auto *form = new QHBoxLayout;
    auto *user = new QLabel(i18nc("@label:textbox", "&User:"), panel);
    user->setBuddy(m_testUser);
    auto *address = new QLabel(i18nc("@label:textbox", "From &address:"), panel);
    address->setBuddy(m_testAddress);
    auto *host = new QLabel(i18nc("@label:textbox", "Host &name:"), panel);
    host->setBuddy(m_testHost);
    for (QWidget *each : {static_cast<QWidget *>(user),
                          static_cast<QWidget *>(m_testUser),
                          static_cast<QWidget *>(address),
                          static_cast<QWidget *>(m_testAddress),
                          static_cast<QWidget *>(host),
                          static_cast<QWidget *>(m_testHost),
                          static_cast<QWidget *>(m_test)}) {
        form->addWidget(each);
    }
    auto *layout = new QVBoxLayout(panel);
    layout->addLayout(form);
    layout->addWidget(m_verdict);
    layout->addWidget(m_applied);
    layout->addWidget(m_effective, 1);
    static_cast<QVBoxLayout *>(this->layout())->addWidget(panel);

    auto ready = [this] {
        m_test->setEnabled(!m_testUser->text().trimmed().isEmpty() && !QHostAddress(m_testAddress->text().trimmed()).isNull());
    };
    connect(m_testUser, &QLineEdit::textChanged, this, ready);
    connect(m_testAddress, &QLineEdit::textChanged, this, ready);
    for (QLineEdit *field : {m_testUser, m_testAddress, m_testHost}) {
        connect(field, &QLineEdit::returnPressed, m_test, &QPushButton::click);
    }
    connect(m_test, &QPushButton::clicked, this, [this] {
        if (m_test->isEnabled()) {
            Q_EMIT testRequested(m_testUser->text().trimmed(), m_testAddress->text().trimmed(), m_testHost->text().trimmed());
        }
    });
    ready();
}

void ConditionalArea::setBlocks(const QVariantList &blocks)
{
    // The selection follows the block it was on (moved, its criteria or its lines' places changed), or stays at its place.
    const QVariantMap selected = currentBlock();
    const int before = currentIndex();
    const int next = std::exchange(m_next, 0);
    m_blocks = blocks;
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    QTreeWidgetItem *current = nullptr;
    bool followed = false; // the block the body's edits were made on
    for (int i = 0; i < blocks.size(); ++i) {
        const QVariantMap block = blocks.at(i).toMap();
        const QString criteria = block.value(Reply::BlockEntryCriteria).toString();
        auto *item = new QTreeWidgetItem(m_list,
                                         {ConditionalCriteria::inWords(m_type, criteria),
                                          criteria,
                                          place(block, false),
                                          QString::number(block.value(Reply::BlockEntryValues).toMap().size())});
        item->setToolTip(2, place(block, true));
        item->setToolTip(0, criteria);
        const bool same = !selected.isEmpty() && block.value(Reply::BlockEntryValues) == selected.value(Reply::BlockEntryValues)
            && (criteria == selected.value(Reply::BlockEntryCriteria).toString() || i + 1 == before);
        if ((same && !followed) || (!current && i + 1 == before)) {
            current = item;
            followed = same;
        }
    }
    // A block just added is the last with its criteria.
    const QString criteria = std::exchange(m_added, QString());
    const auto added = criteria.isEmpty() ? QList<QTreeWidgetItem *>() : m_list->findItems(criteria, Qt::MatchFixedString | Qt::MatchCaseSensitive, 1);
    if (!added.isEmpty()) {
        current = added.constLast();
        followed = false;
    }
    // The block chosen when the edits of another were applied first.
    if (next > 0 && next <= m_list->topLevelItemCount() && m_body->changes().isEmpty()) {
        current = m_list->topLevelItem(next - 1);
    }
    if (!current && m_list->topLevelItemCount() > 0) {
        current = m_list->topLevelItem(std::min(std::max(before, 1), m_list->topLevelItemCount()) - 1);
    }
    m_list->setCurrentItem(current);
    // Edits of a body that was not written (a review cancelled) stay for another try, on their block.
    if (m_body->changes().isEmpty() || !followed) {
        showCurrentBlock();
    } else {
        updateButtons();
    }
}

void ConditionalArea::requestWritten()
{
    if (std::exchange(m_bodySent, false)) {
        m_body->discardChanges();
    }
}

bool ConditionalArea::mayLeaveBody(int from, int to)
{
    if (m_body->changes().isEmpty()) {
        return true;
    }
    from = from > 0 ? from : currentIndex();
    const QString criteria = m_blocks.value(from - 1).toMap().value(Reply::BlockEntryCriteria).toString();
    QMessageBox box(QMessageBox::Question,
                    i18nc("@title:window", "Settings Not Applied"),
                    i18nc("@info", "The settings of the block “%1” were changed but not applied.", ConditionalCriteria::inWords(m_type, criteria)),
                    QMessageBox::NoButton,
                    this);
    QPushButton *apply = box.addButton(i18nc("@action:button", "Apply to Block"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(i18nc("@action:button", "Discard"), QMessageBox::DestructiveRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    if (box.clickedButton() == discard) {
        m_body->discardChanges();
        return true;
    }
    if (box.clickedButton() == apply) {
        // Once written, the block asked for is shown.
        Q_EMIT requested({QString(), from, {}, m_body->changes(), {}});
        m_next = to;
    }
    return false;
}

void ConditionalArea::setGlobalValues(const QVariantMap &reply)
{
    m_global = reply;
    // Edits of the body wait for "Apply to Block", whatever else is applied meanwhile.
    if (m_body->changes().isEmpty()) {
        showCurrentBlock();
    }
}

int ConditionalArea::currentIndex() const
{
    QTreeWidgetItem *item = m_list->currentItem();
    return item ? m_list->indexOfTopLevelItem(item) + 1 : 0;
}

QVariantMap ConditionalArea::currentBlock() const
{
    const int index = currentIndex();
    return index > 0 && index <= m_blocks.size() ? m_blocks.at(index - 1).toMap() : QVariantMap();
}

void ConditionalArea::showCurrentBlock()
{
    m_body->setBlockValues(currentBlock().value(Reply::BlockEntryValues).toMap(), m_global);
    m_body->setEnabled(currentIndex() > 0);
    updateButtons();
}

void ConditionalArea::updateButtons()
{
    const int index = currentIndex();
    m_criteria->setEnabled(index > 0);
    m_remove->setEnabled(index > 0);
    m_up->setEnabled(index > 1);
    m_down->setEnabled(index > 0 && index < m_blocks.size());
    m_save->setEnabled(index > 0 && !m_body->changes().isEmpty());
}

QString ConditionalArea::askCriteria(const QString &criteria, const QString &only, const QString &title)
{
    ConditionalCriteriaDialog dialog(m_type, criteria, this, only);
    if (!title.isEmpty()) {
        dialog.setWindowTitle(title);
    }
    return dialog.exec() == QDialog::Accepted ? dialog.criteria() : QString();
}

void ConditionalArea::showEffective(const QVariantMap &reply)
{
    const QVariantMap verdict = reply.value(Reply::Verdict).toMap();
    const QString user = m_testUser->text().trimmed();
    const QString address = m_testAddress->text().trimmed();
    const QString separator = i18nc("@item separator of a list of values", ", ");
    QStringList reasons;
    for (const QString &reason : verdict.value(Reply::VerdictReasons).toStringList()) {
        reasons.append(verdictReason(reason));
    }
    m_verdict->setText(
        verdict.value(Reply::VerdictCanLogIn).toBool()
            ? i18nc("@info %1 user, %2 address, %3 methods",
                    "%1 can log in from %2, with: %3.",
                    user,
                    address,
                    verdict.value(Reply::VerdictMethods).toStringList().join(separator))
            : i18nc("@info %1 user, %2 address, %3 reasons", "%1 cannot log in from %2: %3.", user, address, reasons.join(QStringLiteral("; "))));
    QStringList applied;
    for (const QVariant &entry : reply.value(Reply::AppliedBlocks).toList()) {
        const QVariantMap block = entry.toMap();
        applied.append(i18nc("@item who a block applies to, and where it is",
                             "%1 (%2)",
                             ConditionalCriteria::inWords(m_type, block.value(Reply::BlockEntryCriteria).toString()),
                             place(block, false)));
    }
    m_applied->setText(applied.isEmpty() ? i18nc("@info", "No block applies to this connection.")
                                         : i18nc("@info %1 a list of blocks", "Blocks that apply: %1", applied.join(QStringLiteral("; "))));
    // The values this connection gets otherwise than the others.
    m_effective->clear();
    const QVariantMap origins = reply.value(Reply::Origins).toMap();
    const auto type = m_type == Client ? OptionCatalog::ConfigType::Client : OptionCatalog::ConfigType::Server;
    for (auto it = reply.cbegin(); it != reply.cend(); ++it) {
        const OptionCatalog::Option *option = OptionCatalog::findOption(type, it.key());
        const QString value = valueText(it.value());
        const QString global = valueText(m_global.value(it.key()));
        if (!option || it.key() != option->keyword.toLower() || value == global) {
            continue;
        }
        const QVariantMap origin = origins.value(it.key()).toMap();
        const QString file = origin.value(Reply::OriginFile).toString();
        auto *item = new QTreeWidgetItem(
            m_effective,
            {option->keyword,
             value,
             global,
             file.isEmpty() ? QString() : QStringLiteral("%1:%2").arg(QFileInfo(file).fileName()).arg(origin.value(Reply::OriginLine).toInt())});
        item->setToolTip(3, file);
    }
    m_effective->setVisible(m_effective->topLevelItemCount() > 0);
}

QString ConditionalArea::verdictReason(const QString &reason)
{
    const int colon = reason.indexOf(QLatin1Char(':'));
    const QString kind = colon < 0 ? QString() : reason.left(colon);
    const QString detail = reason.mid(colon + 1);
    if (kind == QLatin1String("access")) {
        return i18nc("@info why a user cannot log in, %1 a rule such as DenyUsers bob", "“%1” refuses this user", detail);
    }
    if (kind == QLatin1String("authentication")) {
        return i18nc("@info why a user cannot log in, %1 the keyword concerned", "neither a password nor an authorized key is left to this user (%1)", detail);
    }
    if (kind == QLatin1String("listening")) {
        const int blank = detail.lastIndexOf(QLatin1String(" port "));
        const QString socket = blank < 0 ? detail : i18nc("%1 address, %2 port", "%1 port %2", detail.left(blank), detail.mid(blank + 6));
        return i18nc("@info why a user cannot log in, %1 an address and port", "the server does not listen on %1", socket);
    }
    if (kind == QLatin1String("account")) {
        return i18nc("@info why a user cannot log in, %1 a user name", "there is no account “%1”", detail);
    }
    return reason; // a kind this page does not know yet: as the helper wrote it
}

void ConditionalArea::showTestFailure(const QString &reason)
{
    m_verdict->setText(i18nc("@info", "The connection could not be tested: %1", reason));
    m_applied->clear();
    m_effective->clear();
    m_effective->hide();
}

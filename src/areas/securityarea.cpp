// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "securityarea.h"
#include "viewcolumns.h"

#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Arg = SSHSettings::Protocol::Arg;
namespace Reply = SSHSettings::Protocol::Reply;

namespace
{
constexpr int IndexRole = Qt::UserRole; // a finding's or host key's place in the list read

QPushButton *button(const char *icon, const QString &text, const char *name, QWidget *parent)
{
    auto *result = new QPushButton(QIcon::fromTheme(QLatin1String(icon)), text, parent);
    result->setObjectName(QLatin1String(name));
    return result;
}

QIcon severityIcon(const QString &severity, const QStyle *style)
{
    if (severity == QLatin1String("fail")) {
        return QIcon::fromTheme(QStringLiteral("dialog-error"), style->standardIcon(QStyle::SP_MessageBoxCritical));
    }
    if (severity == QLatin1String("warn")) {
        return QIcon::fromTheme(QStringLiteral("dialog-warning"), style->standardIcon(QStyle::SP_MessageBoxWarning));
    }
    return QIcon::fromTheme(QStringLiteral("dialog-information"), style->standardIcon(QStyle::SP_MessageBoxInformation));
}

QString severityText(const QString &severity)
{
    if (severity == QLatin1String("fail")) {
        return i18nc("@info severity of a finding", "Failure");
    }
    return severity == QLatin1String("warn") ? i18nc("@info severity of a finding", "Warning") : i18nc("@info severity of a finding", "Note");
}

QString kindTitle(SecurityArea::Kind kind)
{
    switch (kind) {
    case SecurityArea::Kind::Algorithms:
        return i18nc("@title group of findings", "Algorithms");
    case SecurityArea::Kind::HostKeys:
        return i18nc("@title group of findings", "Host keys");
    case SecurityArea::Kind::Moduli:
        return i18nc("@title group of findings", "Moduli");
    case SecurityArea::Kind::Options:
        break;
    }
    return i18nc("@title group of findings", "Options");
}

// A fix of these replaces or removes a host key: clients see another one.
bool changesHostKey(const QVariantMap &finding)
{
    const QString id = finding.value(Reply::FindingId).toString();
    return SecurityArea::kindOf(finding) == SecurityArea::Kind::HostKeys && id != QLatin1String("hostkey-permissions")
        && id != QLatin1String("hostkey-missing");
}

QString newKeyWarning()
{
    return i18nc("@info", "Clients that have connected before will see a new host key for this server.");
}

bool usable(const QVariantMap &key)
{
    return key.value(Reply::HostKeyEntryConfigured).toBool() && key.value(Reply::HostKeyEntryPresent).toBool();
}
}

SecurityArea::SecurityArea(QWidget *parent)
    : QWidget(parent)
    , m_summary(new QLabel(this))
    , m_view(new QTreeWidget(this))
    , m_fix(button("tools-wizard", i18nc("@action:button fix the selected finding", "Fix…"), "securityFix", this))
    , m_fixAll(button("security-high", i18nc("@action:button", "Fix All Safe Findings…"), "securityFixAll", this))
    , m_keys(new QTreeWidget(this))
    , m_generate(button("list-add", i18nc("@action:button a new host key", "Generate"), "hostKeysGenerate", this))
    , m_remove(button("list-remove", i18nc("@action:button a host key", "Remove…"), "hostKeysRemove", this))
{
    m_summary->setObjectName(QStringLiteral("securitySummary"));
    m_summary->setWordWrap(true);
    m_summary->setText(i18nc("@info", "The configuration is checked when this tab is shown."));
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);
    auto *intro = new QLabel(i18nc("@info",
                                   "What the SSH server really uses, checked against current advice. Each fix is reviewed before it is "
                                   "written and can be reverted."),
                             this);
    intro->setWordWrap(true);

    m_view->setObjectName(QStringLiteral("securityFindings"));
    m_view->setAccessibleName(i18nc("@info:accessible", "Findings"));
    m_view->setAllColumnsShowFocus(true);
    m_view->setHeaderLabels({i18nc("@title:column keyword, file or algorithm", "Finding"),
                             i18nc("@title:column", "In force → Recommended"),
                             i18nc("@title:column", "Set in"),
                             i18nc("@title:column", "Why")});
    ViewColumns::fitToWidth(m_view, {30, 25, 20}); // the reasons stay in sight; long lists of algorithms are in tool tips
    m_view->setMinimumHeight(m_view->fontMetrics().height() * 10);
    m_view->setToolTip(i18nc("@info:tooltip", "The findings, failures first; Enter fixes the selected one"));

    auto *fixRow = new QHBoxLayout;
    fixRow->addWidget(m_fix);
    fixRow->addWidget(m_fixAll);
    fixRow->addStretch();
    m_fix->setToolTip(i18nc("@info:tooltip", "Fix the selected finding, after a review of what changes"));
    m_fixAll->setToolTip(i18nc("@info:tooltip", "Fix every finding that cannot lock your session out; the others are listed"));

    auto *keysBox = new QGroupBox(i18nc("@title:group", "Host Keys"), this);
    m_keys->setParent(keysBox);
    m_generate->setParent(keysBox);
    m_remove->setParent(keysBox);
    m_keys->setObjectName(QStringLiteral("hostKeysView"));
    m_keys->setAccessibleName(i18nc("@info:accessible", "Host keys"));
    m_keys->setRootIsDecorated(false);
    m_keys->setAllColumnsShowFocus(true);
    m_keys->setHeaderLabels({i18nc("@title:column", "Type"),
                             i18nc("@title:column key size", "Size"),
                             i18nc("@title:column", "SHA-256 Fingerprint"),
                             i18nc("@title:column", "File"),
                             i18nc("@title:column file permissions", "Mode")});
    ViewColumns::fitToWidth(m_keys, {15, 10, 50, 25});
    m_keys->setMinimumHeight(m_keys->fontMetrics().height() * 6);
    auto *menu = new QMenu(m_generate);
    menu->addAction(i18nc("@action:inmenu", "Ed25519 (Recommended)"), this, [this] {
        generate(QStringLiteral("ed25519"), 0);
    });
    menu->addAction(i18nc("@action:inmenu", "RSA, 4096 Bits"), this, [this] {
        generate(QStringLiteral("rsa"), 4096);
    });
    menu->actions().at(0)->setObjectName(QStringLiteral("hostKeysGenerateEd25519"));
    menu->actions().at(1)->setObjectName(QStringLiteral("hostKeysGenerateRsa"));
    m_generate->setMenu(menu);
    m_generate->setToolTip(i18nc("@info:tooltip", "Make a new host key and have the server use it"));
    m_remove->setToolTip(i18nc("@info:tooltip", "Stop using the selected host key; the last one cannot be removed"));
    auto *keyButtons = new QVBoxLayout;
    keyButtons->addWidget(m_generate);
    keyButtons->addWidget(m_remove);
    keyButtons->addStretch();
    auto *keysLayout = new QHBoxLayout(keysBox);
    keysLayout->addWidget(m_keys, 1);
    keysLayout->addLayout(keyButtons);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_summary);
    layout->addWidget(m_view, 2);
    layout->addLayout(fixRow);
    layout->addWidget(keysBox, 1);

    connect(m_view, &QTreeWidget::currentItemChanged, this, &SecurityArea::updateButtons);
    connect(m_keys, &QTreeWidget::currentItemChanged, this, &SecurityArea::updateButtons);
    connect(m_view, &QTreeWidget::itemActivated, m_fix, &QPushButton::click);
    connect(m_fix, &QPushButton::clicked, this, [this] {
        const QVariantMap finding = currentFinding();
        if (finding.value(Reply::FindingFixable).toBool()) {
            Q_EMIT requested({{Arg::AuditFix, QStringList{finding.value(Reply::FindingId).toString()}}}, changesHostKey(finding) ? newKeyWarning() : QString());
        }
    });
    connect(m_fixAll, &QPushButton::clicked, this, [this] {
        const bool hostKey = std::any_of(m_findings.cbegin(), m_findings.cend(), [](const QVariant &finding) {
            return finding.toMap().value(Reply::FindingFixable).toBool() && changesHostKey(finding.toMap());
        });
        Q_EMIT requested({{Arg::AuditFixAll, true}}, hostKey ? newKeyWarning() : QString());
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        const QVariantMap key = currentHostKey();
        if (!m_remove->isEnabled() || key.isEmpty()) {
            return;
        }
        Q_EMIT requested({{Arg::HostKeyOperation, QStringLiteral("remove")}, {Arg::HostKeyFile, key.value(Reply::HostKeyEntryFile).toString()}},
                         i18nc("@info %1 a fingerprint",
                               "Clients that know this server by the key %1 will see another host key for it.",
                               key.value(Reply::HostKeyEntryFingerprint).toString()));
    });
    updateButtons();
}

void SecurityArea::generate(const QString &type, int bits)
{
    SSHSettings::ActionArguments arguments{{Arg::HostKeyOperation, QStringLiteral("generate")}, {Arg::HostKeyType, type}};
    if (bits > 0) {
        arguments << qMakePair(QString(Arg::HostKeyBits), QVariant(bits));
    }
    Q_EMIT requested(arguments, newKeyWarning());
}

SecurityArea::Kind SecurityArea::kindOf(const QVariantMap &finding)
{
    const AuditChecks::Check *check = AuditChecks::find(finding.value(Reply::FindingId).toString());
    return check ? check->group : Kind::Options;
}

QString SecurityArea::originText(const QVariantMap &finding)
{
    const QString origin = finding.value(Reply::FindingOrigin).toString();
    const QString where = origin.isEmpty() || origin == QLatin1String("default") ? i18nc("@item where a value comes from", "default") : origin;
    const QString block = finding.value(Reply::FindingBlock).toString();
    return block.isEmpty() ? where : i18nc("@item %1 where, %2 the criteria of a Match block", "%1, in “Match %2”", where, block);
}

QString SecurityArea::summary(const QVariantList &findings)
{
    int failures = 0;
    int warnings = 0;
    int notes = 0;
    for (const QVariant &finding : findings) {
        const QString severity = finding.toMap().value(Reply::FindingSeverity).toString();
        ++(severity == QLatin1String("fail") ? failures : severity == QLatin1String("warn") ? warnings : notes);
    }
    QStringList parts;
    if (failures > 0) {
        parts.append(i18ncp("@info", "%1 failure", "%1 failures", failures));
    }
    if (warnings > 0) {
        parts.append(i18ncp("@info", "%1 warning", "%1 warnings", warnings));
    }
    if (notes > 0) {
        parts.append(i18ncp("@info", "%1 note", "%1 notes", notes));
    }
    return parts.isEmpty() ? i18nc("@info", "Nothing to improve was found.") : parts.join(i18nc("@item separator of a list of counts", ", "));
}

void SecurityArea::setFindings(const QVariantList &findings)
{
    const QVariantMap selected = currentFinding();
    m_findings = findings;
    m_summary->setText(summary(findings));
    const QSignalBlocker blocker(m_view);
    m_view->clear();
    QTreeWidgetItem *current = nullptr;
    QTreeWidgetItem *first = nullptr;
    for (const Kind kind : {Kind::Algorithms, Kind::HostKeys, Kind::Moduli, Kind::Options}) {
        QTreeWidgetItem *group = nullptr;
        for (int i = 0; i < findings.size(); ++i) {
            const QVariantMap finding = findings.at(i).toMap();
            if (kindOf(finding) != kind) {
                continue;
            }
            if (!group) {
                group = new QTreeWidgetItem(m_view, {kindTitle(kind)});
                group->setFirstColumnSpanned(true);
                group->setFlags(Qt::ItemIsEnabled);
                QFont font = group->font(0);
                font.setBold(true);
                group->setFont(0, font);
            }
            const QString severity = finding.value(Reply::FindingSeverity).toString();
            const QString reason = AuditChecks::reason(finding.value(Reply::FindingId).toString());
            const QString change = i18nc("@item the value in force → the recommended one",
                                         "%1 → %2",
                                         finding.value(Reply::FindingCurrent).toString(),
                                         finding.value(Reply::FindingRecommended).toString());
            auto *item = new QTreeWidgetItem(group,
                                             {finding.value(Reply::FindingSubject).toString(),
                                              change,
                                              originText(finding),
                                              reason.isEmpty() ? QString() : i18n(reason.toUtf8().constData())});
            item->setData(0, IndexRole, i);
            item->setIcon(0, severityIcon(severity, style()));
            item->setToolTip(0, i18nc("@info:tooltip %1 severity, %2 check id", "%1 (%2)", severityText(severity), finding.value(Reply::FindingId).toString()));
            item->setData(0, Qt::AccessibleDescriptionRole, severityText(severity));
            for (int column = 1; column < 4; ++column) {
                item->setToolTip(column, item->text(column));
            }
            first = first ? first : item;
            if (!current && finding == selected) {
                current = item;
            }
        }
    }
    m_view->expandAll();
    m_view->setCurrentItem(current ? current : first);
    updateButtons();
}

void SecurityArea::setHostKeys(const QVariantList &keys)
{
    const QString selected = currentHostKey().value(Reply::HostKeyEntryFile).toString();
    m_hostKeys = keys;
    const QSignalBlocker blocker(m_keys);
    m_keys->clear();
    QTreeWidgetItem *current = nullptr;
    for (int i = 0; i < keys.size(); ++i) {
        const QVariantMap key = keys.at(i).toMap();
        const bool present = key.value(Reply::HostKeyEntryPresent).toBool();
        const QString mode = present ? QStringLiteral("%1").arg(key.value(Reply::HostKeyEntryMode).toInt(), 4, 8, QLatin1Char('0'))
                                     : i18nc("@item a host key file that does not exist", "missing");
        auto *item = new QTreeWidgetItem(m_keys,
                                         {key.value(Reply::HostKeyEntryType).toString(),
                                          present ? QString::number(key.value(Reply::HostKeyEntryBits).toInt()) : QString(),
                                          key.value(Reply::HostKeyEntryFingerprint).toString(),
                                          key.value(Reply::HostKeyEntryFile).toString(),
                                          mode});
        item->setData(0, IndexRole, i);
        if (!key.value(Reply::HostKeyEntryConfigured).toBool()) {
            item->setToolTip(3, i18nc("@info:tooltip", "Not used: no HostKey line names this key"));
            item->setForeground(3, palette().brush(QPalette::Disabled, QPalette::Text));
        }
        if (key.value(Reply::HostKeyEntryFile).toString() == selected) {
            current = item;
        }
    }
    m_keys->setCurrentItem(current ? current : m_keys->topLevelItem(0));
    updateButtons();
}

void SecurityArea::showReadFailure(const QString &reason)
{
    m_findings.clear();
    m_view->clear();
    m_summary->setText(i18nc("@info", "The configuration could not be checked: %1", reason));
    updateButtons();
}

QVariantMap SecurityArea::currentFinding() const
{
    const QTreeWidgetItem *item = m_view->currentItem();
    const QVariant index = item ? item->data(0, IndexRole) : QVariant();
    return index.isValid() && index.toInt() < m_findings.size() ? m_findings.at(index.toInt()).toMap() : QVariantMap();
}

QVariantMap SecurityArea::currentHostKey() const
{
    const QTreeWidgetItem *item = m_keys->currentItem();
    const QVariant index = item ? item->data(0, IndexRole) : QVariant();
    return index.isValid() && index.toInt() < m_hostKeys.size() ? m_hostKeys.at(index.toInt()).toMap() : QVariantMap();
}

void SecurityArea::updateButtons()
{
    m_fix->setEnabled(currentFinding().value(Reply::FindingFixable).toBool());
    m_fixAll->setEnabled(std::any_of(m_findings.cbegin(), m_findings.cend(), [](const QVariant &finding) {
        return finding.toMap().value(Reply::FindingFixable).toBool();
    }));
    // The server needs a host key: the last usable one stays.
    const QVariantMap key = currentHostKey();
    const auto usableKeys = std::count_if(m_hostKeys.cbegin(), m_hostKeys.cend(), [](const QVariant &each) {
        return usable(each.toMap());
    });
    m_remove->setEnabled(!key.isEmpty() && (!usable(key) || usableKeys > 1));
}

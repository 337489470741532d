// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The page's layout: the option areas in their tabs, aligned as forms, with the origin of each value under it.
#include "module_debug.h"
#include "sshmodule.h"
#include "ui_SSHModule.h"

#include "abstractoptionarea.h"
#include "addressfamilyarea.h"
#include "allsettingsarea.h"
#include "formaccessibility.h"
#include "messagesmanager.h"
#include "optionareafactory.h"
#include "originnote.h"
#include "securityarea.h"
#include "sshconnectionsarea.h"
#include "sshsettingsprotocol.h"
#include "usergroupaccessarea.h"

#include <KLocalizedString>

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

void SSHModule::createOptionAreas()
{
    const QList<SSHOption> options = SSHOption::pageOptions();
    for (const SSHOption &option : options) {
        if (AbstractOptionArea *area = createOptionArea(option, widget())) {
            m_areas.append(area);
            connect(area, &AbstractOptionArea::modify, this, &SSHModule::handlerChangeTrigger);
        }
    }
    configureLayoutWidgets();
    // Every keyword of each configuration, in a tab of its own; its edits go into the same Apply.
    for (const auto &[type, layout] : {std::pair{Server, ui->vboxAllSettings}, std::pair{Client, ui->vboxClientAllSettings}}) {
        auto *allSettings = new AllSettingsArea(type, widget());
        m_areas.append(allSettings);
        connect(allSettings, &AbstractOptionArea::modify, this, &SSHModule::handlerChangeTrigger);
        layout->addWidget(allSettings);
    }
    // The address-family check asks the listen-address area for the list it shows at the time.
    auto *family = qobject_cast<AddressFamilyArea *>(area(Server, QStringLiteral("AddressFamily")));
    AbstractOptionArea *listen = area(Server, QStringLiteral("ListenAddress"));
    if (family && listen) {
        family->setAddressSource([listen] {
            return listen->value().toStringList();
        });
    }
}

AbstractOptionArea *SSHModule::area(SSHConfigurationTypeId type, const QString &keyword) const
{
    for (AbstractOptionArea *area : m_areas) {
        if (area->option().type == type && area->option().keywords.contains(keyword)) {
            return area;
        }
    }
    return nullptr;
}

void SSHModule::configureLayoutWidgets()
{
    addWidgetsToLayout(ui->vboxGeneral, PageTab::General);
    addWidgetsToLayout(ui->vboxAuth, PageTab::Authentication);
    addWidgetsToLayout(ui->vboxOther, PageTab::Other);
    addWidgetsToLayout(ui->vboxClientTab, PageTab::Client);
    for (QVBoxLayout *layout : {ui->vboxGeneral, ui->vboxAuth, ui->vboxOther, ui->vboxClientTab}) {
        alignFormColumns(layout);
    }
    // A scroll area around a form is no stop of its own: Tab goes to the fields, and the area follows them.
    for (QScrollArea *scroll : {ui->generalScroll, ui->authScroll, ui->otherScroll, ui->clientScroll}) {
        scroll->setFocusPolicy(Qt::NoFocus);
    }
    // Tab follows the screen (the Alt shortcuts are given once every tab is there: orderFrameFocus).
    FormAccessibility::orderTabsByLayout(ui->configureSwitcher->parentWidget());
}

void SSHModule::alignFormColumns(QVBoxLayout *layout) const
{
    QList<AbstractOptionArea *> areas;
    for (int i = 0; i < layout->count(); ++i) {
        // An area, or the row that holds an area and its origin note.
        QWidget *widget = layout->itemAt(i)->widget();
        auto *area = qobject_cast<AbstractOptionArea *>(widget);
        if (!area && widget) {
            area = widget->findChild<AbstractOptionArea *>(QString(), Qt::FindDirectChildrenOnly);
        }
        if (area) {
            areas.append(area);
        }
    }
    const auto noteOf = [](const AbstractOptionArea *area) {
        return area->parentWidget()->findChild<OriginNote *>(QString(), Qt::FindDirectChildrenOnly);
    };
    auto labelOf = [](const AbstractOptionArea *area) -> QLabel * {
        const auto labels = area->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        for (QLabel *label : labels) {
            if (label->objectName() == QLatin1String("label") || label->objectName() == QLatin1String("nameLabel")) {
                return label;
            }
        }
        return nullptr;
    };
    int column = 0;
    for (const AbstractOptionArea *area : std::as_const(areas)) {
        if (QLabel *label = labelOf(area)) {
            if (!label->text().endsWith(QLatin1Char(':'))) {
                label->setText(i18nc("@label a form label, %1 is its text", "%1:", label->text()));
            }
            column = std::max(column, label->sizeHint().width());
        }
    }
    const int spacing = ui->configureSwitcher->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    for (AbstractOptionArea *area : std::as_const(areas)) {
        QLayout *own = area->layout();
        if (!own) {
            continue;
        }
        const QMargins margins = own->contentsMargins();
        if (QLabel *label = labelOf(area)) {
            label->setFixedWidth(column);
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (!label->buddy()) {
                const auto fields = area->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
                for (QWidget *field : fields) {
                    if (field != label && (field->focusPolicy() & Qt::TabFocus)) {
                        label->setBuddy(field);
                        break;
                    }
                }
            }
            own->setContentsMargins(6, margins.top(), margins.right(), margins.bottom());
        } else if (area->findChild<QCheckBox *>(QStringLiteral("checkBox"), Qt::FindDirectChildrenOnly)) {
            own->setContentsMargins(6 + column + spacing, margins.top(), margins.right(), margins.bottom());
        }
        // The note starts where the field does (an indent: a frame's margins are the style's).
        if (OriginNote *note = noteOf(area)) {
            const bool formRow = labelOf(area) || area->findChild<QCheckBox *>(QStringLiteral("checkBox"), Qt::FindDirectChildrenOnly);
            note->setIndent(formRow ? 6 + column + spacing : 6);
        }
    }
}

void SSHModule::addWidgetsToLayout(QVBoxLayout *layout, PageTab tab)
{
    for (AbstractOptionArea *area : std::as_const(m_areas)) {
        if (area->option().tab != tab) {
            continue;
        }
        // Under each option, a note when its value comes from elsewhere than the main file.
        auto *row = new QWidget(widget());
        auto *rowLayout = new QVBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(0);
        rowLayout->addWidget(area->inflate());
        auto *note = new OriginNote(area, row);
        rowLayout->addWidget(note);
        m_originIndicators.insert(area, note);
        layout->addWidget(row);
    }
}

void SSHModule::stretchUiAndViewSwitch()
{
    // The client's fields are followed by its "All settings", which takes the rest of the page.
    for (QVBoxLayout *layout : {ui->vboxGeneral, ui->vboxAuth, ui->vboxOther}) {
        layout->addStretch();
    }
    connect(ui->comboBoxSshConfig, qOverload<int>(&QComboBox::currentIndexChanged), ui->configureSwitcher, &QStackedWidget::setCurrentIndex);
    // Shortcuts are given to what is shown: the page switched to gets its own.
    connect(ui->configureSwitcher, &QStackedWidget::currentChanged, this, &SSHModule::manageMnemonics);
}

void SSHModule::createConditionalAreas()
{
    // The list, a block's body and the test need more height than the smallest page has: the tab scrolls then.
    auto *scroll = new QScrollArea(widget());
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto *server = new ConditionalArea(Server, scroll);
    server->setMinimumHeight(server->fontMetrics().height() * 36);
    scroll->setWidget(server);
    ui->vboxConditional->setContentsMargins(0, 0, 0, 0);
    ui->vboxConditional->addWidget(scroll);
    auto *clientBox = new QGroupBox(i18nc("@title:group", "Conditional Settings (Host and Match Blocks)"), widget());
    auto *client = new ConditionalArea(Client, clientBox);
    (new QVBoxLayout(clientBox))->addWidget(client);
    client->setMinimumHeight(client->fontMetrics().height() * 30);
    ui->vboxClientAllSettings->addWidget(clientBox);
    m_conditionalAreas = {server, client};
    for (ConditionalArea *area : std::as_const(m_conditionalAreas)) {
        connect(area, &ConditionalArea::requested, this, [this, area](const ConditionalArea::Request &request) {
            runBlockRequest(area, request);
        });
    }
    connect(server, &ConditionalArea::testRequested, this, [this, server](const QString &user, const QString &address, const QString &host) {
        testConnection(server, user, address, host);
    });
    // The blocks are read when they are first looked at, and again each time.
    connect(ui->tabWidgetServer, &QTabWidget::currentChanged, server, [this, server] {
        readBlocks(server);
    });
    connect(ui->configureSwitcher, &QStackedWidget::currentChanged, this, [this] {
        for (ConditionalArea *area : std::as_const(m_conditionalAreas)) {
            readBlocks(area);
        }
        readAlgorithmsWhenShown();
    });
    connect(ui->tabWidgetServer, &QTabWidget::currentChanged, this, &SSHModule::readAlgorithmsWhenShown);
}

void SSHModule::readBlocks(ConditionalArea *area, bool always)
{
    const bool shown = area->type() == Server ? ui->configureSwitcher->currentIndex() == 0 && ui->tabWidgetServer->currentWidget() == ui->conditionalTab
                                              : ui->configureSwitcher->currentIndex() == 1;
    if (!m_manager || m_refused || !(shown || always)) {
        return;
    }
    // A read only refreshes the list: it keeps no other flow waiting.
    m_manager->readBlocks(area->type(), this, [this, area](const SSHSettings::ActionResult &result) {
        const QString id = area->type() == Server ? QStringLiteral("blocks_server") : QStringLiteral("blocks_client");
        if (result.ok) {
            messagesManager()->removeMessageById(id);
            area->setBlocks(result.data.value(SSHSettings::Protocol::Reply::Blocks).toList());
        } else {
            const QString reason = SSHSettings::failureReason(result);
            messagesManager()->newMessageById(id,
                                              area->type() == Server ? i18n("The blocks of the server settings could not be read: %1", reason)
                                                                     : i18n("The blocks of the client settings could not be read: %1", reason),
                                              KCMOS::Error);
        }
    });
}

void SSHModule::testConnection(ConditionalArea *area, const QString &user, const QString &address, const QString &host)
{
    beginFlow();
    m_manager->effective(user, address, host, this, [this, area](const SSHSettings::ActionResult &result) {
        result.ok ? area->showEffective(result.data) : area->showTestFailure(SSHSettings::failureReason(result));
        endFlow();
    });
}

void SSHModule::createSecurityArea()
{
    auto *scroll = new QScrollArea(widget());
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    m_security = new SecurityArea(scroll);
    m_security->setMinimumHeight(m_security->fontMetrics().height() * 30);
    scroll->setWidget(m_security);
    ui->vboxSecurity->setContentsMargins(0, 0, 0, 0);
    ui->vboxSecurity->addWidget(scroll);
    connect(m_security, &SecurityArea::requested, this, &SSHModule::runSecurityRequest);
    // The check runs sshd and reads every host key: only once the tab is looked at, not when the page opens.
    connect(ui->tabWidgetServer, &QTabWidget::currentChanged, this, &SSHModule::readSecurity);
    connect(ui->configureSwitcher, &QStackedWidget::currentChanged, this, &SSHModule::readSecurity);
}

void SSHModule::readSecurity()
{
    const bool shown = ui->configureSwitcher->currentIndex() == 0 && ui->tabWidgetServer->currentWidget() == ui->securityTab;
    if (!m_manager || !m_security || m_refused || !shown || !m_securityStale) {
        return;
    }
    m_securityStale = false;
    const auto answered = [this](const SSHSettings::ActionResult &result, const QString &key) {
        namespace Reply = SSHSettings::Protocol::Reply;
        if (!result.ok) {
            m_securityStale = true; // tried again when the tab is shown next
            m_security->showReadFailure(SSHSettings::failureReason(result));
        } else if (key == Reply::Findings) {
            m_security->setFindings(result.data.value(key).toList());
        } else {
            m_security->setHostKeys(result.data.value(key).toList());
        }
        endFlow();
    };
    beginFlow();
    m_manager->readAudit(this, [answered](const SSHSettings::ActionResult &result) {
        answered(result, SSHSettings::Protocol::Reply::Findings);
    });
    beginFlow();
    m_manager->readHostKeys(this, [answered](const SSHSettings::ActionResult &result) {
        answered(result, SSHSettings::Protocol::Reply::HostKeys);
    });
}

void SSHModule::showSkippedFixes(const QVariantList &skipped)
{
    namespace Reply = SSHSettings::Protocol::Reply;
    const QString id = QStringLiteral("security_skipped");
    if (skipped.isEmpty()) {
        messagesManager()->removeMessageById(id);
        return;
    }
    QStringList lines;
    for (const QVariant &entry : skipped) {
        lines.append(i18nc("@item %1 a check, %2 why its fix was left out",
                           "%1: %2",
                           entry.toMap().value(Reply::FindingId).toString().toHtmlEscaped(),
                           entry.toMap().value(Reply::SkippedReason).toString().toHtmlEscaped()));
    }
    messagesManager()->newMessageById(id,
                                      i18np("This fix was left out:", "These %1 fixes were left out:", skipped.size()) + QStringLiteral("<ul><li>")
                                          + lines.join(QStringLiteral("</li><li>")) + QStringLiteral("</li></ul>"),
                                      KCMOS::Warning);
}

void SSHModule::createConnectionsTab()
{
    auto *connectionsArea = new SSHConnectionsArea(messagesManager(), widget());
    ui->vboxConnections->addWidget(connectionsArea);
    connect(ui->tabWidgetServer, &QTabWidget::currentChanged, connectionsArea, [this, connectionsArea] {
        if (ui->tabWidgetServer->currentWidget() == ui->connectionsTab) {
            connectionsArea->updateData();
            connectionsArea->restoreAutoUpdate();
        } else {
            connectionsArea->disableAutoUpdate();
        }
    });
    auto *accessArea = qobject_cast<UserGroupAccessArea *>(area(Server, QStringLiteral("AllowUsers")));
    if (!accessArea) {
        qCWarning(SSHSETTINGS_MODULE) << "The access lists have no UserGroupAccessArea, cannot block IPs in SSHConnectionsArea";
        connectionsArea->disableBlockIpAction();
        return;
    }
    connect(connectionsArea, &SSHConnectionsArea::ipBlocked, accessArea, &UserGroupAccessArea::blockIp);
    connectionsArea->setDeniedCheck([accessArea](const QHostAddress &ip) {
        return SSHConnectionsArea::denyState(accessArea->option().values, accessArea->value(), ip);
    });
    connect(connectionsArea, &SSHConnectionsArea::focusOnAccessArea, accessArea, [this, accessArea] {
        ui->comboBoxSshConfig->setCurrentIndex(0);
        ui->tabWidgetServer->setCurrentWidget(ui->generalTab);
        accessArea->expandSettings();
    });
}

void SSHModule::updateOriginIndicators() const
{
    for (auto it = m_originIndicators.cbegin(); it != m_originIndicators.cend(); ++it) {
        const SSHOption &option = it.key()->option();
        QVariantMap origins;
        for (const QString &keyword : option.keywords) {
            origins.insert(keyword.toLower(), m_manager->origin(option.type, keyword));
        }
        it.value()->setOrigins(origins);
    }
}

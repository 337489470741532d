// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The settings form as a person meets it: where a value comes from, the labels' fields, and every tab at the smallest size.
#include "abstractoptionarea.h"
#include "fakeactionrunner.h"
#include "optionareafactory.h"
#include "originnote.h"
#include "serverstate.h"
#include "sshmodule.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"
#include "testfiles.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QToolButton>

namespace
{
namespace Arg = SSHSettings::Protocol::Arg;
namespace Reply = SSHSettings::Protocol::Reply;

struct RunningService : ServerState::StateSource {
    bool isEnabled() const override
    {
        return true;
    }
    bool isActive() const override
    {
        return true;
    }
};

/// The scroll bars a person would have to use sideways in @p tab, and the tab itself when its content is wider than it.
QStringList sidewaysScrolling(QWidget *tab)
{
    QStringList found;
    for (QAbstractScrollArea *area : tab->findChildren<QAbstractScrollArea *>()) {
        if (area->isVisible() && area->horizontalScrollBar()->isVisible()) {
            found.append(area->objectName().isEmpty() ? QString::fromLatin1(area->metaObject()->className()) : area->objectName());
        }
    }
    if (tab->minimumSizeHint().width() > tab->width()) {
        found.append(tab->objectName());
    }
    return found;
}

/// Where Tab stops in @p root on nothing a person can see take the focus: a scroll area around a form, a text without a link.
QStringList invisibleStops(QWidget *root)
{
    QStringList found;
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        auto *label = qobject_cast<QLabel *>(widget);
        const bool invisible = qobject_cast<QScrollArea *>(widget) || (label && !label->text().contains(QLatin1String("<a ")));
        if (invisible && widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy()) {
            found.append(QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(' ') + widget->objectName());
        }
    }
    return found;
}

/// The visible labels of a field (text ending in ':') in @p root without a buddy that takes the focus.
QStringList labelsWithoutField(QWidget *root)
{
    QStringList found;
    for (QLabel *label : root->findChildren<QLabel *>()) {
        const QString text = label->text();
        if (label->isVisible() && text.endsWith(QLatin1Char(':')) && (!label->buddy() || !(label->buddy()->focusPolicy() & Qt::TabFocus))) {
            found.append(text);
        }
    }
    return found;
}
}

class FormTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    RunningService m_service;

    QString mainFile() const
    {
        return SSHPaths::serverConfig();
    }
    QString dropIn() const
    {
        return m_root.filePath(QStringLiteral("etc/ssh/sshd_config.d/50-site.conf"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        SSHPaths::setRootForTesting(m_root.path());
        ServerState::setStateSourceForTesting(&m_service);
        QByteArray lines;
        for (int i = 1; i <= 30; ++i) {
            lines += "# line " + QByteArray::number(i) + '\n';
        }
        QVERIFY(TestFiles::write(mainFile(), lines));
        QVERIFY(TestFiles::write(dropIn(), lines));
    }

    void cleanupTestCase()
    {
        ServerState::setStateSourceForTesting(nullptr);
    }

    void originNote_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QVariantMap>("origins");
        QTest::addColumn<QString>("note"); // empty: no note
        QTest::addColumn<int>("firstLine"); // the line the note's first link shows
        QTest::addColumn<QString>("field"); // the part that says it to a screen reader
        const auto at = [this](const QString &file, int line, const QVariantList &overrides = {}) {
            return QVariantMap{{Reply::OriginFile, file},
                               {Reply::OriginLine, line},
                               {Reply::OriginOverrides, overrides},
                               {Reply::OriginMainFile, file == mainFile()}};
        };
        const QVariantList sftpBlock{
            QVariantMap{{Reply::OriginFile, mainFile()}, {Reply::OriginLine, 20}, {Reply::OriginMatch, QStringLiteral("Match Group sftponly")}}};
        // clang-format off
        QTest::newRow("from a drop-in") << "UseDNS" << QVariantMap{{QStringLiteral("usedns"), at(dropIn(), 3)}}
            << "Set in sshd_config.d/50-site.conf, line 3." << 3 << "QCheckBox";
        QTest::newRow("main file, overridden by a block") << "X11Forwarding" << QVariantMap{{QStringLiteral("x11forwarding"), at(mainFile(), 5, sftpBlock)}}
            << "Overridden for users in group sftponly (sshd_config, line 20)." << 20 << "QCheckBox";
        QTest::newRow("drop-in and a block") << "Port" << QVariantMap{{QStringLiteral("port"), at(dropIn(), 2, sftpBlock)}}
            << "Set in sshd_config.d/50-site.conf, line 2.\nOverridden for users in group sftponly (sshd_config, line 20)." << 2 << "QSpinBox";
        QTest::newRow("one of several keywords") << "AllowUsers" << QVariantMap{{QStringLiteral("denyusers"), at(dropIn(), 7)}}
            << "DenyUsers: Set in sshd_config.d/50-site.conf, line 7." << 7 << "QToolButton";
        QTest::newRow("main file only") << "PermitRootLogin" << QVariantMap{{QStringLiteral("permitrootlogin"), at(mainFile(), 1)}} << "" << 0 << "QCheckBox";
        QTest::newRow("built-in value") << "MaxSessions" << QVariantMap{{QStringLiteral("maxsessions"), at(QString(), 0)}} << "" << 0 << "QSpinBox";
        // clang-format on
    }

    void originNote()
    {
        QFETCH(QString, keyword);
        QFETCH(QVariantMap, origins);
        QFETCH(QString, note);
        QFETCH(int, firstLine);
        QFETCH(QString, field);
        QWidget row;
        std::unique_ptr<AbstractOptionArea> area(createOptionArea(SSHOption::pageOption(Server, keyword), &row));
        area->inflate();
        OriginNote shown(area.get(), &row);
        shown.setOrigins(origins);
        QCOMPARE(QTextDocumentFragment::fromHtml(shown.text()).toPlainText(), note);
        QCOMPARE(shown.isHidden(), note.isEmpty());
        // A screen reader hears the same with the field: what it does, then where its value comes from.
        const QString description = note.isEmpty() ? area->option().description : area->option().description + QLatin1Char(' ') + note;
        QCOMPARE(OriginNote::fieldOf(area.get())->accessibleDescription(), QString(description).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        QCOMPARE(QString::fromLatin1(OriginNote::fieldOf(area.get())->metaObject()->className()), field);
        if (note.isEmpty()) {
            return;
        }
        // The link takes the keyboard's focus and opens the file at its line, read-only.
        QVERIFY(shown.focusPolicy() & Qt::TabFocus);
        Q_EMIT shown.linkActivated(QStringLiteral("0"));
        auto *view = shown.findChild<QPlainTextEdit *>(QStringLiteral("originFile"));
        QVERIFY(view);
        QVERIFY(view->isReadOnly());
        QCOMPARE(view->textCursor().block().text(), QStringLiteral("# line %1").arg(firstLine));
        view->window()->close();
    }

    void tabsAtTheSmallestSize_data()
    {
        QTest::addColumn<QString>("tab");
        for (const char *tab : {"generalTab", "authTab", "otherTab", "allSettingsTab", "conditionalTab", "securityTab", "clientPage"}) {
            QTest::newRow(tab) << QString::fromLatin1(tab);
        }
    }

    void tabsAtTheSmallestSize()
    {
        QFETCH(QString, tab);
        FakeActionRunner helper;
        // Long keywords, long values, set in a drop-in: what makes a table wide.
        const QString longPath = m_root.filePath(QStringLiteral("etc/ssh/authorized_keys.d/%u/keys-managed-by-the-configuration-system"));
        const QVariantMap origin{{Reply::OriginFile, dropIn()}, {Reply::OriginLine, 4}, {Reply::OriginOverrides, QVariantList()}};
        const QVariantMap values{
            {QStringLiteral("port"), QStringLiteral("22")},
            {QStringLiteral("banner"), QStringLiteral("/etc/issue.net")},
            {QStringLiteral("authorizedkeysfile"), QStringList{longPath}},
            {QStringLiteral("authorizedprincipalscommanduser"), QStringLiteral("none")},
            {QStringLiteral("canonicalizepermittedcnames"), QStringLiteral("none")},
            {QStringLiteral("serveraliveinterval"), QStringLiteral("30")},
            {Reply::Origins,
             QVariantMap{{QStringLiteral("authorizedkeysfile"), origin}, {QStringLiteral("serveraliveinterval"), origin}, {QStringLiteral("banner"), origin}}}};
        const QString algorithms = QStringLiteral("curve25519-sha256,curve25519-sha256@libssh.org,ecdh-sha2-nistp256,ecdh-sha2-nistp384,ecdh-sha2-nistp521");
        const QVariantList findings{
            QVariantMap{{Reply::FindingId, QStringLiteral("kex")},
                        {Reply::FindingSeverity, QStringLiteral("fail")},
                        {Reply::FindingSubject, QStringLiteral("KexAlgorithms")},
                        {Reply::FindingCurrent, algorithms},
                        {Reply::FindingRecommended, algorithms.section(QLatin1Char(','), 0, 1)},
                        {Reply::FindingOrigin, QStringLiteral("/etc/ssh/sshd_config.d/50-hardening-by-the-configuration-system.conf:12")}}};
        helper.setHandler([values, findings](const FakeActionRunner::Call &call) {
            if (call.keys().contains(Arg::ReadKeywords) || call.keys().contains(Arg::TransactionReadKeywords)) {
                return FakeActionRunner::success(values);
            }
            if (call.keys().contains(Arg::Audit)) {
                return FakeActionRunner::success({{Reply::Findings, findings}});
            }
            return FakeActionRunner::success({});
        });
        SSHModule page(nullptr, {});
        page.load();
        QVERIFY(FakeActionRunner::settle());
        page.widget()->resize(606, 514);
        page.widget()->show();
        // The panels open, as a person opens them to look.
        for (auto *button : page.widget()->findChildren<QToolButton *>(QStringLiteral("showButton"))) {
            button->click();
        }
        for (QWidget *panel : page.widget()->findChildren<QWidget *>(QStringLiteral("groupBox"))) {
            QTRY_COMPARE(panel->maximumHeight(), QWIDGETSIZE_MAX);
        }
        auto *shown = page.widget()->findChild<QWidget *>(tab);
        auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
        if (tab == QLatin1String("clientPage")) {
            page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(1);
        } else {
            tabs->setCurrentWidget(shown);
        }
        QVERIFY(FakeActionRunner::settle());
        QCoreApplication::processEvents();
        QCOMPARE(page.widget()->size(), QSize(606, 514));
        QCOMPARE(sidewaysScrolling(shown).join(QLatin1Char(',')), QString());
        QCOMPARE(labelsWithoutField(shown).join(QLatin1Char(',')), QString());
        QCOMPARE(invisibleStops(shown).join(QLatin1Char(',')), QString());
    }
};

QTEST_MAIN(FormTest)
#include "formtest.moc"

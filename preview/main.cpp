// SPDX-License-Identifier: GPL-2.0-or-later
#include "abstractoptionarea.h"
#include "demoactionrunner.h"
#include "listenaddressmodel.h"
#include "serveraddress.h"
#include "sshmodule.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QIcon>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <cstdio>

namespace
{
void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Opens every collapsible group and key tree, as a user would before looking.
void expandEverything(QWidget *page)
{
    const auto buttons = page->findChildren<QToolButton *>(QStringLiteral("showButton"));
    for (QToolButton *button : buttons) {
        button->click();
    }
    settle(600);
    const auto trees = page->findChildren<QTreeView *>(QStringLiteral("keysView"));
    for (QTreeView *tree : trees) {
        tree->expandAll();
    }
}

bool save(QWidget *widget, const QString &path)
{
    const bool ok = widget->grab().save(path);
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Headless platforms bring no icon theme of their own.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() +
                                   QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory));
        QIcon::setThemeName(QStringLiteral("breeze"));
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the SSH settings page outside System Settings."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("demo"), QStringLiteral("Serve the page from a demonstration configuration instead of the root helper.")});
    parser.addOption({QStringLiteral("screenshots"), QStringLiteral("Write a PNG of every tab into <dir> and quit."), QStringLiteral("dir")});
    parser.process(app);

    std::unique_ptr<DemoActionRunner> demo;
    if (parser.isSet(QStringLiteral("demo"))) {
        demo = std::make_unique<DemoActionRunner>();
        if (!demo->isValid()) {
            std::fprintf(stderr, "ssh-settings-preview: %s\n", qPrintable(demo->errorString()));
            return 1;
        }
        SSHSettings::setActionRunner(demo.get());
        ServerState::setStateSourceForTesting(demo.get());
    }

    SSHModule page(nullptr, {});
    page.widget()->setWindowTitle(QStringLiteral("SSH Settings"));
    page.widget()->resize(1000, parser.isSet(QStringLiteral("screenshots")) ? 1120 : 820);
    page.load();
    page.widget()->show();

    if (!parser.isSet(QStringLiteral("screenshots"))) {
        return app.exec();
    }
    const QString dir = parser.value(QStringLiteral("screenshots"));
    QDir().mkpath(dir);
    settle(300);
    expandEverything(page.widget());
    auto *tabs = page.widget()->findChild<QTabWidget *>(QStringLiteral("tabWidgetServer"));
    const QStringList names {QStringLiteral("server-general"), QStringLiteral("server-authentication"), QStringLiteral("server-other"),
                             QStringLiteral("server-connections")};
    bool ok = true;
    for (int i = 0; i < tabs->count() && i < names.size(); ++i) {
        tabs->setCurrentIndex(i);
        settle(400);
        ok = save(page.widget(), QDir(dir).filePath(names.at(i) + QStringLiteral(".png"))) && ok;
    }
    tabs->setCurrentIndex(0);
    page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(1);
    settle(200);
    ok = save(page.widget(), QDir(dir).filePath(QStringLiteral("client.png"))) && ok;

    // Apply from an SSH session: the review of the server's transaction, then the countdown to keep it.
    page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(0);
    qputenv("SSH_CONNECTION", "192.0.2.7 50022 192.0.2.5 22");
    tabs->setCurrentIndex(1);
    for (AbstractOptionArea *area : page.widget()->findChildren<AbstractOptionArea *>()) {
        if (area->option().id() == SSHOption::PubkeyAuthentication || area->option().id() == SSHOption::MaxSessions) {
            if (auto *box = area->findChild<QCheckBox *>()) {
                box->click();
            } else if (auto *spin = area->findChild<QSpinBox *>()) {
                spin->setValue(8);
            }
        }
    }
    QTimer::singleShot(800, page.widget(), [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ok = save(dialog, QDir(dir).filePath(QStringLiteral("issue14-review.png"))) && ok;
            dialog->accept();
        }
    });
    page.save();
    settle(1500);
    ok = save(page.widget(), QDir(dir).filePath(QStringLiteral("issue14-countdown.png"))) && ok;
    if (auto *message = page.widget()->findChild<QWidget *>(QStringLiteral("revertCountdown"))) {
        message->actions().constFirst()->trigger(); // Keep
    }
    qunsetenv("SSH_CONNECTION");

    // A change the helper refuses, an address of no local interface, beside one it takes: the page says why.
    page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(0);
    tabs->setCurrentIndex(0);
    if (auto *addresses = page.widget()->findChild<ListenAddressModel *>()) {
        addresses->addAddress(ServerAddress(QStringLiteral("198.51.100.1"), QStringLiteral("22"), nullptr));
    }
    for (QCheckBox *box : page.widget()->findChildren<QCheckBox *>()) {
        if (box->text() == QLatin1String("X11Forwarding") || box->text().startsWith(QLatin1String("GUI Forwarding"))) {
            box->click();
        }
    }
    page.save();
    settle(600);
    ok = save(page.widget(), QDir(dir).filePath(QStringLiteral("refusal.png"))) && ok;

    return ok ? 0 : 1;
}

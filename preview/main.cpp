// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "abstractoptionarea.h"
#include "addpublickeydialog.h"
#include "authorizedkeyspathdialog.h"
#include "conditionalcriteria.h"
#include "demoactionrunner.h"
#include "editbannerdialog.h"
#include "listenaddresseditdialog.h"
#include "listenaddressmodel.h"
#include "serveraddress.h"
#include "sshmodule.h"
#include "sshpaths.h"
#include "usergroupentrydialog.h"

#include <KAuth/ActionReply>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

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

// The demonstration's folder, which no screenshot may show: its files are named as a system has them.
QString s_demoRoot;

// The texts under @p widget that name the demonstration's folder: labels, buttons, lines, text fields and lists.
QStringList showingDemoRoot(QWidget *widget)
{
    QStringList found;
    if (s_demoRoot.isEmpty()) {
        return found;
    }
    const auto check = [&found](const QString &text) {
        if (text.contains(s_demoRoot)) {
            found.append(text);
        }
    };
    const auto children = widget->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (auto *label = qobject_cast<QLabel *>(child)) {
            check(label->text());
        } else if (auto *button = qobject_cast<QAbstractButton *>(child)) {
            check(button->text());
        } else if (auto *line = qobject_cast<QLineEdit *>(child)) {
            check(line->text());
        } else if (auto *text = qobject_cast<QPlainTextEdit *>(child)) {
            check(text->toPlainText());
        } else if (auto *view = qobject_cast<QAbstractItemView *>(child); view && view->model()) {
            std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
                for (int row = 0; row < view->model()->rowCount(parent); ++row) {
                    for (int column = 0; column < view->model()->columnCount(parent); ++column) {
                        const QModelIndex index = view->model()->index(row, column, parent);
                        check(index.data(Qt::DisplayRole).toString());
                        check(index.data(Qt::ToolTipRole).toString());
                    }
                    walk(view->model()->index(row, 0, parent));
                }
            };
            walk(QModelIndex());
        }
    }
    return found;
}

bool save(QWidget *widget, const QString &path)
{
    if (const QStringList shown = showingDemoRoot(widget); !shown.isEmpty()) {
        std::fprintf(stderr, "%s shows the demonstration's folder: %s\n", qPrintable(path), qPrintable(shown.join(QLatin1String(" | "))));
        return false;
    }
    const bool ok = widget->grab().save(path);
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The page when the password prompt is cancelled: one message, nothing shown as if it had been read.
bool savePermissionRefused(const QString &dir, SSHSettings::ActionRunner *previous)
{
    struct Refusing : SSHSettings::ActionRunner {
        void start(const QString &, const SSHSettings::ActionArguments &, SSHSettings::ActionDone answered, std::function<void()> released) override
        {
            SSHSettings::ActionResult result;
            result.errorCode = KAuth::ActionReply::UserCancelledError;
            QTimer::singleShot(0, [answered, released, result] {
                answered(result);
                released();
            });
        }
    } refusing;
    SSHSettings::setActionRunner(&refusing);
    bool ok = true;
    {
        SSHModule page(nullptr, {});
        page.load();
        page.widget()->resize(page.widget()->minimumSize());
        page.widget()->show();
        settle(300);
        ok = save(page.widget(), QDir(dir).filePath(QStringLiteral("min-permission-refused.png")));
    }
    SSHSettings::setActionRunner(previous);
    return ok;
}

// Every dialog of the page, at the size it opens with and at its smallest.
bool saveDialogs(QWidget *page, const QString &dir)
{
    const QString home = QDir::homePath();
    const std::vector<std::pair<QString, std::function<QDialog *()>>> dialogs{
        {QStringLiteral("dialog-access-entry"),
         [page] {
             return new UserGroupEntryDialog(page);
         }},
        {QStringLiteral("dialog-listen-address"),
         [page] {
             return new ListenAddressEditDialog(ActionDialogAdd, {}, QStringLiteral("22"), page);
         }},
        {QStringLiteral("dialog-key-paths"),
         [page] {
             return new AuthorizedKeysPathDialog({QStringLiteral(".ssh/authorized_keys"), QStringLiteral("/etc/ssh/keys/%u")}, page);
         }},
        {QStringLiteral("dialog-add-key"),
         [page, home] {
             return new AddPublicKeyDialog(home + QStringLiteral("/.ssh/authorized_keys"), page);
         }},
        {QStringLiteral("dialog-banner"),
         [page] {
             return new EditBannerDialog(QStringLiteral("/etc/issue.net"), page);
         }},
    };
    bool ok = true;
    for (const auto &[name, make] : dialogs) {
        std::unique_ptr<QDialog> dialog(make());
        dialog->show();
        settle(200);
        ok = save(dialog.get(), QDir(dir).filePath(name + QStringLiteral(".png"))) && ok;
        dialog->resize(dialog->minimumSizeHint());
        settle(200);
        ok = save(dialog.get(), QDir(dir).filePath(name + QStringLiteral("-min.png"))) && ok;
    }
    return ok;
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Headless platforms bring no icon theme of their own.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        QIcon::setThemeSearchPaths(QIcon::themeSearchPaths()
                                   + QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory));
        QIcon::setThemeName(QStringLiteral("breeze"));
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the SSH settings page outside System Settings."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("demo"), QStringLiteral("Serve the page from a demonstration configuration instead of the root helper.")});
    parser.addOption({QStringLiteral("screenshots"),
                      QStringLiteral("Write a PNG of every tab, at the smallest and a large size, and of every dialog into <dir> and quit."),
                      QStringLiteral("dir")});
    parser.process(app);

    std::unique_ptr<DemoActionRunner> demo;
    if (parser.isSet(QStringLiteral("demo"))) {
        demo = std::make_unique<DemoActionRunner>();
        if (!demo->isValid()) {
            std::fprintf(stderr, "ssh-settings-preview: %s\n", qPrintable(demo->errorString()));
            return 1;
        }
        SSHSettings::setActionRunner(demo.get());
        SSHPaths::setDemoRoot(demo->root()); // the keys files the page reads itself
        s_demoRoot = demo->root();
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
    auto *configuration = page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"));
    const QStringList names{QStringLiteral("server-general"),
                            QStringLiteral("server-authentication"),
                            QStringLiteral("server-other"),
                            QStringLiteral("server-all-settings"),
                            QStringLiteral("server-conditional"),
                            QStringLiteral("server-security"),
                            QStringLiteral("server-connections")};
    bool ok = true;
    // Every tab at the smallest size the page allows and at a common large one.
    const QList<std::pair<QString, QSize>> sizes{{QStringLiteral("min-"), page.widget()->minimumSize()}, {QStringLiteral("1280x900-"), QSize(1280, 900)}};
    for (const auto &[prefix, size] : sizes) {
        page.widget()->resize(size);
        for (int i = 0; i < tabs->count() && i < names.size(); ++i) {
            tabs->setCurrentIndex(i);
            settle(400);
            ok = save(page.widget(), QDir(dir).filePath(prefix + names.at(i) + QStringLiteral(".png"))) && ok;
        }
        tabs->setCurrentIndex(0);
        configuration->setCurrentIndex(1);
        settle(200);
        ok = save(page.widget(), QDir(dir).filePath(prefix + QStringLiteral("client.png"))) && ok;
        configuration->setCurrentIndex(0);
    }
    ok = saveDialogs(page.widget(), dir) && ok;
    ok = savePermissionRefused(dir, demo.get()) && ok;
    page.widget()->resize(1000, 1120);

    // Apply from an SSH session: the review of the server's transaction, then the countdown to keep it.
    page.widget()->findChild<QComboBox *>(QStringLiteral("comboBoxSshConfig"))->setCurrentIndex(0);
    qputenv("SSH_CONNECTION", "192.0.2.7 50022 192.0.2.5 22");
    tabs->setCurrentIndex(1);
    for (AbstractOptionArea *area : page.widget()->findChildren<AbstractOptionArea *>()) {
        if (area->option().type == Server
            && QStringList{QStringLiteral("PubkeyAuthentication"), QStringLiteral("MaxSessions")}.contains(area->option().keyword())) {
            if (auto *box = area->findChild<QCheckBox *>()) {
                box->click();
            } else if (auto *spin = area->findChild<QSpinBox *>()) {
                spin->setValue(8);
            }
        }
    }
    QTimer::singleShot(800, page.widget(), [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ok = save(dialog, QDir(dir).filePath(QStringLiteral("review.png"))) && ok;
            dialog->accept();
        }
    });
    page.save();
    settle(1500);
    ok = save(page.widget(), QDir(dir).filePath(QStringLiteral("countdown.png"))) && ok;
    if (auto *message = page.widget()->findChild<QWidget *>(QStringLiteral("revertCountdown"))) {
        message->actions().constFirst()->trigger(); // Keep
    }
    qunsetenv("SSH_CONNECTION");

    // A recipe of "Conditional settings": its criterion asked for, then the review of the block it adds.
    tabs->setCurrentWidget(page.widget()->findChild<QWidget *>(QStringLiteral("conditionalTab")));
    settle(400);
    QTimer::singleShot(300, page.widget(), [&] {
        if (auto *dialog = qobject_cast<ConditionalCriteriaDialog *>(QApplication::activeModalWidget())) {
            dialog->setValue(QStringLiteral("sftponly"));
            ok = save(dialog, QDir(dir).filePath(QStringLiteral("dialog-block-criteria.png"))) && ok;
            dialog->accept();
        }
        QTimer::singleShot(800, page.widget(), [&] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                ok = save(dialog, QDir(dir).filePath(QStringLiteral("review-recipe.png"))) && ok;
                dialog->reject();
            }
        });
    });
    page.widget()->findChild<QAction *>(QStringLiteral("conditionalRecipeSftp"))->trigger();
    settle(600);
    tabs->setCurrentIndex(0);

    // A change the helper refuses, an address of no local interface, beside one it takes: the page says why.
    if (auto *addresses = page.widget()->findChild<ListenAddressModel *>()) {
        addresses->addAddress(ServerAddress(QStringLiteral("198.51.100.1"), QStringLiteral("22"), nullptr));
    }
    for (QCheckBox *box : page.widget()->findChildren<QCheckBox *>()) {
        if (box->text() == QLatin1String("X11Forwarding") || box->text().contains(QLatin1String("X11 forwarding"))) {
            box->click();
        }
    }
    page.save();
    settle(600);
    ok = save(page.widget(), QDir(dir).filePath(QStringLiteral("refusal.png"))) && ok;

    return ok ? 0 : 1;
}

// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * The page as a host sees it: one measurement per process, for run.sh.
 *
 *   pagebench open PLUGIN    loads the settings module PLUGIN (a file name, or a
 *                            plug-in name looked up in Qt's plug-in folders),
 *                            shows it and prints "open MS": from the plug-in's
 *                            loading to its values on the page
 *   pagebench apply PLUGIN   opens the SSH settings page, changes five server
 *                            options, and prints "apply MS" from save() to the
 *                            values shown again, the review answered at once;
 *                            then "window FROM TO" (epoch ms, for counting the
 *                            programs run meanwhile) and "expect KEYWORD VALUE"
 *                            per option, as sshd -T prints them
 *
 * A module is done loading when it has emitted valuesShown(), if its class has
 * that signal; otherwise when load() has returned. The same holds for save().
 */
#include "kcmcompat.h"

#include <KPluginFactory>
#include <KPluginMetaData>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include <functional>
#include <memory>

#include <cstdio>

namespace
{
constexpr int WaitLimitMs = 120000;

[[noreturn]] void fail(const QString &why)
{
    fprintf(stderr, "pagebench: %s\n", qPrintable(why));
    exit(1);
}

/// The plug-in file of a module: @p name itself when it is a file, else the first of Qt's plug-in folders that has it.
QString pluginFile(const QString &name)
{
    if (QFileInfo(name).isFile()) {
        return name;
    }
    // Where KF5 installs widget modules, then where Plasma's System Settings looks for them.
    const QStringList folders = {QStringLiteral("."), QStringLiteral("plasma/kcms/systemsettings_qwidgets")};
    const QStringList roots = QCoreApplication::libraryPaths();
    for (const QString &folder : folders) {
        for (const QString &root : roots) {
            const QString file = QDir(root).filePath(folder + QLatin1Char('/') + name + QLatin1String(".so"));
            if (QFileInfo(file).isFile()) {
                return QDir::cleanPath(file);
            }
        }
    }
    fail(QStringLiteral("no plug-in %1 in %2").arg(name, roots.join(QLatin1Char(' '))));
}

/// Answers the review before Apply at once (its Apply button); any other dialog is an error of the run.
class DialogAnswerer : public QObject
{
public:
    int reviews = 0;
    QStringList unexpected;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QDialog *>(watched);
        if (event->type() != QEvent::Show || !dialog) {
            return false;
        }
        if (!dialog->inherits("ReviewDialog")) {
            unexpected.append(QStringLiteral("%1 \"%2\"").arg(QLatin1String(dialog->metaObject()->className()), dialog->windowTitle()));
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
            return false;
        }
        ++reviews;
        QPointer<QDialog> review = dialog;
        QMetaObject::invokeMethod(
            dialog,
            [review] {
                auto *box = review ? review->findChild<QDialogButtonBox *>() : nullptr;
                if (QPushButton *apply = box ? box->button(QDialogButtonBox::Apply) : nullptr) {
                    apply->click();
                } else if (review) {
                    review->accept();
                }
            },
            Qt::QueuedConnection);
        return false;
    }
};

/// Lets every event posted so far run: a first show() has queued load() on a KF5 module.
void runPostedEvents()
{
    QEventLoop loop;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    loop.exec();
}

/// Runs @p start, then waits for valuesShown() when the module's class has that signal; then lets the page paint.
void untilValuesShown(KCModule *module, const std::function<void()> &start)
{
    std::unique_ptr<QSignalSpy> shown;
    if (module->metaObject()->indexOfSignal("valuesShown()") >= 0) {
        shown = std::make_unique<QSignalSpy>(module, SIGNAL(valuesShown()));
    }
    start();
    if (shown && shown->isEmpty() && !shown->wait(WaitLimitMs)) {
        fail(QStringLiteral("no valuesShown() within %1 s").arg(WaitLimitMs / 1000));
    }
    QCoreApplication::processEvents();
}

/// Loads the module from @p file and shows it as a host does; @p ms is the time until its values are shown.
KCModule *openModule(const QString &file, qint64 *ms)
{
    QElapsedTimer timer;
    timer.start();
    const auto made = KPluginFactory::instantiatePlugin<KCModule>(KPluginMetaData(file));
    if (!made.plugin) {
        fail(made.errorString);
    }
    KCModule *module = made.plugin;
    untilValuesShown(module, [module] {
        Compat::moduleWidget(module)->show();
#if QT_VERSION_MAJOR >= 6
        module->load(); // a KF6 host loads the module it shows
#else
        runPostedEvents(); // a KF5 module loads itself on its first show
#endif
    });
    *ms = timer.elapsed();
    return module;
}

/// The name an option area shows, without its shortcut mark and colon.
QString areaName(const QWidget *area)
{
    QString text;
    if (const auto *box = area->findChild<QCheckBox *>(QStringLiteral("checkBox"), Qt::FindDirectChildrenOnly)) {
        text = box->text();
    }
    const auto labels = area->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    for (const QLabel *label : labels) {
        if (label->objectName() == QLatin1String("label") || label->objectName() == QLatin1String("nameLabel")) {
            text = label->text();
        }
    }
    text.remove(QLatin1Char('&'));
    return text.endsWith(QLatin1Char(':')) ? text.chopped(1) : text;
}

/// Five server options of the page, by the name it shows (the untranslated one): spin boxes step, check boxes toggle.
struct OptionChange {
    const char *name;
    const char *keyword; ///< as sshd -T prints it
    int step; ///< 0 for a check box
};
constexpr OptionChange FiveChanges[] = {
    {"Sessions per connection", "maxsessions", 1},
    {"Time to log in", "logingracetime", 7},
    {"Allow X11 forwarding", "x11forwarding", 0},
    {"Look up the host names of clients", "usedns", 0},
    {"Show the message of the day", "printmotd", 0},
};

/// What a change leaves on the page: the spin box's value or the check box's state, as sshd -T prints it.
QString shownValue(QWidget *area, const OptionChange &change)
{
    if (change.step) {
        return QString::number(area->findChild<QSpinBox *>()->value());
    }
    return area->findChild<QCheckBox *>(QStringLiteral("checkBox"))->isChecked() ? QStringLiteral("yes") : QStringLiteral("no");
}

void applyFiveChanges(KCModule *module, const DialogAnswerer &answerer)
{
    QHash<QString, QWidget *> areas;
    const auto widgets = Compat::moduleWidget(module)->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (widget->inherits("AbstractOptionArea")) {
            areas.insert(areaName(widget), widget);
        }
    }
    QList<QPair<QWidget *, QString>> expected;
    for (const OptionChange &change : FiveChanges) {
        QWidget *area = areas.value(QLatin1String(change.name));
        if (!area || (change.step ? !area->findChild<QSpinBox *>() : !area->findChild<QCheckBox *>(QStringLiteral("checkBox")))) {
            fail(QStringLiteral("the page shows no option \"%1\"").arg(QLatin1String(change.name)));
        }
        if (change.step) {
            auto *spin = area->findChild<QSpinBox *>();
            spin->setValue(spin->value() + change.step);
        } else {
            area->findChild<QCheckBox *>(QStringLiteral("checkBox"))->click();
        }
        expected.append({area, shownValue(area, change)});
    }
    const qint64 from = QDateTime::currentMSecsSinceEpoch();
    QElapsedTimer timer;
    timer.start();
    untilValuesShown(module, [module] {
        module->save();
    });
    const qint64 ms = timer.elapsed();
    const qint64 to = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < expected.size(); ++i) {
        const QString shown = shownValue(expected.at(i).first, FiveChanges[i]);
        if (shown != expected.at(i).second) {
            fail(QStringLiteral("%1 shows %2 after Apply, not %3").arg(QLatin1String(FiveChanges[i].name), shown, expected.at(i).second));
        }
    }
    printf("apply %lld\nreviews %d\nwindow %lld %lld\n", ms, answerer.reviews, from, to);
    for (int i = 0; i < expected.size(); ++i) {
        printf("expect %s %s\n", FiveChanges[i].keyword, qPrintable(expected.at(i).second));
    }
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3 || (arguments.at(1) != QLatin1String("open") && arguments.at(1) != QLatin1String("apply"))) {
        fprintf(stderr, "usage: pagebench open|apply PLUGIN\n");
        return 2;
    }
    DialogAnswerer answerer;
    app.installEventFilter(&answerer);
    const QString file = pluginFile(arguments.at(2));
    printf("plugin %s\n", qPrintable(file));
    qint64 ms = 0;
    KCModule *module = openModule(file, &ms);
    if (arguments.at(1) == QLatin1String("open")) {
        printf("open %lld\n", ms);
    } else {
        applyFiveChanges(module, answerer);
    }
    if (!answerer.unexpected.isEmpty()) {
        fail(QStringLiteral("unexpected dialog: ") + answerer.unexpected.join(QLatin1String(", ")));
    }
    delete module;
    return 0;
}

// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// Key lines against ssh-keygen's own reading, the edits of a key file, and the keys tree with its dialogs.
#include "addpublickeydialog.h"
#include "authorizedkeysarea.h"
#include "authorizedkeysmodel.h"
#include "authorizedkeyspathdialog.h"
#include "fakeactionrunner.h"
#include "messagesmanager.h"
#include "modaldriver.h"
#include "sshkeyutils.h"
#include "sshsettingsprotocol.h"
#include "testfiles.h"

#include <KMessageWidget>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
namespace Arg = SSHSettings::Protocol::Arg;

/// Generates a key pair in dir and returns the public line, or an empty string when this type cannot be made here.
QString generateKey(const QString &dir, const QString &type, int bits, const QString &comment)
{
    static int counter = 0;
    const QString base = QDir(dir).filePath(QStringLiteral("key%1").arg(++counter));
    QStringList arguments{QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"), QString(), QStringLiteral("-C"), comment};
    if (bits > 0) {
        arguments << QStringLiteral("-b") << QString::number(bits);
    }
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), arguments << QStringLiteral("-f") << base);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(TestFiles::read(base + QStringLiteral(".pub"))).trimmed();
}

/// ssh-keygen's own "-lf" lines for a file, one per key it could read.
QStringList keygenListing(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), path});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString describe(const KeyInfo &info)
{
    return QStringLiteral("%1|%2|%3|%4").arg(info.type, info.comment, info.fingerprint).arg(info.bits);
}

QStringList describe(const QList<KeyInfo> &infos)
{
    QStringList texts;
    for (const KeyInfo &info : infos) {
        texts.append(describe(info));
    }
    return texts;
}

// An inflated area for the given patterns, with handles on its view and models.
struct Tree {
    explicit Tree(const QStringList &patterns)
    {
        // On a page with a message area, which is told what was written.
        messages = new KCMOS::MessagesManager(&page);
        area = std::make_unique<AuthorizedKeysArea>(SSHOption::pageOption(Server, QStringLiteral("AuthorizedKeysFile")).withValue(patterns), &page);
        area->inflate();
        view = area->findChild<QTreeView *>(QStringLiteral("keysView"));
        proxy = qobject_cast<QSortFilterProxyModel *>(view->model());
        model = proxy->sourceModel();
    }

    QPushButton *button(const char *name) const
    {
        return area->findChild<QPushButton *>(QLatin1String(name));
    }

    QStringList files() const
    {
        QStringList paths;
        for (int row = 0; row < model->rowCount(); ++row) {
            paths.append(model->index(row, 0).data().toString());
        }
        return paths;
    }

    QString cell(int fileRow, int keyRow, int column) const
    {
        return model->index(keyRow, column, model->index(fileRow, 0)).data().toString();
    }

    // The raw key lines shown under a file.
    QStringList keys(int fileRow) const
    {
        QStringList lines;
        for (int row = 0; row < model->rowCount(model->index(fileRow, 0)); ++row) {
            lines.append(cell(fileRow, row, AuthorizedKeysModel::RawKeyColumn));
        }
        return lines;
    }

    void select(int fileRow, int keyRow = -1) const
    {
        const QModelIndex file = model->index(fileRow, 0);
        view->setCurrentIndex(proxy->mapFromSource(keyRow < 0 ? file : model->index(keyRow, 0, file)));
    }

    /// The texts of the page's messages, oldest first.
    QStringList messageTexts() const
    {
        QStringList texts;
        const auto shown = messages->messages();
        for (const KMessageWidget *message : shown) {
            texts.append(message->text());
        }
        return texts;
    }

    QWidget page;
    KCMOS::MessagesManager *messages = nullptr;
    std::unique_ptr<AuthorizedKeysArea> area;
    QTreeView *view = nullptr;
    QSortFilterProxyModel *proxy = nullptr;
    QAbstractItemModel *model = nullptr;
};
}

class KeysTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid() && m_root.isValid());
        const struct {
            const char *label;
            const char *type;
            int bits;
        } kinds[] = {{"rsa", "rsa", 2048}, {"ecdsa256", "ecdsa", 256}, {"ecdsa384", "ecdsa", 384}, {"ecdsa521", "ecdsa", 521}, {"ed25519", "ed25519", 0}};
        QByteArray all;
        for (const auto &kind : kinds) {
            const QString label = QLatin1String(kind.label);
            const QString line = generateKey(m_dir.path(), QLatin1String(kind.type), kind.bits, QStringLiteral("tester %1 key").arg(label));
            QVERIFY2(!line.isEmpty(), kind.label);
            m_keys.insert(label, line);
            all += line.toUtf8() + '\n';
        }
        const QString path = m_dir.filePath(QStringLiteral("all.pub"));
        QVERIFY(TestFiles::write(path, all));
        const QStringList listing = keygenListing(path);
        QCOMPARE(listing.size(), m_keys.size());
        for (const QString &line : listing) {
            const QStringList fields = line.split(QLatin1Char(' '));
            m_keygen.insert(fields.at(3), fields);
        }
        // The keys tree's files hold the same keys.
        m_ed1 = m_keys.value(QStringLiteral("ed25519"));
        m_ec521 = m_keys.value(QStringLiteral("ecdsa521"));
        m_ec = m_keys.value(QStringLiteral("ecdsa384"));
        m_rsa = m_keys.value(QStringLiteral("rsa"));
        m_ec256 = m_keys.value(QStringLiteral("ecdsa256"));
        m_savedHome = qgetenv("HOME");
        m_savedUser = qgetenv("USER");
    }

    void init()
    {
        QDir(m_root.path()).removeRecursively();
        QDir().mkpath(home(QStringLiteral(".ssh")));
        QDir().mkpath(home(QStringLiteral("keys")));
        QDir().mkpath(outside(QString()));
        qputenv("HOME", QFile::encodeName(QDir::cleanPath(home())));
        qputenv("USER", "alice");
    }

    void cleanup()
    {
        qputenv("HOME", m_savedHome);
        qputenv("USER", m_savedUser);
        SSHKeyUtils::setWritableCheckForTesting({});
    }

    void parseKeyLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("fingerprint"); // "other": any SHA256 fingerprint but the key's own
        QTest::addColumn<int>("bits");

        // Every type ssh-keygen generates, against its own listing.
        for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it) {
            const QStringList keygen = m_keygen.value(it.key());
            QTest::newRow(qPrintable(it.key())) << it.value() << it.value().section(QLatin1Char(' '), 0, 0) << QStringLiteral("tester %1 key").arg(it.key())
                                                << keygen.at(1) << keygen.at(0).toInt();
        }

        const QString type = field("ed25519", 0);
        const QString data = field("ed25519", 1);
        const QString own = m_keygen.value(QStringLiteral("ed25519")).at(1);
        QTest::newRow("one field") << type << "Invalid" << QString() << QString() << 0;
        QTest::newRow("tabs only") << QString(m_ed1).replace(QLatin1Char(' '), QLatin1Char('\t')) << "Invalid" << QString() << QString() << 0;
        QTest::newRow("no comment") << QStringLiteral("%1 %2").arg(type, data) << type << QString() << own << 256;
        QTest::newRow("extra spaces") << QStringLiteral("  %1   %2   my  laptop   key  ").arg(type, data) << type << "my laptop key" << own << 256;
        QTest::newRow("not base64") << QStringLiteral("%1 !!!! box").arg(type) << type << "box"
                                    << QStringLiteral("SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU") << 0;
        QTest::newRow("truncated data") << QStringLiteral("%1 %2 box").arg(type, data.left(data.size() - 8)) << type << "box" << QStringLiteral("other") << 0;
        // The options are no part of the key: the real type, fingerprint and comment show.
        QTest::newRow("options prefix") << QStringLiteral("from=\"10.0.0.1\",no-pty %1").arg(m_ed1) << type << m_ed1.section(QLatin1Char(' '), 2) << own << 256;
        QTest::newRow("quoted blank in options") << QStringLiteral("command=\"echo a b\",no-pty %1").arg(m_ed1) << type << m_ed1.section(QLatin1Char(' '), 2)
                                                 << own << 256;
        QTest::newRow("tab inside data field") << QStringLiteral("%1 %2\tlaptop y").arg(type, data) << type << "y" << QStringLiteral("other") << 256;
    }

    void parseKeyLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, type);
        QFETCH(QString, comment);
        QFETCH(QString, fingerprint);
        QFETCH(int, bits);

        SSHKeyUtils::resetStartedProcessCount();
        const KeyInfo info = SSHKeyUtils::parseKeyLine(line);
        QCOMPARE(SSHKeyUtils::startedProcessCount(), type == QLatin1String("Invalid") ? 0 : 1);
        if (fingerprint == QLatin1String("other")) {
            QVERIFY(info.fingerprint.startsWith(QLatin1String("SHA256:")));
            fingerprint = info.fingerprint;
            QVERIFY(fingerprint != m_keygen.value(QStringLiteral("ed25519")).at(1));
        }
        QCOMPARE(describe(info), describe(KeyInfo{type, fingerprint, comment, QString(), bits}));
        // Parsing a list gives exactly what parsing one line gives.
        QCOMPARE(describe(SSHKeyUtils::parseKeyLines({line})), QStringList{describe(info)});
    }

    void batchMatchesOneByOne()
    {
        const QString edType = field("ed25519", 0);
        const QString edData = field("ed25519", 1);
        QStringList lines{
            m_rsa,
            QStringLiteral("garbage"),
            m_ed1,
            QStringLiteral("ssh-rsa %1 type does not match the data").arg(edData),
            m_ed1, // duplicate
            QStringLiteral("# %1").arg(m_ec),
            QString(),
            QStringLiteral("command=\"echo a b\",no-pty %1").arg(m_ec),
            QStringLiteral("%1 %2 fake marker @@k0 (RSA)").arg(edType, edData),
            QStringLiteral("%1 @@k3 (RSA)").arg(edType),
            QStringLiteral("%1 %2\r").arg(edType, edData),
            QStringLiteral("%1\n%2").arg(m_ec, m_ed1), // cannot be streamed: asked on its own
            QString(m_ed1).replace(QLatin1Char(' '), QLatin1Char('\t')),
            QStringLiteral("%1 %2").arg(edType, edData.left(edData.size() - 4)),
            m_ec,
        };
        QStringList keys;
        for (int i = 0; i < 30; ++i) {
            keys.append(m_keys.value(i % 2 ? QStringLiteral("ed25519") : QStringLiteral("ecdsa256")) + QStringLiteral(" #%1").arg(i));
        }
        lines += keys;
        QList<int> sizes;
        QStringList infos;
        for (const QString &line : std::as_const(lines)) {
            sizes.append(SSHKeyUtils::calculateKeySize(line));
            infos.append(describe(SSHKeyUtils::parseKeyLine(line)));
        }
        QCOMPARE(SSHKeyUtils::calculateKeySizes(lines), sizes);
        QCOMPARE(describe(SSHKeyUtils::parseKeyLines(lines)), infos);
        // However many keys a file holds, they are sized by one ssh-keygen run.
        SSHKeyUtils::resetStartedProcessCount();
        QCOMPARE(describe(SSHKeyUtils::parseKeyLines(keys)), infos.mid(lines.size() - keys.size()));
        QCOMPARE(SSHKeyUtils::startedProcessCount(), 1);
        // The list exercises both outcomes.
        QVERIFY(sizes.count(0) >= 5);
        QVERIFY(sizes.count(256) >= 30);
        QCOMPARE(SSHKeyUtils::calculateKeySizes({}), QList<int>());
    }

    void editFile_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QByteArray>("before"); // null: no such file
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QByteArray>("after"); // null: no such file

        const QString added = QStringLiteral("ssh-new KEY c");
        QTest::newRow("add: missing file") << true << QByteArray() << added << true << QByteArray("ssh-new KEY c\n");
        QTest::newRow("add: empty file") << true << QByteArray("") << added << true << QByteArray("ssh-new KEY c\n");
        QTest::newRow("add: no final line feed") << true << QByteArray("ssh-old A a") << added << true << QByteArray("ssh-old A a\nssh-new KEY c\n");
        QTest::newRow("add: crlf") << true << QByteArray("ssh-old A a\r\n") << added << true << QByteArray("ssh-old A a\r\nssh-new KEY c\n");
        QTest::newRow("add: ends in comment") << true << QByteArray("ssh-old A a\n# end") << added << true << QByteArray("ssh-old A a\n# end\nssh-new KEY c\n");

        const QString a = QStringLiteral("ssh-a A a");
        QTest::newRow("remove: duplicates") << false << QByteArray("ssh-a A a\nssh-b B b\nssh-a A a\n") << a << true << QByteArray("ssh-b B b\n");
        QTest::newRow("remove: target trimmed") << false << QByteArray("ssh-a A a\nssh-b B b\n") << "  ssh-b B b \n" << true << QByteArray("ssh-a A a\n");
        QTest::newRow("remove: absent") << false << QByteArray("ssh-a A a\n\n  ssh-b B b\r\n") << "ssh-c C c" << false
                                        << QByteArray("ssh-a A a\n\n  ssh-b B b\r\n");
        QTest::newRow("remove: case sensitive") << false << QByteArray("ssh-a A a\n") << "SSH-A A a" << false << QByteArray("ssh-a A a\n");
        QTest::newRow("remove: blank, indented and comment lines") << false << QByteArray("# mine\n\n  ssh-a A a  \n  # old\n\tssh-b B b\nssh-c C c\n\n")
                                                                   << "ssh-c C c" << true << QByteArray("# mine\n\n  ssh-a A a  \n  # old\n\tssh-b B b\n\n");
        QTest::newRow("remove: no final line feed") << false << QByteArray("ssh-a A a\nssh-b B b") << a << true << QByteArray("ssh-b B b");
        QTest::newRow("remove: crlf") << false << QByteArray("ssh-a A a\r\nssh-b B b\r\n") << "ssh-b B b" << true << QByteArray("ssh-a A a\r\n");
        QTest::newRow("remove: last key") << false << QByteArray("ssh-a A a\n") << a << true << QByteArray("");
        QTest::newRow("remove: missing file") << false << QByteArray() << a << false << QByteArray();
    }

    void editFile()
    {
        QFETCH(bool, add);
        QFETCH(QByteArray, before);
        QFETCH(QString, line);
        QFETCH(bool, result);
        QFETCH(QByteArray, after);
        const QString path = m_dir.filePath(QStringLiteral("edited"));
        const QByteArray name = QFile::encodeName(path);
        QFile::remove(path);
        struct stat old = {}, now = {};
        if (!before.isNull()) {
            QVERIFY(TestFiles::write(path, before) && ::chmod(name.constData(), 0640) == 0);
            QVERIFY(::geteuid() != 0 || ::chown(name.constData(), 65534, 65534) == 0);
            QVERIFY(::stat(name.constData(), &old) == 0);
        }
        QString reason;
        QCOMPARE(add ? SSHKeyUtils::appendKeyToFile(path, line, &reason) : SSHKeyUtils::removeKeyFromFile(path, line, &reason), result);
        QCOMPARE(reason.isEmpty(), result);
        QCOMPARE(QFile::exists(path), !after.isNull());
        QCOMPARE(TestFiles::read(path), after);
        // A new file renamed over the old one, which stays whole until then: its mode and owner kept (0600 when new), no temporary file left.
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("edited*")}, QDir::Files | QDir::Hidden),
                 after.isNull() ? QStringList() : QStringList{QStringLiteral("edited")});
        if (result) {
            QVERIFY(::stat(name.constData(), &now) == 0);
            QCOMPARE(now.st_mode & 07777, before.isNull() ? 0600u : 0640u);
            QVERIFY(before.isNull() || (now.st_uid == old.st_uid && now.st_gid == old.st_gid && now.st_ino != old.st_ino));
        }
    }

    void folderIsNoKeyFile()
    {
        QString reason;
        QVERIFY(!SSHKeyUtils::appendKeyToFile(m_dir.path(), QStringLiteral("ssh-new KEY c"), &reason));
        QVERIFY(!reason.isEmpty());
    }

    void loadAndReload()
    {
        const QString path = home(QStringLiteral(".ssh/authorized_keys"));
        writeKeys(path, QStringLiteral("# my keys\n\n   \n  %1\n\t# old\n%2   \r\nnot-a-key\n").arg(m_ed1, m_ec));
        writeKeys(home(QStringLiteral("keys/alice")), m_rsa);
        writeKeys(outside(QStringLiteral("shared")), m_ec521 + QLatin1Char('\n'));
        // A folder where a file is expected cannot be read as a file, even by root.
        QDir().mkpath(home(QStringLiteral("unreadable")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot open .*unreadable")));

        const QStringList patterns{QStringLiteral(".ssh/authorized_keys"),
                                   QStringLiteral(".ssh/authorized_keys2"),
                                   QStringLiteral("%h/keys/%u"),
                                   outside(QStringLiteral("shared")),
                                   QStringLiteral("unreadable")};
        SSHKeyUtils::resetStartedProcessCount();
        Tree tree(patterns);
        // One ssh-keygen run per file that has key lines, whatever the number of keys.
        QCOMPARE(SSHKeyUtils::startedProcessCount(), 3);

        QCOMPARE(tree.files(),
                 QStringList({path,
                              home(QStringLiteral(".ssh/authorized_keys2")),
                              home(QStringLiteral("keys/alice")),
                              outside(QStringLiteral("shared")),
                              home(QStringLiteral("unreadable"))}));
        // Indented and CRLF lines are kept (trimmed), comment and blank lines dropped.
        QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec, QStringLiteral("not-a-key")}));
        QCOMPARE(tree.keys(1), QStringList());
        QCOMPARE(tree.keys(2), QStringList{m_rsa});
        QCOMPARE(tree.keys(3), QStringList{m_ec521});
        QCOMPARE(tree.keys(4), QStringList());
        QVERIFY(tree.model->index(4, 0).data(Qt::ToolTipRole).toString().contains(QLatin1String("cannot be read")));
        QVERIFY(tree.model->index(3, 0).data(AuthorizedKeysModel::ReadErrorRole).toString().isEmpty());
        QCOMPARE(tree.model->index(1, AuthorizedKeysModel::FileExistsColumn).data(AuthorizedKeysModel::FileExistsRole), QVariant(false));
        QCOMPARE(tree.model->index(0, AuthorizedKeysModel::FileExistsColumn).data(AuthorizedKeysModel::FileExistsRole), QVariant(true));

        // What the model shows of the parsed lines (the raw key column is only searched).
        QCOMPARE(QStringList({tree.cell(0, 0, AuthorizedKeysModel::NameColumn),
                              tree.cell(0, 0, AuthorizedKeysModel::CommentColumn),
                              tree.cell(0, 0, AuthorizedKeysModel::KeyBitsColumn),
                              tree.cell(0, 1, AuthorizedKeysModel::KeyBitsColumn),
                              tree.cell(0, 2, AuthorizedKeysModel::KeyTypeColumn),
                              tree.cell(2, 0, AuthorizedKeysModel::KeyBitsColumn)}),
                 QStringList({QStringLiteral("ssh-ed25519 tester ed25519 key"),
                              QStringLiteral("tester ed25519 key"),
                              QStringLiteral("256"),
                              QStringLiteral("384"),
                              QStringLiteral("Invalid"),
                              QStringLiteral("2048")}));
        QVERIFY(tree.cell(0, 0, AuthorizedKeysModel::FingerprintColumn).startsWith(QLatin1String("SHA256:")));

        // Nothing was changed, so every configured pattern, the unreadable one too, is written back as it was.
        QCOMPARE(tree.area->value().toStringList(), patterns);
        QVERIFY(!tree.area->hasChanged());

        // Reset reads the files again; a new value replaces the list.
        writeKeys(path, m_ed1 + QLatin1Char('\n') + m_ec);
        tree.area->reset();
        QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec}));
        tree.area->updateArea(tree.area->option().withValue(QStringList{QStringLiteral("/nonexistent/keys"), QStringLiteral(".ssh/authorized_keys")}));
        QCOMPARE(tree.files(), QStringList({QStringLiteral("/nonexistent/keys"), path}));
        QVERIFY(!tree.area->hasChanged());
    }

    void editPathsKeepsConfiguredPatterns()
    {
        writeKeys(home(QStringLiteral("keys/alice")), m_rsa);
        writeKeys(home(QStringLiteral(".ssh/authorized_keys")), m_ed1);
        writeKeys(outside(QStringLiteral("shared")), m_ec521);
        const QString addedInHome = home(QStringLiteral("keys/extra"));
        const QString addedOutside = outside(QStringLiteral("more"));
        writeKeys(addedInHome, m_ec);
        writeKeys(addedOutside, QString());

        const QStringList patterns{QStringLiteral("%h/keys/%u"),
                                   QStringLiteral(".ssh/authorized_keys"),
                                   outside(QStringLiteral("shared")),
                                   QStringLiteral("~/.ssh/authorized_keys2")};
        Tree tree(patterns);
        QSignalSpy modified(tree.area.get(), &AbstractOptionArea::modify);
        QPushButton *edit = tree.button("pathsEditButton");
        ModalDriver modals;

        // The dialog lists the words as configured, each beside the file it names for this user.
        // Accepted without a change, or changed and cancelled: nothing happens.
        modals.expect<QDialog>([&](QDialog *dialog) {
            const auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("pathsListWidget"));
            QStringList rows;
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                rows.append(list->topLevelItem(row)->text(0) + QStringLiteral(" → ") + list->topLevelItem(row)->text(1));
            }
            QCOMPARE(rows,
                     QStringList({QString(QStringLiteral("%h/keys/%u → ") + home(QStringLiteral("keys/alice"))),
                                  QString(QStringLiteral(".ssh/authorized_keys → ") + home(QStringLiteral(".ssh/authorized_keys"))),
                                  QString(outside(QStringLiteral("shared")) + QStringLiteral(" → ") + outside(QStringLiteral("shared"))),
                                  QString(QStringLiteral("~/.ssh/authorized_keys2 → ") + home(QStringLiteral(".ssh/authorized_keys2")))}));
            dialog->accept();
        });
        edit->click();
        modals.expect<QDialog>([](QDialog *dialog) {
            dialog->findChild<QTreeWidget *>(QStringLiteral("pathsListWidget"))->clear();
            dialog->reject();
        });
        edit->click();
        QCOMPARE(modified.count(), 0);
        QVERIFY(!tree.area->hasChanged());
        QCOMPARE(tree.area->value().toStringList(), patterns);

        // Remove ".ssh/authorized_keys" and add one file inside and one outside the home.
        bool dialogSeen = false;
        modals.expect<QDialog>([&](QDialog *dialog) {
            dialogSeen = true;
            auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("pathsListWidget"));
            list->setCurrentItem(list->topLevelItem(1));
            dialog->findChild<QPushButton *>(QStringLiteral("removePath"))->click();
            for (const QString &path : {addedInHome, addedOutside}) {
                modals.expect<QFileDialog>([path](QFileDialog *fileDialog) {
                    // Typed into the name field, as a user would.
                    fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
                    static_cast<QDialog *>(fileDialog)->accept();
                });
                dialog->findChild<QPushButton *>(QStringLiteral("browsePath"))->click();
            }
            dialog->accept();
        });
        edit->click();
        QVERIFY(dialogSeen);
        QCOMPARE(modified.count(), 1);
        QVERIFY(tree.area->hasChanged());
        QCOMPARE(tree.files(),
                 QStringList({home(QStringLiteral("keys/alice")),
                              outside(QStringLiteral("shared")),
                              home(QStringLiteral(".ssh/authorized_keys2")),
                              addedInHome,
                              addedOutside}));
        QCOMPARE(tree.keys(3), QStringList{m_ec});
        // Configured entries keep their pattern; a file chosen in the home is listed relative to it.
        QCOMPARE(tree.area->value().toStringList(),
                 QStringList({QStringLiteral("%h/keys/%u"),
                              outside(QStringLiteral("shared")),
                              QStringLiteral("~/.ssh/authorized_keys2"),
                              QStringLiteral("keys/extra"),
                              addedOutside}));
    }

    void removeKey()
    {
        const QString path = home(QStringLiteral(".ssh/authorized_keys"));
        writeKeys(path, QStringLiteral("%1\n%2\n  %1\n").arg(m_ed1, m_ec));
        FakeActionRunner runner;
        Tree tree({QStringLiteral(".ssh/authorized_keys")});
        QPushButton *remove = tree.button("removeButton");
        ModalDriver answerer;
        const QString ed1 = QStringLiteral("“tester ed25519 key” (%1)").arg(m_keygen.value(QStringLiteral("ed25519")).value(1));
        const QString ec = QStringLiteral("“tester ecdsa384 key” (%1)").arg(m_keygen.value(QStringLiteral("ecdsa384")).value(1));
        const QString question = QStringLiteral("Remove the key %1 from %2? It can then no longer be used to log in with this file.");

        // Without a key row there is nothing to remove; Cancel, the default, keeps the key.
        QVERIFY(!remove->isEnabled());
        tree.select(0, 0);
        answerer.answer(QStringLiteral("Cancel"));
        remove->click();
        QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec, m_ed1}));

        // Written directly: every copy leaves the file, only the selected row leaves the tree, and the page says which key went.
        answerer.answer(QStringLiteral("Remove Key"));
        remove->click();
        QCOMPARE(TestFiles::read(path), m_ec.toUtf8() + '\n');
        QCOMPARE(tree.keys(0), QStringList({m_ec, m_ed1}));
        QVERIFY(runner.calls.isEmpty());
        QCOMPARE(answerer.seenTexts, QStringList({question.arg(ed1, path), question.arg(ed1, path)}));
        QCOMPARE(answerer.seenDefaults, QStringList({QStringLiteral("Cancel"), QStringLiteral("Cancel")}));
        QCOMPARE(tree.messageTexts(), QStringList{QStringLiteral("The key %1 was removed from %2.").arg(ed1, path)});

        // Through the helper, which fails: the page says why, and the row stays.
        SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
            return false;
        });
        runner.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::failure(QStringLiteral("denied"), 4);
        });
        tree.select(0, 0);
        answerer.answer(QStringLiteral("Remove Key"));
        remove->click();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(tree.messageTexts(),
                 QStringList{QStringLiteral("The key %1 was not removed from %2: the authorization was cancelled or denied").arg(ec, path)});
        QCOMPARE(tree.keys(0), QStringList({m_ec, m_ed1}));

        // The helper succeeds: the row goes, the file is the helper's business.
        runner.calls.clear();
        runner.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::success();
        });
        tree.select(0, 1);
        answerer.answer(QStringLiteral("Remove Key"));
        remove->click();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(runner.calls.size(), 1);
        QCOMPARE(runner.calls.first().action, SSHSettings::actionName(SSHSettings::ActionKind::UserFiles));
        QCOMPARE(runner.calls.first().arguments, (SSHSettings::ActionArguments{{Arg::KeysFile, path}, {Arg::RemoveKeyLine, m_ed1}}));
        QCOMPARE(tree.keys(0), QStringList{m_ec});
        QCOMPARE(TestFiles::read(path), m_ec.toUtf8() + '\n');
        QCOMPARE(tree.messageTexts(), QStringList{QStringLiteral("The key %1 was removed from %2.").arg(ed1, path)});
        QCOMPARE(answerer.unanswered(), 0);
    }

    void addKey()
    {
        const QString path = home(QStringLiteral(".ssh/authorized_keys"));
        writeKeys(path, m_ed1);
        writeKeys(home(QStringLiteral(".ssh/other")), QString());
        Tree tree({QStringLiteral(".ssh/authorized_keys"), QStringLiteral(".ssh/other"), QStringLiteral(".ssh/missing")});
        QPushButton *add = tree.button("addKeyButton");
        QPushButton *remove = tree.button("removeButton");

        // Nothing selected yet, then the buttons follow the selection: adding needs a readable (or missing) file, removing a key.
        ModalDriver answerer;
        answerer.answer(QStringLiteral("OK"));
        add->click();
        auto buttons = [&] {
            return QStringLiteral("%1%2").arg(add->isEnabled()).arg(remove->isEnabled());
        };
        tree.select(0, 0);
        QCOMPARE(buttons(), QStringLiteral("11"));
        // A search that hides the selected key leaves nothing to remove.
        auto *search = tree.area->findChild<QLineEdit *>(QStringLiteral("searchLineEdit"));
        search->setText(QStringLiteral("no such key"));
        QVERIFY(!remove->isEnabled());
        search->clear();
        tree.select(0, 0);
        tree.select(2);
        QCOMPARE(buttons(), QStringLiteral("10"));
        tree.select(1);
        QCOMPARE(buttons(), QStringLiteral("10"));

        QCOMPARE(answerer.seenTexts, QStringList({QStringLiteral("First, select the authorized_keys file to which the key will be added.")}));

        // A user without the file (nor ~/.ssh) adds a first key: both are created, private.
        QDir(home(QStringLiteral(".ssh"))).removeRecursively();
        tree.select(2);
        answerer.expect<QDialog>([this](QDialog *dialog) {
            dialog->findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(m_ed1);
            dialog->accept();
        });
        add->click();
        const QString first = home(QStringLiteral(".ssh/missing"));
        QCOMPARE(TestFiles::read(first), m_ed1.toUtf8() + '\n');
        QCOMPARE(QFileInfo(first).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(QFileInfo(first).absolutePath()).permissions() & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(tree.keys(2), QStringList({m_ed1}));
        writeKeys(path, m_ed1);
        writeKeys(home(QStringLiteral(".ssh/other")), QString());
        tree.area->reset();

        // A key entered in the dialog is written to the file and shown as the last row of that file.
        tree.select(0, 0);
        answerer.expect<QDialog>([this](QDialog *dialog) {
            dialog->findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(QStringLiteral("\n  ") + m_ec256 + QStringLiteral("  \n"));
            dialog->accept();
        });
        add->click();
        QCOMPARE(TestFiles::read(path), m_ed1.toUtf8() + '\n' + m_ec256.toUtf8() + '\n');
        QCOMPARE(tree.keys(0), QStringList({m_ed1, m_ec256}));
        QCOMPARE(tree.cell(0, 1, AuthorizedKeysModel::KeyBitsColumn), QStringLiteral("256"));
        QCOMPARE(
            tree.messageTexts(),
            QStringList{QStringLiteral("The key “tester ecdsa256 key” (%1) was added to %2.").arg(m_keygen.value(QStringLiteral("ecdsa256")).value(1), path)});
        QVERIFY(!tree.area->hasChanged());
    }

    void addDialogChecksAsTyped_data()
    {
        QTest::addColumn<bool>("parts");
        QTest::addColumn<QString>("type"); // the parts' type field
        QTest::addColumn<QString>("key"); // the whole line, or the parts' key field
        QTest::addColumn<QString>("reason"); // shown under the fields as they are typed
        QTest::addColumn<bool>("acceptable");
        const QString notKey = QStringLiteral(
            "This is not a public key. A public key line starts with its type, such as ssh-ed25519, followed by the key; copy it whole from the .pub file.");
        const QString notParts = QStringLiteral("The type and the key do not make a public key. Copy both from the .pub file.");
        const QString ed = QStringLiteral("ed25519");
        // clang-format off
        QTest::newRow("whole key") << false << QString() << m_keys.value(ed) << QString() << true;
        QTest::newRow("nothing typed yet") << false << QString() << QStringLiteral(" \n") << QString() << false;
        QTest::newRow("not a key") << false << QString() << QStringLiteral("hello world") << notKey << false;
        QTest::newRow("key cut short") << false << QString() << m_keys.value(ed).left(40) << notKey << false;
        QTest::newRow("two keys at once") << false << QString() << m_keys.value(ed) + QStringLiteral("\n") + m_rsa << QStringLiteral("This is more than one line. Add one key at a time.") << false;
        QTest::newRow("parts") << true << field("ed25519", 0) << field("ed25519", 1) << QString() << true;
        QTest::newRow("parts, type missing") << true << QString() << field("ed25519", 1) << QString() << false;
        QTest::newRow("parts, key of another type") << true << QStringLiteral("ssh-rsa") << field("ed25519", 1) << notParts << false;
        // clang-format on
    }
    void addDialogChecksAsTyped()
    {
        QFETCH(bool, parts);
        QFETCH(QString, type);
        QFETCH(QString, key);
        QFETCH(bool, acceptable);
        AddPublicKeyDialog dialog(outside(QStringLiteral("never_written")), nullptr);
        // No comment is guessed for the key.
        QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("commentLineEdit"))->text(), QString());
        QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QVERIFY(!ok->isEnabled());
        dialog.findChild<QRadioButton *>(QLatin1String(parts ? "partsModeRBtn" : "simpleModeRBtn"))->setChecked(true);
        dialog.findChild<QLineEdit *>(QStringLiteral("typeLineEdit"))->setText(type);
        auto *keyEdit = dialog.findChild<QTextEdit *>(QLatin1String(parts ? "partsKeyEdit" : "simpleKeyEdit"));
        keyEdit->setPlainText(key);
        QTEST(dialog.reason(), "reason");
        QCOMPARE(ok->isEnabled(), acceptable);
        // Tab leaves the key field instead of going into the key.
        QTest::keyClick(keyEdit, Qt::Key_Tab);
        QCOMPARE(keyEdit->toPlainText(), key);
        QVERIFY(!QFile::exists(outside(QStringLiteral("never_written"))));
    }

    void addDialogThroughHelper()
    {
        const QString path = outside(QStringLiteral("helper_keys"));
        writeKeys(path, m_rsa + QLatin1Char('\n'));
        SSHKeyUtils::setWritableCheckForTesting([](const QString &) {
            return false;
        });
        FakeActionRunner runner;
        AddPublicKeyDialog dialog(path, nullptr);
        dialog.findChild<QTextEdit *>(QStringLiteral("simpleKeyEdit"))->setPlainText(m_ed1);
        dialog.show();

        // Refused by the helper: the reason shows in the dialog, which stays open (a message box would block here).
        runner.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::failure(QStringLiteral("not authorized"));
        });
        dialog.accept();
        dialog.accept(); // pressed again while the helper writes: nothing more is sent
        QVERIFY(FakeActionRunner::settle());
        QVERIFY(dialog.isVisible());
        QCOMPARE(runner.calls.size(), 1);
        QCOMPARE(dialog.errorWidget()->text(), QStringLiteral("The key was not added to %1: not authorized").arg(path));

        // Accepted by the helper, which does the writing.
        runner.setHandler([](const FakeActionRunner::Call &) {
            return FakeActionRunner::success();
        });
        dialog.accept();
        QVERIFY(FakeActionRunner::settle());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(runner.calls.size(), 2);
        QCOMPARE(runner.calls.last().arguments, (SSHSettings::ActionArguments{{Arg::KeysFile, path}, {Arg::AddKeyLine, m_ed1}}));
        QCOMPARE(TestFiles::read(path), m_rsa.toUtf8() + '\n');
    }

    void pathPatterns_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("file"); // the file shown beside it for alice, HOME her home folder
        QTest::newRow("home pattern") << "%h/.ssh/authorized_keys" << true << "HOME/.ssh/authorized_keys";
        QTest::newRow("user pattern") << "/etc/ssh/keys/%u" << true << "/etc/ssh/keys/alice";
        QTest::newRow("user id and percent") << "/srv/keys/%U-100%%" << true << QStringLiteral("/srv/keys/%1-100%").arg(getuid());
        QTest::newRow("a percent sign before h") << "/srv/%%h" << true << "/srv/%h";
        QTest::newRow("relative") << ".ssh/authorized_keys2" << true << "HOME/.ssh/authorized_keys2";
        QTest::newRow("tilde") << "~/keys" << true << "HOME/keys";
        QTest::newRow("unknown token") << "/etc/ssh/%d/keys" << false << "/etc/ssh/%d/keys";
        QTest::newRow("lone percent") << "/etc/ssh/keys%" << false << "/etc/ssh/keys%";
        QTest::newRow("blank") << ".ssh/my keys" << false << "HOME/.ssh/my keys";
    }

    void pathPatterns()
    {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        QFETCH(QString, file);
        QCOMPARE(AuthorizedKeysPathDialog::pathError(path).isEmpty(), accepted);
        // Typed into a new line, as a user would, the pattern is kept as written; a wrong one is refused as typed.
        AuthorizedKeysPathDialog dialog({}, nullptr);
        dialog.findChild<QPushButton *>(QStringLiteral("addPath"))->click();
        dialog.findChild<QTreeWidget *>()->currentItem()->setText(0, path);
        QCOMPARE(dialog.findChild<QTreeWidget *>()->currentItem()->text(1), QString(file).replace(QStringLiteral("HOME/"), home()));
        QCOMPARE(dialog.reason(), AuthorizedKeysPathDialog::pathError(path));
        QCOMPARE(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled(), accepted);
        dialog.accept();
        QCOMPARE(dialog.result(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(dialog.paths(), QStringList{path});
    }

private:
    QString field(const char *label, int index) const
    {
        return m_keys.value(QLatin1String(label)).section(QLatin1Char(' '), index, index);
    }
    QString home(const QString &relative = QString()) const
    {
        return m_root.filePath(QStringLiteral("home/alice/") + relative);
    }
    QString outside(const QString &name) const
    {
        return m_root.filePath(QStringLiteral("etc/keys/") + name);
    }
    void writeKeys(const QString &path, const QString &content) const
    {
        QVERIFY(TestFiles::write(path, content.toUtf8()));
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_root;
    QMap<QString, QString> m_keys; // label -> public line
    QMap<QString, QStringList> m_keygen; // label -> fields of ssh-keygen's "-lf" line for it
    QString m_ed1, m_ec521, m_ec, m_rsa, m_ec256;
    QByteArray m_savedHome, m_savedUser;
};

QTEST_MAIN(KeysTest)

#include "keystest.moc"

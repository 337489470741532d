// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "conditionalcriteria.h"

#include "sshdmatch.h"

#include <KLocalizedString>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <optional>

namespace ConditionalCriteria
{
namespace
{
const QString MatchPrefix = QStringLiteral("Match ");

// What one value, several values, and only excluded values say; "one" alone for a criterion without a value.
struct Phrases {
    KLocalizedString one;
    KLocalizedString many;
    KLocalizedString except;
};

std::optional<Phrases> phrases(SSHConfigurationTypeId type, const QString &criterion)
{
    const QString key = bare(criterion);
    if (type == Server) {
        if (key == QLatin1String("user")) {
            return Phrases{ki18nc("@item block criterion", "User %1"),
                           ki18nc("@item block criterion", "Users %1"),
                           ki18nc("@item block criterion", "Users other than %1")};
        }
        if (key == QLatin1String("group")) {
            return Phrases{ki18nc("@item block criterion", "Users in group %1"),
                           ki18nc("@item block criterion", "Users in groups %1"),
                           ki18nc("@item block criterion", "Users not in group %1")};
        }
        if (key == QLatin1String("address")) {
            return Phrases{ki18nc("@item block criterion", "Connections from %1"),
                           ki18nc("@item block criterion", "Connections from %1"),
                           ki18nc("@item block criterion", "Connections not from %1")};
        }
        if (key == QLatin1String("host")) {
            return Phrases{ki18nc("@item block criterion", "Connections from host %1"),
                           ki18nc("@item block criterion", "Connections from hosts %1"),
                           ki18nc("@item block criterion", "Connections not from host %1")};
        }
        if (key == QLatin1String("localaddress")) {
            return Phrases{ki18nc("@item block criterion", "Connections to address %1"),
                           ki18nc("@item block criterion", "Connections to addresses %1"),
                           ki18nc("@item block criterion", "Connections not to address %1")};
        }
        if (key == QLatin1String("localport")) {
            return Phrases{ki18nc("@item block criterion", "Connections to port %1"),
                           ki18nc("@item block criterion", "Connections to ports %1"),
                           ki18nc("@item block criterion", "Connections not to port %1")};
        }
        if (key == QLatin1String("rdomain")) {
            return Phrases{ki18nc("@item block criterion", "Connections in routing domain %1"),
                           ki18nc("@item block criterion", "Connections in routing domains %1"),
                           ki18nc("@item block criterion", "Connections outside routing domain %1")};
        }
        if (key == QLatin1String("all")) {
            return Phrases{ki18nc("@item block criterion", "All connections"), KLocalizedString(), KLocalizedString()};
        }
        return std::nullopt;
    }
    if (key == QLatin1String("host")) {
        return Phrases{ki18nc("@item block criterion", "Host %1"),
                       ki18nc("@item block criterion", "Hosts %1"),
                       ki18nc("@item block criterion", "Hosts other than %1")};
    }
    if (key == QLatin1String("originalhost")) {
        return Phrases{ki18nc("@item block criterion", "Host typed as %1"),
                       ki18nc("@item block criterion", "Hosts typed as %1"),
                       ki18nc("@item block criterion", "Hosts not typed as %1")};
    }
    if (key == QLatin1String("user")) {
        return Phrases{ki18nc("@item block criterion", "Remote user %1"),
                       ki18nc("@item block criterion", "Remote users %1"),
                       ki18nc("@item block criterion", "Remote users other than %1")};
    }
    if (key == QLatin1String("localuser")) {
        return Phrases{ki18nc("@item block criterion", "Local user %1"),
                       ki18nc("@item block criterion", "Local users %1"),
                       ki18nc("@item block criterion", "Local users other than %1")};
    }
    if (key == QLatin1String("all")) {
        return Phrases{ki18nc("@item block criterion", "Every host"), KLocalizedString(), KLocalizedString()};
    }
    if (key == QLatin1String("canonical")) {
        return Phrases{ki18nc("@item block criterion", "Once the host name is canonicalized"), KLocalizedString(), KLocalizedString()};
    }
    if (key == QLatin1String("final")) {
        return Phrases{ki18nc("@item block criterion", "On the final reading"), KLocalizedString(), KLocalizedString()};
    }
    return std::nullopt;
}

// The entries of a value: a client's Host line lists patterns between blanks, the rest between commas.
QStringList entries(SSHConfigurationTypeId type, const QString &criterion, const QString &value)
{
    const bool hostLine = type == Client && criterion == QLatin1String("Host");
    return value.split(hostLine ? QRegularExpression(QStringLiteral("\\s+")) : QRegularExpression(QStringLiteral(",")), Qt::SkipEmptyParts);
}

QString criterionInWords(SSHConfigurationTypeId type, const Criterion &criterion)
{
    const auto said = phrases(type, criterion.first);
    if (!said) {
        const QString name = criterion.first.startsWith(MatchPrefix) ? criterion.first.mid(MatchPrefix.size()) : criterion.first;
        return QStringLiteral("%1 %2").arg(name, criterion.second).trimmed();
    }
    if (standsAlone(criterion.first)) {
        return said->one.toString();
    }
    QStringList included;
    QStringList excluded;
    for (const QString &entry : entries(type, criterion.first, criterion.second)) {
        entry.startsWith(QLatin1Char('!')) ? excluded.append(entry.mid(1)) : included.append(entry);
    }
    const QString separator = i18nc("@item separator of a list of values", ", ");
    if (included.isEmpty()) {
        return said->except.subs(excluded.join(separator)).toString();
    }
    const QString text = (included.size() == 1 ? said->one : said->many).subs(included.join(separator)).toString();
    return excluded.isEmpty() ? text : i18nc("@item block criterion, %1 who, %2 the values left out", "%1, except %2", text, excluded.join(separator));
}
}

QString bare(const QString &criterion)
{
    const QString lower = criterion.toLower();
    return lower.startsWith(QLatin1String("match ")) ? lower.mid(6) : lower;
}

bool standsAlone(const QString &criterion)
{
    return QStringList{QStringLiteral("all"), QStringLiteral("canonical"), QStringLiteral("final")}.contains(bare(criterion));
}

QList<Criterion> parse(SSHConfigurationTypeId type, const QString &criteria)
{
    QStringList words = criteria.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString prefix;
    if (type == Client && !words.isEmpty()) {
        if (words.constFirst().compare(QLatin1String("Host"), Qt::CaseInsensitive) == 0) {
            return {{QStringLiteral("Host"), words.mid(1).join(QLatin1Char(' '))}};
        }
        if (words.constFirst().compare(QLatin1String("Match"), Qt::CaseInsensitive) == 0) {
            words.removeFirst();
        }
        prefix = MatchPrefix;
    }
    QList<Criterion> result;
    for (int i = 0; i < words.size(); ++i) {
        const QString criterion = prefix + words.at(i);
        const bool alone = standsAlone(criterion) || i + 1 == words.size();
        result.append({criterion, alone ? QString() : words.at(++i)});
    }
    return result;
}

QString join(SSHConfigurationTypeId type, const QList<Criterion> &criteria)
{
    QStringList words;
    for (const Criterion &criterion : criteria) {
        QString name = criterion.first;
        if (type == Client && name.startsWith(MatchPrefix)) {
            name = name.mid(MatchPrefix.size());
            if (words.isEmpty()) {
                words.append(QStringLiteral("Match"));
            }
        }
        words.append(name);
        if (!criterion.second.isEmpty()) {
            words.append(criterion.second);
        }
    }
    return words.join(QLatin1Char(' '));
}

QString inWords(SSHConfigurationTypeId type, const QString &criteria)
{
    QStringList parts;
    for (const Criterion &criterion : parse(type, criteria)) {
        parts.append(criterionInWords(type, criterion));
    }
    // Every criterion must hold.
    return parts.join(i18nc("@item separator between the criteria of one block, which all hold", "; "));
}

QString problem(SSHConfigurationTypeId type, const QString &criterion, const QString &value)
{
    const QString key = bare(criterion);
    if (standsAlone(criterion)) {
        return value.isEmpty() ? QString() : i18nc("@info", "This criterion takes no value.");
    }
    const QStringList list = entries(type, criterion, value);
    if (list.isEmpty()) {
        return i18nc("@info", "Enter at least one value.");
    }
    // One word the configuration keeps as it is: printable, without blanks, quotes, '#' or '\'.
    static const QRegularExpression token(QStringLiteral("^[\\x21\\x24-\\x26\\x28-\\x2b\\x2d-\\x5b\\x5d-\\x7e]+$"));
    static const QRegularExpression addressPattern(QStringLiteral("^[0-9A-Fa-f.:*?]+$"));
    for (QString entry : list) {
        if (entry.startsWith(QLatin1Char('!'))) {
            entry.remove(0, 1);
        }
        if (!token.match(entry).hasMatch()) {
            return i18nc("@info", "“%1” is not a valid value: use letters, digits and patterns, separated by commas.", entry);
        }
        // An address or network as sshd reads one (which refuses bits past the mask), or a wildcard pattern.
        QHostAddress network;
        int bits = 0;
        if ((key == QLatin1String("address") || key == QLatin1String("localaddress")) && SshdMatch::parseNetwork(entry, &network, &bits) != 0
            && !(addressPattern.match(entry).hasMatch() && entry.contains(QRegularExpression(QStringLiteral("[*?]"))))) {
            return i18nc("@info", "“%1” is not an address, a network such as 192.0.2.0/24, or an address pattern.", entry);
        }
        bool number = false;
        const int port = entry.toInt(&number);
        if (key == QLatin1String("localport") && (!number || port < 1 || port > 65535)) {
            return i18nc("@info", "“%1” is not a port number from 1 to 65535.", entry);
        }
    }
    return QString();
}
}

ConditionalCriteriaDialog::ConditionalCriteriaDialog(SSHConfigurationTypeId type, const QString &criteria, QWidget *parent, const QString &only)
    : QDialog(parent)
    , m_type(type)
    , m_kind(new QComboBox(this))
    , m_value(new QLineEdit(this))
    , m_words(new QLabel(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(i18nc("@title:window", "Block Criteria"));
    m_kind->setObjectName(QStringLiteral("criteriaKind"));
    m_value->setObjectName(QStringLiteral("criteriaValue"));
    m_words->setObjectName(QStringLiteral("criteriaWords"));
    m_words->setWordWrap(true);
    setMinimumWidth(fontMetrics().averageCharWidth() * 60); // room for the criteria in words
    const QList<QPair<QString, QString>> kinds = type == Server ? QList<QPair<QString, QString>>{
                                                     {QStringLiteral("User"), i18nc("@item:inlistbox block criterion", "User")},
                                                     {QStringLiteral("Group"), i18nc("@item:inlistbox block criterion", "Group")},
                                                     {QStringLiteral("Address"), i18nc("@item:inlistbox block criterion", "Client address")},
                                                     {QStringLiteral("Host"), i18nc("@item:inlistbox block criterion", "Client host name")},
                                                     {QStringLiteral("LocalAddress"), i18nc("@item:inlistbox block criterion", "Server address")},
                                                     {QStringLiteral("LocalPort"), i18nc("@item:inlistbox block criterion", "Server port")},
                                                     {QStringLiteral("RDomain"), i18nc("@item:inlistbox block criterion", "Routing domain")},
                                                     {QStringLiteral("All"), i18nc("@item:inlistbox block criterion", "All connections")},
                                                 }
                                                                : QList<QPair<QString, QString>>{
                                                                    {QStringLiteral("Host"), i18nc("@item:inlistbox block criterion", "Host (patterns)")},
                                                                    {QStringLiteral("Match host"), i18nc("@item:inlistbox block criterion", "Host name")},
                                                                    {QStringLiteral("Match originalhost"), i18nc("@item:inlistbox block criterion", "Host as typed")},
                                                                    {QStringLiteral("Match user"), i18nc("@item:inlistbox block criterion", "Remote user")},
                                                                    {QStringLiteral("Match localuser"), i18nc("@item:inlistbox block criterion", "Local user")},
                                                                    {QStringLiteral("Match all"), i18nc("@item:inlistbox block criterion", "Every host")},
                                                                };
    for (const auto &[criterion, label] : kinds) {
        if (only.isEmpty() || criterion == only) {
            m_kind->addItem(label, criterion);
        }
    }
    // The first criterion is edited; the others stay.
    m_rest = ConditionalCriteria::parse(type, criteria);
    if (!m_rest.isEmpty()) {
        const auto first = m_rest.takeFirst();
        for (int i = 0; i < m_kind->count(); ++i) {
            if (ConditionalCriteria::bare(m_kind->itemData(i).toString()) == ConditionalCriteria::bare(first.first)) {
                m_kind->setCurrentIndex(i);
            }
        }
        m_value->setText(first.second);
    }
    m_value->setPlaceholderText(i18nc("@info:placeholder", "Values separated by commas; ! before one leaves it out"));
    auto *layout = new QFormLayout(this);
    layout->addRow(i18nc("@label:listbox", "&Criterion:"), m_kind);
    layout->addRow(i18nc("@label:textbox", "&Value:"), m_value);
    layout->addRow(m_words);
    if (!m_rest.isEmpty()) {
        auto *rest =
            new QLabel(i18nc("@info", "Also required, kept as it is: %1", ConditionalCriteria::inWords(type, ConditionalCriteria::join(type, m_rest))), this);
        rest->setWordWrap(true);
        layout->addRow(rest);
    }
    layout->addRow(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_kind, qOverload<int>(&QComboBox::currentIndexChanged), this, &ConditionalCriteriaDialog::update);
    connect(m_value, &QLineEdit::textChanged, this, &ConditionalCriteriaDialog::update);
    update();
}

QString ConditionalCriteriaDialog::value() const
{
    const QString kind = m_kind->currentData().toString();
    if (ConditionalCriteria::standsAlone(kind)) {
        return QString();
    }
    // A client's Host line lists patterns between blanks; other lists take no blanks.
    return kind == QLatin1String("Host") && m_type == Client ? m_value->text().simplified() : m_value->text().remove(QLatin1Char(' '));
}

QString ConditionalCriteriaDialog::criteria() const
{
    return ConditionalCriteria::join(m_type, QList<ConditionalCriteria::Criterion>{{m_kind->currentData().toString(), value()}} + m_rest);
}

void ConditionalCriteriaDialog::setValue(const QString &value)
{
    m_value->setText(value);
}

void ConditionalCriteriaDialog::update()
{
    const QString kind = m_kind->currentData().toString();
    m_value->setEnabled(!ConditionalCriteria::standsAlone(kind));
    const QString problem = ConditionalCriteria::problem(m_type, kind, value());
    m_words->setText(problem.isEmpty() ? i18nc("@info %1 who the block applies to", "Applies to: %1", ConditionalCriteria::inWords(m_type, criteria()))
                                       : problem);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(problem.isEmpty());
}

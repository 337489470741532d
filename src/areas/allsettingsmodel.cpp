// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "allsettingsmodel.h"
#include "originnote.h"
#include "sshoption.h"

#include <KLocalizedString>

#include <QFont>

using namespace OptionCatalog;
namespace Reply = SSHSettings::Protocol::Reply;

namespace
{
// A line of a file sets the keyword, for every connection or inside a Match (Host) block.
bool isSetInFile(const QVariantMap &origin)
{
    return !origin.value(Reply::OriginFile).toString().isEmpty() || !origin.value(Reply::OriginOverrides).toList().isEmpty();
}

// A line outside the blocks sets it: only such lines are removed to bring the built-in value back.
bool isSetOutsideBlocks(const QVariantMap &origin)
{
    return !origin.value(Reply::OriginFile).toString().isEmpty();
}
}

AllSettingsModel::AllSettingsModel(ConfigType type, QObject *parent)
    : QAbstractTableModel(parent)
    , m_type(type)
{
}

void AllSettingsModel::setReadValues(const QVariantMap &reply)
{
    fill(reply, nullptr);
}

void AllSettingsModel::setBlockValues(const QVariantMap &body, const QVariantMap &global)
{
    fill(global, &body);
}

void AllSettingsModel::fill(const QVariantMap &reply, const QVariantMap *body)
{
    const bool hadEdits = !changes().isEmpty();
    beginResetModel();
    m_rows.clear();
    m_block = body != nullptr;
    QVariantMap bodyValues; // by lower-case keyword
    if (body) {
        for (auto it = body->cbegin(); it != body->cend(); ++it) {
            bodyValues.insert(it.key().toLower(), it.value());
        }
    }
    m_algorithms = reply.value(Reply::Algorithms).toMap();
    const int version = reply.value(Reply::Version).toInt();
    const QVariantMap origins = reply.value(Reply::Origins).toMap();
    for (const Option &option : options(m_type)) {
        const QString key = option.keyword.toLower();
        const bool inBody = bodyValues.contains(key);
        // A keyword the reply does not carry has no value to show; one this OpenSSH lacks cannot be set.
        if (!knownIn(option, version) || (!reply.contains(key) && !inBody) || (body && !option.inBlock)) {
            continue;
        }
        const QVariant value = inBody ? bodyValues.value(key) : reply.value(key);
        QStringList lines = value.userType() == QMetaType::QStringList ? value.toStringList() : QStringList{value.toString()};
        const bool yesOrNo = option.defaultValue == QLatin1String("yes") || option.defaultValue == QLatin1String("no");
        if (option.kind == ValueKind::Bool || option.kind == ValueKind::Choice || option.kind == ValueKind::RootLogin || yesOrNo) {
            // In the table's words, not those ssh -G prints ("true" for yes).
            for (QString &line : lines) {
                line = canonicalWord(line);
            }
        }
        // In a block only the body counts: what is set outside it is left alone.
        m_rows.append({&option, lines, body ? QVariantMap() : origins.value(key).toMap(), QVariant(), inBody});
    }
    endResetModel();
    if (hadEdits) {
        Q_EMIT changed();
    }
}

const Option &AllSettingsModel::option(int row) const
{
    return *m_rows.at(row).option;
}

AllSettingsModel::Access AllSettingsModel::access(int row) const
{
    const Row &entry = m_rows.at(row);
    // One editor a keyword: what the page's other tabs show is edited there.
    if (!editedElsewhere(row).isEmpty()) {
        return Access::OtherTab;
    }
    // The helper writes one line for a repeatable keyword: lines read apart are not edited as one.
    return entry.option->accumulating && entry.option->kind != ValueKind::Port && entry.lines.size() > 1 ? Access::ResetOnly : Access::Edit;
}

QString AllSettingsModel::editedElsewhere(int row) const
{
    const SSHConfigurationTypeId type = m_type == ConfigType::Client ? Client : Server;
    if (m_block || !SSHOption::pageKeywords(type).contains(option(row).keyword)) {
        return {};
    }
    QString tab;
    switch (SSHOption::pageOption(type, option(row).keyword).tab) {
    case PageTab::Client:
        return i18nc("@info", "This keyword is edited in the fields above.");
    case PageTab::Authentication:
        tab = i18nc("@title:tab", "Authentication");
        break;
    case PageTab::Other:
        tab = i18nc("@title:tab", "Sessions");
        break;
    case PageTab::General:
    case PageTab::AllSettings:
        tab = i18nc("@title:tab", "General");
        break;
    }
    return i18nc("@info", "This keyword is edited on the \"%1\" tab.", tab);
}

QStringList AllSettingsModel::supportedAlgorithms(int row) const
{
    return m_algorithms.value(option(row).values).toStringList();
}

QVariant AllSettingsModel::value(int row) const
{
    const Row &entry = m_rows.at(row);
    if (entry.edit.isValid()) {
        const bool reset = entry.edit.userType() == QMetaType::QStringList;
        return reset ? shaped(*entry.option, entry.option->defaultValue) : entry.edit;
    }
    return shaped(*entry.option, entry.lines.join(QLatin1Char(' ')));
}

bool AllSettingsModel::isEdited(int row) const
{
    return m_rows.at(row).edit.isValid();
}

bool AllSettingsModel::canReset(int row) const
{
    const Row &entry = m_rows.at(row);
    if (access(row) == Access::OtherTab) {
        return false;
    }
    return isSetOutsideBlocks(entry.origin) || entry.inBody ? entry.edit.userType() != QMetaType::QStringList : entry.edit.isValid();
}

void AllSettingsModel::setValue(int row, const QVariant &value)
{
    if (access(row) != Access::Edit) {
        return;
    }
    const Row &entry = m_rows.at(row);
    const bool words = entry.option->kind == ValueKind::Choice || entry.option->kind == ValueKind::Number || entry.option->kind == ValueKind::Interval;
    const QString read = text(shaped(*entry.option, entry.lines.join(QLatin1Char(' '))));
    // In a block, a value equal to the global one is still a line of its own.
    const bool same = text(value).compare(read, words ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0 && (!m_block || entry.inBody);
    setEdit(row, same ? QVariant() : value);
}

void AllSettingsModel::resetToDefault(int row)
{
    if (canReset(row)) {
        const Row &entry = m_rows.at(row);
        setEdit(row, entry.inBody || isSetOutsideBlocks(entry.origin) ? QVariant(QStringList()) : QVariant());
    }
}

void AllSettingsModel::discardChanges()
{
    bool any = false;
    for (Row &entry : m_rows) {
        any = any || entry.edit.isValid();
        entry.edit = QVariant();
    }
    if (any) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        Q_EMIT changed();
    }
}

QVariantMap AllSettingsModel::changes() const
{
    QVariantMap result;
    for (const Row &entry : m_rows) {
        if (entry.edit.isValid()) {
            result.insert(entry.option->keyword, entry.edit);
        }
    }
    return result;
}

void AllSettingsModel::setEdit(int row, const QVariant &edit)
{
    Row &entry = m_rows[row];
    if (entry.edit.isValid() == edit.isValid() && entry.edit.userType() == edit.userType() && entry.edit == edit) {
        return;
    }
    entry.edit = edit;
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
    Q_EMIT changed();
}

QVariant AllSettingsModel::shaped(const Option &option, const QString &text)
{
    bool number = false;
    const int value = text.toInt(&number);
    switch (option.kind) {
    case ValueKind::Bool:
    case ValueKind::Subsystem:
        return text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
    case ValueKind::Port:
    case ValueKind::Number:
    case ValueKind::Interval:
        return number ? QVariant(value) : QVariant(text.toLower());
    default:
        return text;
    }
}

QString AllSettingsModel::text(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    case QMetaType::QStringList:
        return value.toStringList().join(QLatin1Char(' '));
    default:
        return value.toString();
    }
}

bool AllSettingsModel::isChangedFromDefault(const Row &row) const
{
    if (m_block) { // in a block: set in its body
        return row.edit.isValid() || row.inBody;
    }
    if (row.edit.isValid() || isSetInFile(row.origin)) {
        return true;
    }
    // Without a built-in value in the table, OpenSSH computes it (algorithms, host keys): only a line sets it.
    const QString defaultValue = row.option->defaultValue.simplified();
    return !defaultValue.isEmpty() && row.lines.join(QLatin1Char(' ')).simplified().compare(defaultValue, Qt::CaseInsensitive) != 0;
}

QString AllSettingsModel::originText(const Row &row) const
{
    if (m_block) {
        return row.inBody ? i18nc("@item origin of a value", "this block") : i18nc("@item origin of a value", "outside the block");
    }
    const QString origin =
        row.origin.value(Reply::OriginFile).toString().isEmpty() ? i18nc("@item origin of a value", "default") : OriginText::place(row.origin, false);
    const int blocks = row.origin.value(Reply::OriginOverrides).toList().size();
    return blocks == 0 ? origin : i18ncp("@item origin of a value", "%2, overridden in %1 block", "%2, overridden in %1 blocks", blocks, origin);
}

QString AllSettingsModel::originToolTip(const Row &row) const
{
    if (m_block) {
        return row.inBody ? i18nc("@info:tooltip", "The block sets this value for the connections it applies to")
                          : i18nc("@info:tooltip", "The block does not set it: the value outside the block applies");
    }
    const QStringList lines = OriginText::sentences(m_type == ConfigType::Client ? Client : Server, row.origin, true);
    return lines.isEmpty() ? i18nc("@info:tooltip", "No file sets it: the built-in value applies") : lines.join(QLatin1Char('\n'));
}

int AllSettingsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int AllSettingsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AllSettingsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()) {
        return {};
    }
    const Row &row = m_rows.at(index.row());
    const Option &option = *row.option;
    switch (role) {
    case CategoryRole:
        return int(option.category);
    case ChangedRole:
        return isChangedFromDefault(row);
    case SearchRole:
        return QStringList{option.keyword, option.aliases.join(QLatin1Char(' ')), QString::fromLatin1(option.description), i18n(option.description)}.join(
            QLatin1Char('\n'));
    case Qt::FontRole: {
        if (!row.edit.isValid()) {
            return {};
        }
        QFont font;
        font.setBold(true);
        font.setItalic(true);
        return font;
    }
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        break;
    default:
        return {};
    }
    const bool tip = role == Qt::ToolTipRole;
    switch (index.column()) {
    case KeywordColumn:
        if (tip) {
            return option.aliases.isEmpty() ? QVariant() : i18nc("@info:tooltip", "Also read as: %1", option.aliases.join(QStringLiteral(", ")));
        }
        return option.keyword;
    case ValueColumn: {
        if (tip && access(index.row()) == Access::OtherTab) {
            return editedElsewhere(index.row());
        }
        if (tip && access(index.row()) == Access::ResetOnly) {
            return i18nc("@info:tooltip", "Set on several lines; edit them in the file, or reset them all");
        }
        QString shown = row.lines.join(QStringLiteral("; "));
        if (row.edit.userType() == QMetaType::QStringList && m_block) {
            shown = i18nc("@item value once removed from a block", "removed from the block");
        } else if (row.edit.userType() == QMetaType::QStringList) {
            shown = option.defaultValue.isEmpty() ? i18nc("@item value once reset", "default")
                                                  : i18nc("@item value once reset", "%1 (default)", option.defaultValue);
        } else if (row.edit.isValid()) {
            shown = text(row.edit);
        }
        return row.edit.isValid() ? i18nc("@item a value edited, not yet applied", "%1 (changed)", shown) : shown;
    }
    case OriginColumn:
        return tip ? originToolTip(row) : originText(row);
    case DescriptionColumn:
        return i18n(option.description);
    }
    return {};
}

QVariant AllSettingsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case KeywordColumn:
        return i18nc("@title:column", "Keyword");
    case ValueColumn:
        return i18nc("@title:column", "Value");
    case OriginColumn:
        return i18nc("@title:column", "Set in");
    case DescriptionColumn:
        return i18nc("@title:column", "Description");
    }
    return {};
}

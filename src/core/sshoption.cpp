// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshoption.h"

#include <utility>

namespace
{
QString configurationTypeText(SSHConfigurationTypeId type)
{
    switch (type) {
    case Server:
        return QStringLiteral("Server");
    case Client:
        return QStringLiteral("Client");
    case Undefined:
        break;
    }
    return QStringLiteral("undefined");
}
}

SSHOption::SSHOption(SSHConfigurationTypeId configureId, QObject *parent)
    : QObject(parent)
    , m_configureId(configureId)
{
}

SSHOption::SSHOption(QObject *parent)
    : QObject(parent)
{
}

SSHOption::SSHOption(const SSHOption &other)
    : QObject(other.parent())
    , m_configureId(other.m_configureId)
    , m_id(other.m_id)
    , m_name(other.m_name)
    , m_displayName(other.m_displayName)
    , m_description(other.m_description)
    , m_value(other.m_value)
    , m_valueType(other.m_valueType)
    , m_subOptions(other.m_subOptions)
{
}

SSHOption::SSHOption(SSHOption &&other) noexcept
    : QObject(other.parent())
    , m_configureId(std::exchange(other.m_configureId, Undefined))
    , m_id(std::exchange(other.m_id, static_cast<Id>(-1)))
    , m_name(std::move(other.m_name))
    , m_displayName(std::move(other.m_displayName))
    , m_description(std::move(other.m_description))
    , m_value(std::exchange(other.m_value, QVariant()))
    , m_valueType(std::exchange(other.m_valueType, QMetaType::UnknownType))
    , m_subOptions(std::exchange(other.m_subOptions, SSHOptions()))
{
    other.m_name.clear();
    other.m_displayName.clear();
    other.m_description.clear();
    other.setParent(nullptr);
}

SSHOption &SSHOption::operator=(SSHOption other)
{
    swap(*this, other);
    return *this;
}

SSHOption::~SSHOption() = default;

void swap(SSHOption &first, SSHOption &second) noexcept
{
    using std::swap;
    swap(first.m_configureId, second.m_configureId);
    swap(first.m_id, second.m_id);
    swap(first.m_name, second.m_name);
    swap(first.m_displayName, second.m_displayName);
    swap(first.m_description, second.m_description);
    swap(first.m_value, second.m_value);
    swap(first.m_valueType, second.m_valueType);
    swap(first.m_subOptions, second.m_subOptions);
}

SSHOption::Id SSHOption::id() const
{
    return m_id;
}

void SSHOption::setId(const Id &id)
{
    m_id = id;
}

QString SSHOption::name() const
{
    return m_name;
}

void SSHOption::setName(const QString &name)
{
    m_name = name;
}

QString SSHOption::displayName() const
{
    return m_displayName;
}

void SSHOption::setDisplayName(const QString &displayName)
{
    m_displayName = displayName;
}

QString SSHOption::description() const
{
    return m_description;
}

void SSHOption::setDescription(const QString &description)
{
    m_description = description;
}

QMetaType::Type SSHOption::valueType() const
{
    return m_valueType;
}

void SSHOption::setValueType(QMetaType::Type type)
{
    m_valueType = type;
}

QVariant SSHOption::value() const
{
    return m_value;
}

SSHConfigurationTypeId SSHOption::configureId() const
{
    return m_configureId;
}

SSHOptions SSHOption::subOptions() const
{
    return m_subOptions;
}

bool SSHOption::hasSubOptions() const
{
    return !m_subOptions.isEmpty();
}

QString SSHOption::nameWithConfigType() const
{
    return QStringLiteral("%1_%2").arg(configurationTypeText(m_configureId), m_name);
}

void SSHOption::setValue(const QVariant &value)
{
    if (value.userType() == m_valueType) {
        m_value = value;
    } else {
        switch (m_valueType) {
        case QMetaType::Bool:
            m_value = value.toString().compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
            break;
        case QMetaType::Int:
            m_value = value.toInt();
            break;
        case QMetaType::QString:
            // A boolean given to a keyword option is its yes or no.
            m_value = value.userType() == QMetaType::Bool ? QString::fromLatin1(value.toBool() ? "yes" : "no") : value.toString();
            break;
        case QMetaType::QStringList:
            m_value = value.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            break;
        default:
            m_value = value;
            break;
        }
    }
    Q_EMIT valueChanged(value);
}

void SSHOption::setSubOptions(const SSHOptions &subOptions)
{
    if (subOptions != m_subOptions) {
        m_subOptions = subOptions;
    }
    Q_EMIT subOptionsChanged(subOptions);
}

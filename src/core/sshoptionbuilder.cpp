// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshoptionbuilder.h"
#include "core_debug.h"

SSHOptionBuilder::SSHOptionBuilder(SSHConfigurationTypeId configureId, QObject *parent)
    : QObject(parent)
    , m_configureId(configureId)
{
}

SSHOptionBuilder::~SSHOptionBuilder()
{
    for (const QPointer<SSHOption> &option : std::as_const(m_options)) {
        delete option.data();
    }
}

SSHConfigurationTypeId SSHOptionBuilder::configureId() const
{
    return m_configureId;
}

SSHOptions SSHOptionBuilder::sshOptions() const
{
    return m_options;
}

QMetaType::Type SSHOptionBuilder::valueType(OptionCatalog::ValueKind kind)
{
    using Kind = OptionCatalog::ValueKind;
    switch (kind) {
    case Kind::Bool:
    case Kind::Subsystem:
        return QMetaType::Bool;
    case Kind::Port:
    case Kind::Number:
    case Kind::Interval:
        return QMetaType::Int;
    case Kind::RootLogin: // yes, no or a word between: a three-state box
    case Kind::Banner:
    case Kind::Algorithms:
    case Kind::Patterns:
    case Kind::Path:
    case Kind::Text:
    case Kind::Triple:
    case Kind::Penalties:
    case Kind::HostPort:
        return QMetaType::QString;
    case Kind::Choice:
    case Kind::ListenAddresses:
    case Kind::KeyFilePatterns:
    case Kind::AccessPatterns:
        break;
    }
    return QMetaType::QStringList;
}

bool SSHOptionBuilder::buildSSHOption(SSHOption::Id id, const QString &keyword, const QString &displayName, const QString &description)
{
    const OptionCatalog::Option *entry = OptionCatalog::findOption(static_cast<OptionCatalog::ConfigType>(m_configureId), keyword);
    if (!entry) {
        qCWarning(SSHSETTINGS_CORE) << "No such keyword in the option catalogue:" << keyword;
        return false;
    }
    auto *option = new SSHOption(m_configureId, parent());
    option->setId(id);
    option->setName(entry->keyword);
    option->setDisplayName(displayName);
    option->setDescription(description);
    option->setValueType(valueType(entry->kind));
    option->setValue(entry->defaultValue);
    m_options.append(option);
    return true;
}

void SSHOptionBuilder::buildGroup(SSHOption::Id id, const QString &name, const QString &displayName, const QString &description, const SSHOptions &subOptions)
{
    auto *option = new SSHOption(m_configureId, parent());
    option->setId(id);
    option->setName(name);
    option->setDisplayName(displayName);
    option->setDescription(description);
    option->setValueType(QMetaType::QStringList);
    option->setValue(QStringList());
    option->setSubOptions(subOptions);
    m_options.append(option);
}

void SSHOptionBuilder::moveOptions(SSHOptions &out)
{
    out = m_options;
    m_options.clear();
}

// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshoptionbuilder.h"

SSHOptionBuilder::SSHOptionBuilder(SSHConfigurationTypeId configureId, QObject *parent) : QObject(parent), m_configureId(configureId) { }

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

void SSHOptionBuilder::buildSSHOption(SSHOption::Id id,
                                      const QString &name,
                                      const QString &displayName,
                                      const QString &description,
                                      const QMetaType::Type &valueType,
                                      const QVariant &defaultValue,
                                      const SSHOptions &subOptions,
                                      bool tevSupported)
{
    auto *option = new SSHOption(m_configureId, parent());
    option->setId(id);
    option->setName(name);
    option->setDisplayName(displayName);
    option->setDescription(description);
    option->setValueType(valueType);
    option->setValue(defaultValue);
    option->setSubOptions(subOptions);
    option->setTevSupported(tevSupported);
    m_options.append(option);
}

void SSHOptionBuilder::moveOptions(SSHOptions &out)
{
    out = m_options;
    m_options.clear();
}

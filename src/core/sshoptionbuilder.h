// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoption.h"

#include "sshoptioncatalog.h"

/**
 * Makes the options of one configuration type; owns them until moveOptions().
 *
 * The keyword's kind and built-in value come from the shared option catalogue;
 * the module adds only what the page shows: the texts and the sub-options.
 */
class SSHOptionBuilder : public QObject
{
    Q_OBJECT
public:
    SSHOptionBuilder(SSHConfigurationTypeId configureId, QObject *parent);
    ~SSHOptionBuilder() override;

    SSHConfigurationTypeId configureId() const;
    SSHOptions sshOptions() const;

    /// Adds the catalogue's @p keyword; false (and nothing added) for a keyword outside it.
    bool buildSSHOption(SSHOption::Id id, const QString &keyword, const QString &displayName, const QString &description);
    /// Adds an entry of the page that gathers several keywords, each one of @p subOptions.
    void buildGroup(SSHOption::Id id, const QString &name, const QString &displayName, const QString &description, const SSHOptions &subOptions);

    /// The value type the module holds for a catalogue kind.
    static QMetaType::Type valueType(OptionCatalog::ValueKind kind);
    void moveOptions(SSHOptions &out);

private:
    SSHConfigurationTypeId m_configureId;
    SSHOptions m_options;
};

// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoption.h"

#include <QStringList>

namespace TestOptions
{
/// A server option with the given id, keyword and value.
inline SSHOption make(SSHOption::Id id, const QString &keyword, QVariant::Type type, const QVariant &value, QObject *parent = nullptr)
{
    SSHOption option(Server, parent);
    option.setId(id);
    option.setName(keyword);
    option.setDisplayName(keyword);
    option.setDescription(QStringLiteral("Description of %1").arg(keyword));
    option.setValueType(type);
    option.setValue(value);
    return option;
}

/// The composite AllowDenyUsersGroups with its four sub-options owned by owner.
inline SSHOption
accessOption(QObject *owner, const QStringList &allowUsers, const QStringList &denyUsers, const QStringList &allowGroups, const QStringList &denyGroups)
{
    const struct
    {
        SSHOption::Id id;
        const char *keyword;
        QStringList value;
    } parts[] = {
        {SSHOption::AllowUsers, "AllowUsers", allowUsers},
        {SSHOption::DenyUsers, "DenyUsers", denyUsers},
        {SSHOption::AllowGroups, "AllowGroups", allowGroups},
        {SSHOption::DenyGroups, "DenyGroups", denyGroups},
    };
    SSHOptions subOptions;
    for (const auto &part : parts) {
        auto *subOption = new SSHOption(make(part.id, QString::fromLatin1(part.keyword), QVariant::StringList, part.value));
        subOption->setParent(owner);
        subOptions.append(subOption);
    }
    SSHOption option = make(SSHOption::AllowDenyUsersGroups, QStringLiteral("AllowDenyUsersGroups"), QVariant::StringList, QStringList());
    option.setSubOptions(subOptions);
    return option;
}
}

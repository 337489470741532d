// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoption.h"

#include <QMetaEnum>
#include <QStringList>

namespace TestOptions
{
/// An option of the server (or @p configuration) with the given id, named as its keyword, and value.
inline SSHOption make(SSHOption::Id id, QMetaType::Type type, const QVariant &value, SSHConfigurationTypeId configuration = Server)
{
    const QString keyword = QString::fromLatin1(QMetaEnum::fromType<SSHOption::Id>().valueToKey(id));
    SSHOption option(configuration, nullptr);
    option.setId(id);
    option.setName(keyword);
    option.setValueType(type);
    option.setValue(value);
    return option;
}

/// The composite AllowDenyUsersGroups with its four sub-options owned by owner.
inline SSHOption
accessOption(QObject *owner, const QStringList &allowUsers, const QStringList &denyUsers, const QStringList &allowGroups, const QStringList &denyGroups)
{
    SSHOptions subOptions;
    for (const auto &[id, value] : {std::pair{SSHOption::AllowUsers, allowUsers},
                                    std::pair{SSHOption::DenyUsers, denyUsers},
                                    std::pair{SSHOption::AllowGroups, allowGroups},
                                    std::pair{SSHOption::DenyGroups, denyGroups}}) {
        subOptions.append(new SSHOption(make(id, QMetaType::QStringList, value)));
        subOptions.last()->setParent(owner);
    }
    SSHOption option = make(SSHOption::AllowDenyUsersGroups, QMetaType::QStringList, QStringList());
    option.setSubOptions(subOptions);
    return option;
}
}

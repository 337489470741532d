// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <KPluginFactory>

/// The plug-in's factory: makes the SSH settings page.
class SSHFactory : public KPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.kde.KPluginFactory" FILE "kcm_sshsettings.json")
    Q_INTERFACES(KPluginFactory)

protected:
#if QT_VERSION_MAJOR >= 6
    QObject *create(const char *iface, QWidget *parentWidget, QObject *parent, const QVariantList &args) override;
#else
    QObject *create(const char *iface, QWidget *parentWidget, QObject *parent, const QVariantList &args, const QString &keyword) override;
#endif
};

// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
// The plug-in's factory. KF6 hands the page a QObject parent with its metadata, KF5 a widget with an
// argument list: SSHModule's constructor takes each framework's pair (Compat::ModuleParent and
// Compat::ModuleArgs), so the framework's own factory serves both.
#include "sshmodule.h"

#include <KPluginFactory>

K_PLUGIN_CLASS_WITH_JSON(SSHModule, "kcm_sshsettings.json")

#include "sshfactory.moc"

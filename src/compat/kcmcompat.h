// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The few places where the Qt 5 / KF5 and Qt 6 / KF6 builds differ in code.
// Everything else is written once against the API both offer.

#include <KCModule>

#include <QList>
#include <QVariant>

#if QT_VERSION_MAJOR >= 6
#include <KPluginMetaData>
#endif

namespace Compat
{
#if QT_VERSION_MAJOR >= 6
/// A KF6 module is an object that owns its widget; it is made with its metadata.
using ModuleParent = QObject;
using ModuleArgs = KPluginMetaData;
/// The signal by which a module tells its host that its unsaved state changed.
constexpr auto needsSaveChanged = &KCModule::needsSaveChanged;
/// The signal by which a module tells its host whether it shows the defaults (the host's Defaults button is then disabled).
constexpr auto representsDefaultsChanged = &KCModule::representsDefaultsChanged;
#else
/// A KF5 module is the widget itself; it is made with an argument list.
using ModuleParent = QWidget;
using ModuleArgs = QVariantList;
constexpr auto needsSaveChanged = qOverload<bool>(&KCModule::changed);
constexpr auto representsDefaultsChanged = qOverload<bool>(&KCModule::defaulted);
#endif

/// The widget that holds @p module's page.
inline QWidget *moduleWidget(KCModule *module)
{
#if QT_VERSION_MAJOR >= 6
    return module->widget();
#else
    return module;
#endif
}

/// Whether @p module has told its host that it has unsaved changes: KF6 keeps the
/// state, KF5 only signals it, so there it is the last of @p emitted (the arguments
/// of each needsSaveChanged emission seen since the test began to watch).
inline bool needsSave(const KCModule &module, const QList<QList<QVariant>> &emitted)
{
#if QT_VERSION_MAJOR >= 6
    Q_UNUSED(emitted)
    return module.needsSave();
#else
    Q_UNUSED(module)
    return !emitted.isEmpty() && emitted.last().at(0).toBool();
#endif
}

/// Whether @p module has told its host that it shows the defaults, as needsSave() tells the unsaved state
/// (@p emitted: the arguments of each representsDefaultsChanged emission seen).
inline bool representsDefaults(const KCModule &module, const QList<QList<QVariant>> &emitted)
{
#if QT_VERSION_MAJOR >= 6
    Q_UNUSED(emitted)
    return module.representsDefaults();
#else
    Q_UNUSED(module)
    return !emitted.isEmpty() && emitted.last().at(0).toBool();
#endif
}
}

// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshfactory.h"
#include "sshmodule.h"

namespace
{
bool makesModule(const char *iface)
{
    for (const QMetaObject *meta = &SSHModule::staticMetaObject; meta; meta = meta->superClass()) {
        if (qstrcmp(iface, meta->className()) == 0) {
            return true;
        }
    }
    return false;
}
}

// The host may hand us a parent that is not a widget; the page then has no parent widget.
#if QT_VERSION_MAJOR >= 6
QObject *SSHFactory::create(const char *iface, QWidget *, QObject *parent, const QVariantList &)
{
    return makesModule(iface) ? new SSHModule(parent, metaData()) : nullptr;
}
#else
QObject *SSHFactory::create(const char *iface, QWidget *, QObject *parent, const QVariantList &args, const QString &keyword)
{
    return keyword.isEmpty() && makesModule(iface) ? new SSHModule(qobject_cast<QWidget *>(parent), args) : nullptr;
}
#endif

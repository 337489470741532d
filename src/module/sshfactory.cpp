// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshfactory.h"
#include "sshmodule.h"

SSHFactory::SSHFactory()
{
    registerPlugin<SSHModule>();
}

// The host may hand us a parent that is not a widget; the page then has no parent widget.
QObject *SSHFactory::create(const char *iface, QWidget *, QObject *parent, const QVariantList &args, const QString &keyword)
{
    if (!keyword.isEmpty()) {
        return nullptr;
    }
    bool matches = false;
    for (const QMetaObject *meta = &SSHModule::staticMetaObject; meta && !matches; meta = meta->superClass()) {
        matches = qstrcmp(iface, meta->className()) == 0;
    }
    if (!matches) {
        return nullptr;
    }
    return new SSHModule(qobject_cast<QWidget *>(parent), args);
}

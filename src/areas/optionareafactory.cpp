// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "optionareafactory.h"

#include "addressfamilyarea.h"
#include "authorizedkeysarea.h"
#include "bannerarea.h"
#include "checkboxoptionarea.h"
#include "listenaddressarea.h"
#include "spinboxoptionarea.h"
#include "tunnelmodearea.h"
#include "usergroupaccessarea.h"

AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent)
{
    using Kind = OptionCatalog::ValueKind;
    switch (option.editor) {
    case PageEditor::TunnelMode:
        return new TunnelModeArea(option, parent);
    case PageEditor::AddressFamily:
        return new AddressFamilyArea(option, parent);
    case PageEditor::OfKind:
        break;
    }
    switch (option.row().kind) {
    case Kind::Bool:
    case Kind::RootLogin:
    case Kind::Subsystem:
        return new CheckboxOptionArea(option, parent);
    case Kind::Choice: {
        // Yes or no, with other words beside (IgnoreRhosts): a check box for its yes and no.
        const QStringList words = option.row().values.split(QLatin1Char(' '));
        return words.contains(QLatin1String("yes")) && words.contains(QLatin1String("no")) ? new CheckboxOptionArea(option, parent) : nullptr;
    }
    case Kind::Port:
    case Kind::Number:
    case Kind::Interval:
        return new SpinboxOptionArea(option, parent);
    case Kind::Banner:
        return new BannerArea(option, parent);
    case Kind::ListenAddresses:
        // An address without a port of its own listens on the built-in port.
        return new ListenAddressArea(option, OptionCatalog::findOption(OptionCatalog::ConfigType::Server, QStringLiteral("Port"))->defaultValue, parent);
    case Kind::KeyFilePatterns:
        return new AuthorizedKeysArea(option, parent);
    case Kind::AccessPatterns:
        return new UserGroupAccessArea(option, parent);
    default:
        break;
    }
    return nullptr;
}
